#include "platform/steady_clock.h"

#include <chrono>

namespace morlan {

namespace {

using Hundredths = std::chrono::duration<std::int64_t, std::centi>;

}  // namespace

std::int64_t SteadyClock::Now() {
  return std::chrono::duration_cast<Hundredths>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::time_t SteadyClock::WallTime() { return std::time(nullptr); }

void SteadyClock::WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                            std::int64_t deadline) {
  wake.wait_until(lock, std::chrono::steady_clock::time_point(Hundredths(deadline)));
}

}  // namespace morlan
