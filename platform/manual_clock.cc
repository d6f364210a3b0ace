#include "platform/manual_clock.h"

namespace morlan {

void ManualClock::WaitUntil(std::unique_lock<std::mutex>&, std::condition_variable&,
                            std::int64_t deadline) {
  std::int64_t now = now_.load();
  while (now < deadline && !now_.compare_exchange_weak(now, deadline)) {
  }
}

}  // namespace morlan
