// The runtime's clock: a time in hundredths of a second for measuring work, the wall-clock time
// for dates and times shown to the user, and the way an idle event loop waits for its next timer.
// SteadyClock is the real one; ManualClock gives tests the same timer events on every run.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <mutex>

namespace morlan {

class Clock {
 public:
  virtual ~Clock() = default;

  // Hundredths of a second on a monotonic scale; only differences mean anything.
  // Thread-safe.
  virtual std::int64_t Now() = 0;

  // Seconds since the epoch, for the date and time shown to the user. Thread-safe.
  virtual std::time_t WallTime() = 0;

  // Blocks the caller, which holds `lock`, until `deadline` (on the scale of Now) has come or
  // `wake` is notified, whichever is first. May return early; callers test their condition
  // again. Thread-safe.
  virtual void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                         std::int64_t deadline) = 0;
};

}  // namespace morlan
