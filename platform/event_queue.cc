#include "platform/event_queue.h"

#include <algorithm>

namespace morlan {

std::shared_ptr<EventQueue> EventQueue::ForCurrentThread() {
  thread_local const std::shared_ptr<EventQueue> queue(new EventQueue(Runtime::CurrentThreadId()));
  return queue;
}

void EventQueue::Post(const Event& event) {
  {
    std::lock_guard lock(mutex_);
    // Nobody would ever take it: the window's loop has ended or runs on another thread.
    if (!Accepts(event.window)) return;
    events_.push_back(event);
  }
  posted_.notify_all();
  WakePresenter();
}

bool EventQueue::Accepts(int window) const {
  if (window == 0) return !open_windows_.empty();
  return std::find(open_windows_.begin(), open_windows_.end(), window) != open_windows_.end();
}

void EventQueue::WindowOpened(int window) {
  {
    std::lock_guard lock(mutex_);
    if (!Accepts(window)) open_windows_.push_back(window);
    events_.push_back(Event{EventOpenWindow, 0, window});
  }
  posted_.notify_all();
  WakePresenter();
}

void EventQueue::WindowClosed(int window) {
  std::lock_guard lock(mutex_);
  std::erase(open_windows_, window);
  std::erase_if(events_, [&](const Event& event) { return !Accepts(event.window); });
}

void EventQueue::WakePresenter() const {
  if (!Runtime::IsGuiThread(owner_)) return;
  if (Presenter* presenter = Runtime::presenter()) presenter->Wake();
}

bool EventQueue::HasEventFor(int window) const {
  for (const Event& event : events_) {
    if (event.window == window || event.window == 0) return true;
  }
  return false;
}

bool EventQueue::TakeFor(int window, Event* out) {
  std::lock_guard lock(mutex_);
  for (auto it = events_.begin(); it != events_.end(); ++it) {
    if (it->window != window && it->window != 0) continue;
    *out = *it;
    events_.erase(it);
    return true;
  }
  return false;
}

std::size_t EventQueue::size() const {
  std::lock_guard lock(mutex_);
  return events_.size();
}

void EventQueue::Wait(int window, std::int64_t deadline) {
  std::unique_lock lock(mutex_);
  if (HasEventFor(window)) return;
  Presenter* presenter = Runtime::presenter();
  if (presenter != nullptr && presenter->PumpsEvents() && Runtime::OnGuiThread()) {
    // The toolkit must stay responsive while the GUI thread waits; Post wakes the presenter,
    // and a wake that comes before the pump makes it return at once.
    lock.unlock();
    presenter->PumpUntilWoken(deadline);
    return;
  }
  if (deadline < 0) {
    posted_.wait(lock, [&] { return HasEventFor(window); });
    return;
  }
  Runtime::clock().WaitUntil(lock, posted_, deadline);
}

}  // namespace morlan
