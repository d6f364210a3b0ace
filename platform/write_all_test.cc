#include "platform/write_all.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace morlan {
namespace {

// A system call that takes at most three bytes a time, is interrupted every other call, and
// after `budget` bytes stops making progress in the way a test chooses.
struct FakeWrite {
  static inline std::string sink;
  static inline std::size_t budget = 0;
  static inline int calls = 0;
  static inline bool zero_at_end = false;  // return 0 instead of failing with ENOSPC

  static ssize_t Call(int, const void* data, std::size_t size) {
    if (++calls % 2 == 0) {
      errno = EINTR;
      return -1;
    }
    if (sink.size() >= budget) {
      if (zero_at_end) return 0;
      errno = ENOSPC;
      return -1;
    }
    const std::size_t n = std::min({size, std::size_t{3}, budget - sink.size()});
    sink.append(static_cast<const char*>(data), n);
    return static_cast<ssize_t>(n);
  }

  static void Reset(std::size_t bytes, bool zero) {
    sink.clear();
    budget = bytes;
    calls = 0;
    zero_at_end = zero;
  }
};

TEST(WriteAllTest, ShortAndInterruptedWritesAreRetriedUntilEverythingIsWritten) {
  FakeWrite::Reset(1000, false);
  std::size_t written = 99;
  EXPECT_EQ(WriteAll(7, "hello, world\n", &written, &FakeWrite::Call), 0);
  EXPECT_EQ(FakeWrite::sink, "hello, world\n");
  EXPECT_EQ(written, 13u);
}

TEST(WriteAllTest, FailuresReportTheErrorAndHowMuchReachedTheFile) {
  FakeWrite::Reset(5, false);
  std::size_t written = 0;
  EXPECT_EQ(WriteAll(7, "hello, world\n", &written, &FakeWrite::Call), ENOSPC);
  EXPECT_EQ(written, 5u);

  // A write that makes no progress and reports nothing must end, not spin.
  FakeWrite::Reset(4, true);
  EXPECT_EQ(WriteAll(7, "hello, world\n", &written, &FakeWrite::Call), EIO);
  EXPECT_EQ(written, 4u);
}

TEST(WriteAllTest, RealDescriptors) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  EXPECT_EQ(WriteAll(fds[1], "abc"), 0);
  char back[4] = {};
  ASSERT_EQ(::read(fds[0], back, 3), 3);
  EXPECT_STREQ(back, "abc");
  ::close(fds[0]);
  ::close(fds[1]);

  const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  if (full < 0) GTEST_SKIP() << "no /dev/full";
  std::size_t written = 9;
  EXPECT_EQ(WriteAll(full, "abc", &written), ENOSPC);
  EXPECT_EQ(written, 0u);
  ::close(full);
}

}  // namespace
}  // namespace morlan
