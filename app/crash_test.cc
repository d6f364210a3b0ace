// A fix run killed at random moments: a child process runs the whole program headless on a
// large dictionary and is killed with SIGKILL. Whenever it dies, the input must be untouched and
// the output must be a byte prefix of the correct output: lines may be missing at the end, never
// wrong, doubled or out of order.
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

#include "app/dictionary.h"
#include "gtest/gtest.h"
#include "testing/reference_rewrite.h"
#include "testing/temp_dir.h"

namespace morlan {
namespace {

using Clock = std::chrono::steady_clock;

// Sanitizers slow the run several times (the thread sanitizer most); the dictionary shrinks so
// the test keeps its time.
#if defined(__SANITIZE_THREAD__)
constexpr std::size_t kDictionaryBytes = std::size_t{2} * 1024 * 1024;
#elif defined(__SANITIZE_ADDRESS__) || defined(MORLAN_ADDRESS_SANITIZER)
constexpr std::size_t kDictionaryBytes = std::size_t{10} * 1024 * 1024;
#else
constexpr std::size_t kDictionaryBytes = std::size_t{50} * 1024 * 1024;
#endif
constexpr int kKills = 20;
// No run of the child may take longer than this; a child still alive then is killed, and the
// test fails: the run hangs.
constexpr auto kRunLimit = std::chrono::seconds(30);

// How many bytes at the start of file `name` equal those of `expected`, and the file's size
// (-1 when it cannot be read). Read in chunks: the files are tens of megabytes.
struct Comparison {
  std::int64_t size = -1;
  std::int64_t same = 0;
};
Comparison CompareFile(const std::string& name, const std::string& expected) {
  Comparison result;
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (file == nullptr) return result;
  result.size = 0;
  static char chunk[1 << 20];
  bool differed = false;
  for (;;) {
    const std::size_t n = std::fread(chunk, 1, sizeof chunk, file);
    if (n == 0) break;
    const std::size_t offset = static_cast<std::size_t>(result.size);
    result.size += static_cast<std::int64_t>(n);
    if (differed) continue;
    const std::size_t comparable =
        offset >= expected.size() ? 0 : std::min(n, expected.size() - offset);
    const std::size_t same =
        std::mismatch(chunk, chunk + comparable, expected.begin() + offset).first - chunk;
    result.same += static_cast<std::int64_t>(same);
    differed = same < n;
  }
  std::fclose(file);
  return result;
}

bool SameFile(const std::string& name, const std::string& expected) {
  const Comparison c = CompareFile(name, expected);
  return c.size == static_cast<std::int64_t>(expected.size()) && c.same == c.size;
}

// A dictionary of at least `bytes` bytes: the sample's lines over and over, each pass opened by
// a comment line with its number, so no stretch of the output repeats another exactly.
std::string LargeDictionary(std::size_t bytes) {
  std::ifstream in(std::string(MORLAN_SOURCE_DIR) + "/examples/VRSQ1.qdl", std::ios::binary);
  const std::string sample(std::istreambuf_iterator<char>(in), {});
  std::string text;
  if (sample.empty()) return text;
  text.reserve(bytes + sample.size() + 64);
  for (int pass = 1; text.size() < bytes; ++pass) {
    text += "!  Pass " + std::to_string(pass) + "\n";
    text += sample;
  }
  return text;
}

class Child {
 public:
  // Starts the crash child with `dir` as its current directory. False when it cannot.
  bool Start(const std::string& dir) {
    pid_ = ::fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
      if (::chdir(dir.c_str()) != 0) ::_exit(126);
      ::execl(MORLAN_CRASH_CHILD, MORLAN_CRASH_CHILD, static_cast<char*>(nullptr));
      ::_exit(127);
    }
    return true;
  }

  // Waits for the child to end by itself, up to `limit`; kills it when it does not. The wait
  // status, or -1 when it had to be killed.
  int WaitOrKill(Clock::duration limit) {
    const Clock::time_point until = Clock::now() + limit;
    for (;;) {
      int status = 0;
      const pid_t done = ::waitpid(pid_, &status, WNOHANG);
      if (done == pid_) return status;
      if (Clock::now() >= until) {
        Kill();
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  // SIGKILL now and reap; true when the signal was what ended it (not an earlier exit).
  bool Kill() {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  }

 private:
  pid_t pid_ = -1;
};

TEST(CrashTest, AKilledRunLeavesTheInputAloneAndAPrefixOfTheCorrectOutput) {
  testing::TempDir dir;
  const std::string input = LargeDictionary(kDictionaryBytes);
  ASSERT_FALSE(input.empty()) << "the sample dictionary cannot be read";
  const std::string reference = testing::ReferenceRewrite(input);
  const std::string input_name = dir.Write(kInputFileName, input);
  const std::string output_name = dir.File(kOutputFileName);

  // One whole run first: it must complete, and it measures how long a run takes.
  Child whole;
  const Clock::time_point start = Clock::now();
  ASSERT_TRUE(whole.Start(dir.path().string()));
  const int status = whole.WaitOrKill(kRunLimit);
  const Clock::duration took = Clock::now() - start;
  ASSERT_NE(status, -1) << "the whole run did not end within " << kRunLimit.count() << " s";
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
  ASSERT_TRUE(SameFile(output_name, reference)) << "the whole run's output is not correct";

  std::mt19937_64 random(std::random_device{}());
  const auto took_us = std::chrono::duration_cast<std::chrono::microseconds>(took).count();
  std::uniform_int_distribution<std::int64_t> delay_us(0, took_us);
  int cut_short = 0;
  for (int kill = 0; kill < kKills; ++kill) {
    const std::int64_t delay = delay_us(random);
    SCOPED_TRACE("kill " + std::to_string(kill) + " after " + std::to_string(delay) + " us");
    // Whatever output is found afterwards was written by this child.
    std::filesystem::remove(output_name);
    Child child;
    ASSERT_TRUE(child.Start(dir.path().string()));
    std::this_thread::sleep_for(std::chrono::microseconds(delay));
    const bool killed = child.Kill();

    ASSERT_TRUE(SameFile(input_name, input)) << "the input was changed";
    const Comparison output = CompareFile(output_name, reference);
    if (output.size < 0) continue;
    ASSERT_EQ(output.same, output.size)
        << "the output differs from the correct one at byte " << output.same << " of "
        << output.size << " (correct output: " << reference.size() << " bytes)";
    if (killed && output.size > 0 && output.same < static_cast<std::int64_t>(reference.size())) {
      ++cut_short;
    }
  }
  // The moments are spread over a whole run: some of them must have caught it part-way.
  EXPECT_GT(cut_short, 0) << "no kill caught a run part-way; the test checked nothing";
  std::printf("a whole run took %lld ms; %d of %d kills cut the output short\n",
              static_cast<long long>(took_us / 1000), cut_short, kKills);
}

}  // namespace
}  // namespace morlan
