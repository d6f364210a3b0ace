// A clock for tests: time moves only when a test advances it, or when an idle event loop waits
// for its next timer, in which case the clock jumps straight to that timer's deadline. Timer-
// driven work therefore runs at full speed and gives the same batches on every run.
#pragma once

#include <atomic>

#include "platform/clock.h"

namespace morlan {

class ManualClock final : public Clock {
 public:
  explicit ManualClock(std::int64_t start = 0, std::time_t wall = 0) : now_(start), wall_(wall) {}

  std::int64_t Now() override { return now_.load(); }
  std::time_t WallTime() override { return wall_.load(); }
  // Jumps to `deadline` (never backwards) and returns at once.
  void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                 std::int64_t deadline) override;

  // Moves time forward by `hundredths`. Thread-safe.
  void Advance(std::int64_t hundredths) { now_ += hundredths; }
  void SetWallTime(std::time_t wall) { wall_ = wall; }

 private:
  std::atomic<std::int64_t> now_;
  std::atomic<std::time_t> wall_;
};

}  // namespace morlan
