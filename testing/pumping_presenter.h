// A headless presenter that behaves like a toolkit's in the ways the runtime must respect: it
// pumps (PumpsEvents is true), its PumpUntilWoken blocks until Wake is called, and a message box
// asked from another thread is answered only while the GUI thread pumps. It records every pump
// and the thread it ran on, so tests can see who pumped and whether a wake ever came.
//
// Bounds: a pump without a deadline gives up after kStall and counts a stall (the wake that
// should have ended it never came); a pump with a deadline waits a few real milliseconds, since
// the test clock may be a manual one; a box nobody pumps for is given up after kPatience.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/headless_presenter.h"
#include "platform/runtime.h"
#include "testing/bounded_wait.h"

namespace morlan::testing {

class PumpingPresenter final : public HeadlessPresenter {
 public:
  static constexpr std::chrono::milliseconds kStall{2000};

  bool PumpsEvents() const override { return true; }

  void PumpUntilWoken(std::int64_t deadline_hundredths) override {
    std::unique_lock lock(mutex_);
    ++pumps_;
    pump_threads_.push_back(Runtime::CurrentThreadId());
    pumping_ = true;
    changed_.notify_all();
    const auto bound = deadline_hundredths < 0 ? kStall : std::chrono::milliseconds(5);
    const bool ended = changed_.wait_for(lock, bound, [this] { return woken_ || box_waiting_; });
    if (box_waiting_) {
      // The toolkit shows the box while it pumps; answering it is the pump's work.
      box_waiting_ = false;
      const MessageBoxRequest request = box_request_;
      lock.unlock();
      const ButtonFlags answer = HeadlessPresenter::ShowMessageBox(request);
      lock.lock();
      box_answer_ = answer;
      box_answered_ = true;
      changed_.notify_all();
    }
    if (!ended && deadline_hundredths < 0) ++stalls_;
    woken_ = false;
    pumping_ = false;
  }

  void Wake() override {
    std::lock_guard lock(mutex_);
    woken_ = true;
    ++wakes_;
    changed_.notify_all();
  }

  ButtonFlags ShowMessageBox(const MessageBoxRequest& request) override {
    if (Runtime::OnGuiThread()) return HeadlessPresenter::ShowMessageBox(request);
    std::unique_lock lock(mutex_);
    box_request_ = request;
    box_answered_ = false;
    box_waiting_ = true;
    changed_.notify_all();
    if (!changed_.wait_for(lock, kPatience, [this] { return box_answered_; })) {
      box_waiting_ = false;
      ++unanswered_boxes_;
      return request.default_button;
    }
    return box_answer_;
  }

  int pumps() const {
    std::lock_guard lock(mutex_);
    return pumps_;
  }
  int stalls() const {
    std::lock_guard lock(mutex_);
    return stalls_;
  }
  int wakes() const {
    std::lock_guard lock(mutex_);
    return wakes_;
  }
  int unanswered_boxes() const {
    std::lock_guard lock(mutex_);
    return unanswered_boxes_;
  }
  bool pumping() const {
    std::lock_guard lock(mutex_);
    return pumping_;
  }
  std::vector<ThreadId> pump_threads() const {
    std::lock_guard lock(mutex_);
    return pump_threads_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool woken_ = false;
  bool pumping_ = false;
  int pumps_ = 0;
  int stalls_ = 0;
  int wakes_ = 0;
  int unanswered_boxes_ = 0;
  std::vector<ThreadId> pump_threads_;
  bool box_waiting_ = false;
  bool box_answered_ = false;
  MessageBoxRequest box_request_;
  ButtonFlags box_answer_ = 0;
};

}  // namespace morlan::testing
