// The event queue of one thread. Any thread may post to it; only its own thread takes events
// from it. The queue of the GUI thread also wakes the presenter, whose toolkit the GUI thread
// pumps while it waits.
//
// Threading: Post is thread-safe; Take and the waits belong to the owning thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/event.h"

namespace morlan {

class EventQueue {
 public:
  explicit EventQueue(bool gui_thread) : gui_thread_(gui_thread) {}

  // The calling thread's queue, made on first use.
  static std::shared_ptr<EventQueue> ForCurrentThread();

  // Appends `event`; wakes the owning thread. Any thread.
  void Post(const Event& event);

  // Removes and returns in `out` the oldest event for `window` (or for window 0). False when
  // there is none; never waits.
  bool TakeFor(int window, Event* out);

  // Waits until an event for `window` (or for window 0) is queued or the clock reaches
  // `deadline` (-1: no deadline). Returns at once when one is already queued. May return early;
  // callers look again.
  void Wait(int window, std::int64_t deadline);

  bool gui_thread() const { return gui_thread_; }

 private:
  bool HasEventFor(int window) const;  // with mutex_ held

  const bool gui_thread_;
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<Event> events_;
};

}  // namespace morlan
