// The event queue of one thread. Any thread may post to it; only its own thread takes events
// from it and waits on it.
//
// Whether a wait pumps the presenter is decided when the wait begins: on the GUI thread (see
// Runtime::OnGuiThread) the queue waits inside the presenter, which keeps the toolkit going, and
// a post to the GUI thread's queue wakes the presenter; any other thread waits on the queue
// itself. Nothing about a queue is fixed by when or where it was first used.
//
// Threading: Post is thread-safe; Take and the waits belong to the owning thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/event.h"
#include "platform/runtime.h"

namespace morlan {

class EventQueue final {
 public:
  // The calling thread's queue, made on first use.
  static std::shared_ptr<EventQueue> ForCurrentThread();

  // The thread whose queue this is.
  ThreadId owner() const { return owner_; }

  // Appends `event`; wakes the owning thread. Any thread.
  void Post(const Event& event);

  // Removes and returns in `out` the oldest event for `window` (or for window 0). False when
  // there is none; never waits.
  bool TakeFor(int window, Event* out);

  // Waits until an event for `window` (or for window 0) is queued or the clock reaches
  // `deadline` (-1: no deadline). Returns at once when one is already queued. May return early;
  // callers look again. Owning thread only.
  void Wait(int window, std::int64_t deadline);

 private:
  explicit EventQueue(ThreadId owner) : owner_(owner) {}

  bool HasEventFor(int window) const;  // with mutex_ held
  // Ends a pump of the presenter when the owning thread is the GUI thread now.
  void WakePresenter() const;

  const ThreadId owner_;
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<Event> events_;
};

}  // namespace morlan
