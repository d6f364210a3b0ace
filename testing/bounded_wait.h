// Bounds for the waits of threaded tests, so that a fault fails the test within seconds with a
// message naming what never happened, instead of hanging until the test driver's time limit.
//
//   testing::Watchdog watchdog("the procedure thread to end");
//   worker.join();  // or future.get(), or an event loop
//
//   ASSERT_TRUE(testing::WaitUntil([&] { return started.load(); })) << "the worker never started";
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "gtest/gtest.h"

namespace morlan::testing {

// How long a test waits for something that takes microseconds when the code is right.
inline constexpr std::chrono::milliseconds kPatience{5000};

// Fails the test with `what` and ends the process at once: the only safe way out while another
// thread may still be using the test's objects.
[[noreturn]] inline void GiveUp(const std::string& what) {
  ADD_FAILURE() << what;
  std::fprintf(stderr, "%s\n", what.c_str());
  std::fflush(nullptr);
  std::_Exit(EXIT_FAILURE);
}

// Polls `done` until it answers true (true) or `patience` has passed (false).
[[nodiscard]] inline bool WaitUntil(const std::function<bool()>& done,
                                    std::chrono::milliseconds patience = kPatience) {
  const auto limit = std::chrono::steady_clock::now() + patience;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= limit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Bounds whatever the test does while this object lives: when it is not destroyed within
// `patience`, the test fails naming `what` and the process ends at once (GiveUp).
class Watchdog final {
 public:
  explicit Watchdog(std::string what, std::chrono::milliseconds patience = kPatience)
      : what_(std::move(what)), thread_([this, patience] { Watch(patience); }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      disarmed_ = true;
    }
    disarmed_changed_.notify_all();
    thread_.join();
  }

  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  void Watch(std::chrono::milliseconds patience) {
    std::unique_lock lock(mutex_);
    if (disarmed_changed_.wait_for(lock, patience, [this] { return disarmed_; })) return;
    GiveUp("Gave up waiting for " + what_ + " after " + std::to_string(patience.count()) + " ms");
  }

  const std::string what_;
  std::mutex mutex_;
  std::condition_variable disarmed_changed_;
  bool disarmed_ = false;
  std::thread thread_;  // last: starts once the members it uses exist
};

}  // namespace morlan::testing
