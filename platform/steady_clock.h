// The real clock: std::chrono::steady_clock in hundredths of a second, and the system's wall
// clock. Monotonic, so a run across midnight measures its batches correctly.
#pragma once

#include "platform/clock.h"

namespace morlan {

class SteadyClock final : public Clock {
 public:
  std::int64_t Now() override;
  std::time_t WallTime() override;
  void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                 std::int64_t deadline) override;
};

}  // namespace morlan
