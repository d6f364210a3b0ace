// The event queue of one thread. Any thread may post to it; only its own thread takes events
// from it and waits on it.
//
// Whether a wait pumps the presenter is decided when the wait begins: on the GUI thread (see
// Runtime::OnGuiThread) the queue waits inside the presenter, which keeps the toolkit going, and
// a post to the GUI thread's queue wakes the presenter; any other thread waits on the queue
// itself. Nothing about a queue is fixed by when or where it was first used.
//
// A queue keeps events only for the windows open on its thread: a post for any other window
// (closed, or never opened here) is dropped, and closing a window drops what is still queued for
// it, so the queue stays bounded however often windows open and close. Events for window 0 (the
// thread's current window) are kept while any window is open here.
//
// Close-down reaches every thread: CloseDownEveryWindow posts close-down (514) to every window
// open on any queue, and every window that opens afterwards gets it right after its open-window
// event, so a procedure still starting up is told as well.
//
// Threading: Post is thread-safe; Take and the waits belong to the owning thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/event.h"
#include "platform/runtime.h"

namespace morlan {

class EventQueue final {
 public:
  // The calling thread's queue, made on first use.
  static std::shared_ptr<EventQueue> ForCurrentThread();

  // Starts close-down (above); EndCloseDown ends it (test set-up). Any thread.
  static void CloseDownEveryWindow();
  static void EndCloseDown();
  static bool closing_down();

  // The thread whose queue this is.
  ThreadId owner() const { return owner_; }

  // Appends `event` and wakes the owning thread; drops it when its window is not open here.
  // Any thread.
  void Post(Event event);

  // For the window model: `window` opens on this queue's thread (called there), and its
  // open-window event (515) is queued; `window` closes, and its queued events are dropped (any
  // thread).
  void WindowOpened(int window);
  void WindowClosed(int window);

  // Removes and returns in `out` the oldest event for `window` (or for window 0). False when
  // there is none; never waits.
  bool TakeFor(int window, Event* out);

  // Waits until an event for `window` (or for window 0) is queued or the clock reaches
  // `deadline` (-1: no deadline). Returns at once when one is already queued. May return early;
  // callers look again. Owning thread only.
  void Wait(int window, std::int64_t deadline);

  // Number of events queued. Any thread.
  std::size_t size() const;

 private:
  explicit EventQueue(ThreadId owner) : owner_(owner) {}

  // With mutex_ held.
  bool HasEventFor(int window) const;
  bool Accepts(int window) const;
  // Ends a pump of the presenter when the owning thread is the GUI thread now.
  void WakePresenter() const;

  const ThreadId owner_;
  mutable std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<Event> events_;
  std::vector<int> open_windows_;  // ids of the windows open on this thread
};

}  // namespace morlan
