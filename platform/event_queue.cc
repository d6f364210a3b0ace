#include "platform/event_queue.h"

#include <algorithm>
#include <vector>

namespace morlan {

namespace {

// Every thread's queue, for close-down. Its lock is taken before a queue's own, never after.
struct Registry {
  std::mutex mutex;
  std::vector<std::weak_ptr<EventQueue>> queues;
  bool closing_down = false;
};

Registry& registry() {
  // Never destroyed: procedure threads may still post while static objects are torn down.
  static Registry* const registry = new Registry;
  return *registry;
}

}  // namespace

std::shared_ptr<EventQueue> EventQueue::ForCurrentThread() {
  thread_local const std::shared_ptr<EventQueue> queue = [] {
    std::shared_ptr<EventQueue> made(new EventQueue(Runtime::CurrentThreadId()));
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    std::erase_if(r.queues, [](const std::weak_ptr<EventQueue>& q) { return q.expired(); });
    r.queues.push_back(made);
    return made;
  }();
  return queue;
}

void EventQueue::CloseDownEveryWindow() {
  Registry& r = registry();
  std::lock_guard registry_lock(r.mutex);
  r.closing_down = true;
  for (const std::weak_ptr<EventQueue>& weak : r.queues) {
    const std::shared_ptr<EventQueue> queue = weak.lock();
    if (queue == nullptr) continue;
    {
      std::lock_guard lock(queue->mutex_);
      for (int window : queue->open_windows_) {
        queue->events_.push_back(Event{EventCloseDown, 0, window});
      }
    }
    queue->posted_.notify_all();
    queue->WakePresenter();
  }
}

void EventQueue::EndCloseDown() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.closing_down = false;
}

bool EventQueue::closing_down() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  return r.closing_down;
}

void EventQueue::Post(Event event) {
  {
    std::lock_guard lock(mutex_);
    // Nobody would ever take it: the window's loop has ended or runs on another thread.
    if (!Accepts(event.window)) return;
    events_.push_back(std::move(event));
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
    // Under the registry's lock, so a close-down going on reaches this window exactly once:
    // either it finds the window open, or the window finds it begun.
    Registry& r = registry();
    std::lock_guard registry_lock(r.mutex);
    std::lock_guard lock(mutex_);
    if (!Accepts(window)) open_windows_.push_back(window);
    events_.push_back(Event{EventOpenWindow, 0, window});
    if (r.closing_down) events_.push_back(Event{EventCloseDown, 0, window});
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
    *out = std::move(*it);
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
