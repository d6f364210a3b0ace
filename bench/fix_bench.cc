// The dictionary fix end to end, against the same rule written plainly in C stdio.
// Usage: fix_bench [directory [megabytes]]
//
// Everything happens in a scratch folder made in `directory` (default: the current one) and
// removed at the end. The fix is the program's own: the fix procedure on a thread of its own, as
// the frame starts it, with its progress window driven by real timer events of the steady clock,
// the record process, the file managers and the text-line driver, under the headless presenter.
//
// 1. Ratio: a generated dictionary of `megabytes` (default 100) is fixed, alternating with the
//    bare loop (fgets, the rule, fputs), five times each; the best time of each counts, and both
//    outputs must be the same bytes. Prints the longest timer event of the fix (the window
//    shows its changes between events); the last line printed is "ratio: X", the fix's time
//    over the bare loop's.
// 2. Cancel: a run over a 200 MB dictionary is cancelled once its percent text is past 10% (the
//    person clicks Cancel, just after a batch began); prints the time from the click to the
//    window's closing. The lines written must be the bare loop's first lines.
// 3. Memory: a run over a 20 MB and over that 200 MB dictionary, each in a child process of its
//    own (this program again, "--peak-memory FOLDER"); prints each child's peak resident memory
//    and their difference.
// Any failure prints why to stderr and ends with exit code 1.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "app/dictionary.h"
#include "app/fix_message_table.h"
#include "app/fix_procedure.h"
#include "app/frame_procedure.h"
#include "app/globals.h"
#include "app/program.h"
#include "bench/bench_harness.h"
#include "bench/dictionary_generator.h"
#include "common/codes.h"
#include "platform/headless_presenter.h"
#include "platform/runtime.h"
#include "platform/steady_clock.h"
#include "platform/user_action.h"

namespace morlan {
namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr char kProgressId[] = "P1$PROGRESSWINDOW";
constexpr char kBareOutput[] = "bare.qdl";
constexpr int kCancelPercent = 10;
constexpr auto kClickDelay = std::chrono::milliseconds(50);
constexpr std::int64_t kSmallBytes = std::int64_t{20} << 20;
constexpr std::int64_t kLargeBytes = std::int64_t{200} << 20;
// Longer than any run should take on a loaded machine; a run that outlasts it has hung.
constexpr auto kRunPatience = std::chrono::minutes(5);

// The rule, written plainly: a line of at most 255 characters; a line with "!" or without one of
// the four type words is only lower-cased; otherwise the clipped line gets ",NAME('label')", the
// label being the first word up to a blank, at most 32 characters; the result is lower-cased,
// cut at 255 and written without trailing blanks.
bool BareFix(const char* from, const char* to, std::int64_t& lines) {
  std::FILE* in = std::fopen(from, "rb");
  std::FILE* out = in == nullptr ? nullptr : std::fopen(to, "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "bare loop: cannot open %s: %s\n", in == nullptr ? from : to,
                 std::strerror(errno));
    if (in != nullptr) std::fclose(in);
    return false;
  }
  char line[512];
  char result[512];
  bool ok = true;
  lines = 0;
  while (ok && std::fgets(line, sizeof line, in) != nullptr) {
    std::size_t n = std::strlen(line);
    if (n > 0 && line[n - 1] == '\n') line[--n] = '\0';
    if (n > 0 && line[n - 1] == '\r') line[--n] = '\0';
    if (n > 255) {
      std::fprintf(stderr, "bare loop: line %lld is longer than 255 characters\n",
                   static_cast<long long>(lines + 1));
      ok = false;
      break;
    }
    while (n > 0 && line[n - 1] == ' ') line[--n] = '\0';
    std::memcpy(result, line, n + 1);
    if (std::strchr(line, '!') == nullptr &&
        (std::strstr(line, "STRING") != nullptr || std::strstr(line, "DECIMAL") != nullptr ||
         std::strstr(line, "LONG") != nullptr || std::strstr(line, "BYTE") != nullptr)) {
      std::size_t label = 0;
      while (label < 32 && label < n && line[label] != ' ') ++label;
      std::memcpy(result + n, ",NAME('", 7);
      std::memcpy(result + n + 7, line, label);
      std::memcpy(result + n + 7 + label, "')", 3);
      n += 7 + label + 2;
    }
    if (n > 255) n = 255;
    while (n > 0 && result[n - 1] == ' ') --n;
    for (std::size_t i = 0; i < n; ++i) {
      if (result[i] >= 'A' && result[i] <= 'Z') result[i] = static_cast<char>(result[i] + 32);
    }
    result[n] = '\n';
    result[n + 1] = '\0';
    ok = std::fputs(result, out) >= 0;
    ++lines;
  }
  if (std::ferror(in) || std::ferror(out)) ok = false;
  std::fclose(in);
  if (std::fclose(out) != 0) ok = false;
  if (!ok && errno != 0) std::fprintf(stderr, "bare loop: %s\n", std::strerror(errno));
  return ok;
}

// The headless presenter, watching the progress window: its percentage and when it closes.
class WatchingPresenter final : public HeadlessPresenter {
 public:
  void WindowOpened(const WindowSnapshot& snapshot) override {
    if (snapshot.definition_id == kProgressId) {
      progress_window_ = snapshot.id;
      percent_ = 0;
    }
    HeadlessPresenter::WindowOpened(snapshot);
  }

  void WindowChanged(const WindowSnapshot& snapshot) override {
    if (snapshot.id == progress_window_) {
      std::lock_guard<std::mutex> lock(mutex_);
      for (const ControlSnapshot& c : snapshot.controls) {
        if (c.number == kProgressPercentText) percent_ = std::atoi(c.text.c_str());
      }
      // The window shows its changes between events: the gaps are the timer events' lengths.
      const Clock::time_point now = Clock::now();
      if (last_change_) longest_gap_ = std::max(longest_gap_, now - *last_change_);
      last_change_ = now;
      changed_.notify_all();
    }
    HeadlessPresenter::WindowChanged(snapshot);
  }

  void WindowClosed(int window_id) override {
    if (window_id == progress_window_) {
      std::lock_guard<std::mutex> lock(mutex_);
      closed_at_ = Clock::now();
      changed_.notify_all();
    }
    HeadlessPresenter::WindowClosed(window_id);
  }

  // Waits until the percentage is past `percent` or the window has closed, at most `patience`.
  void WaitPast(int percent, Clock::duration patience) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, patience,
                      [&] { return percent_ > percent || closed_at_ != std::nullopt; });
  }

  // The longest time between two changes shown of the progress window in the last run.
  Clock::duration longest_gap() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return longest_gap_;
  }

  int progress_window() const { return progress_window_; }
  int percent() const { return percent_; }
  std::optional<Clock::time_point> closed_at() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_at_;
  }
  void Forget() {
    std::lock_guard<std::mutex> lock(mutex_);
    progress_window_ = 0;
    percent_ = 0;
    closed_at_.reset();
    last_change_.reset();
    longest_gap_ = Clock::duration::zero();
    Clear();
  }

 private:
  std::atomic<int> progress_window_{0};
  std::atomic<int> percent_{0};
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<Clock::time_point> closed_at_;
  std::optional<Clock::time_point> last_change_;
  Clock::duration longest_gap_{};
};

// The program as start-up sets it up, in the current directory, under the watching presenter
// and the steady clock.
class FixProgram final {
 public:
  FixProgram() {
    Runtime::InstallPresenter(&presenter_);
    Runtime::InstallClock(&clock_);
    Runtime::Start();
    AppErrors.InitStandard();
    AppErrors.LoadMessageTable(FixMessageTable::Bytes());
    InitDictionary();
  }

  ~FixProgram() {
    KillDictionary();
    AppErrors.Kill();
    Runtime::Reset();
  }

  FixProgram(const FixProgram&) = delete;
  FixProgram& operator=(const FixProgram&) = delete;

  WatchingPresenter& presenter() { return presenter_; }

  // Starts one run on a thread of its own, as the frame does. False when it cannot start.
  bool Start() {
    presenter_.Forget();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      running_ = true;
    }
    const bool started = Runtime::StartThread(
        [this] {
          const std::uint8_t response = FixQdl();
          std::lock_guard<std::mutex> lock(mutex_);
          response_ = response;
          ended_at_ = Clock::now();
          running_ = false;
          ended_.notify_all();
        },
        kFixStackBytes);
    if (!started) {
      running_ = false;
      std::fprintf(stderr, "the fix procedure's thread cannot be started\n");
    }
    return started;
  }

  // Waits for the run to end. False, after saying so, when it does not end in time.
  bool Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (ended_.wait_for(lock, kRunPatience, [this] { return !running_; })) return true;
    std::fprintf(stderr, "the fix run did not end within %lld s\n",
                 static_cast<long long>(std::chrono::seconds(kRunPatience).count()));
    return false;
  }

  std::uint8_t response() {
    std::lock_guard<std::mutex> lock(mutex_);
    return response_;
  }
  Clock::time_point ended_at() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ended_at_;
  }

  // Prints the message boxes the run showed; true when there were none.
  bool Quiet() {
    const auto boxes = presenter_.message_boxes();
    for (const MessageBoxRequest& box : boxes) {
      std::fprintf(stderr, "the fix showed \"%s\": %s\n", box.caption.c_str(), box.text.c_str());
    }
    return boxes.empty();
  }

  // One whole run, timed from the start of its thread to its end. False, after saying why,
  // when it fails or does not complete.
  bool TimedRun(Clock::duration& took) {
    const Clock::time_point start = Clock::now();
    if (!Start() || !Wait()) return false;
    took = ended_at() - start;
    if (!Quiet()) return false;
    if (response() == ResponseCompleted) return true;
    std::fprintf(stderr, "the fix run ended with response %d, not completed\n", response());
    return false;
  }

 private:
  WatchingPresenter presenter_;
  SteadyClock clock_;
  std::mutex mutex_;
  std::condition_variable ended_;
  bool running_ = false;
  std::uint8_t response_ = 0;
  Clock::time_point ended_at_;
};

bool SameFiles(const std::string& a, const std::string& b, bool prefix_only) {
  std::error_code error;
  const std::uintmax_t size_a = std::filesystem::file_size(a, error);
  if (error) return false;
  const std::uintmax_t size_b = std::filesystem::file_size(b, error);
  if (error) return false;
  if (prefix_only ? size_a > size_b : size_a != size_b) return false;
  std::FILE* fa = std::fopen(a.c_str(), "rb");
  std::FILE* fb = std::fopen(b.c_str(), "rb");
  bool same = fa != nullptr && fb != nullptr;
  static char ba[1 << 16];
  static char bb[1 << 16];
  std::uintmax_t left = size_a;
  while (same && left > 0) {
    const std::size_t want = left < sizeof ba ? static_cast<std::size_t>(left) : sizeof ba;
    same = std::fread(ba, 1, want, fa) == want && std::fread(bb, 1, want, fb) == want &&
           std::memcmp(ba, bb, want) == 0;
    left -= want;
  }
  if (fa != nullptr) std::fclose(fa);
  if (fb != nullptr) std::fclose(fb);
  // A prefix ends where a line ends.
  if (same && prefix_only && size_a > 0 && ba[(size_a - 1) % sizeof ba] != '\n') same = false;
  return same;
}

std::string InputName() { return std::string(kInputFileName); }
std::string OutputName() { return std::string(kOutputFileName); }

// Makes `folder` (when needed) the current directory.
bool Enter(const std::filesystem::path& folder) {
  std::error_code ignored;
  std::filesystem::create_directory(folder, ignored);
  if (::chdir(folder.c_str()) == 0) return true;
  std::fprintf(stderr, "cannot enter %s: %s\n", folder.c_str(), std::strerror(errno));
  return false;
}

// Writes the input in the current directory, and the bare loop's output of it.
bool Generate(std::int64_t bytes) {
  if (!DictionaryGenerator::WriteFile(InputName(), bytes)) return false;
  // Into the page cache, so neither way pays for the first read.
  std::int64_t lines = 0;
  return BareFix(InputName().c_str(), kBareOutput, lines);
}

// The ratio: the fix against the bare loop. Prints the times; the ratio goes to `ratio`, for
// the last line.
bool RunRatio(FixProgram& program, std::int64_t bytes, double& ratio) {
  if (!Generate(bytes)) return false;
  Clock::duration fix_best = Clock::duration::max();
  Clock::duration longest_event{};
  Clock::duration bare_best = Clock::duration::max();
  std::int64_t lines = 0;
  for (int run = 0; run < BenchHarness::kRuns; ++run) {
    Clock::duration took;
    if (!program.TimedRun(took)) return false;
    fix_best = std::min(fix_best, took);
    longest_event = std::max(longest_event, program.presenter().longest_gap());
    const Clock::time_point start = Clock::now();
    if (!BareFix(InputName().c_str(), kBareOutput, lines)) return false;
    bare_best = std::min(bare_best, Clock::now() - start);
  }
  if (!SameFiles(OutputName(), kBareOutput, false)) {
    std::fprintf(stderr, "FAILED: the fix's %s differs from the bare loop's output\n",
                 OutputName().c_str());
    return false;
  }
  std::error_code ignored;
  const double megabytes = static_cast<double>(std::filesystem::file_size(InputName(), ignored));
  const double fix = Seconds(fix_best).count();
  const double bare = Seconds(bare_best).count();
  const double count = static_cast<double>(std::max<std::int64_t>(lines, 1));
  std::printf("input: %.0f bytes, %lld lines; outputs identical\n", megabytes,
              static_cast<long long>(lines));
  std::printf("fix: %.3f s, %.1f MB/s, %.1f ns/line\n", fix, megabytes / 1e6 / fix,
              fix * 1e9 / count);
  std::printf("bare loop: %.3f s, %.1f MB/s, %.1f ns/line\n", bare, megabytes / 1e6 / bare,
              bare * 1e9 / count);
  std::printf("longest timer event of the fix: %.3f s\n", Seconds(longest_event).count());
  ratio = fix / bare;
  return true;
}

// Cancel part-way through a run over a 200 MB input in `folder`, which stays there for
// RunMemory. The window shows the percentage between timer events, each about half a second
// long, so the input must be large enough to outlast a few of them.
bool RunCancel(FixProgram& program, const std::filesystem::path& folder) {
  if (!Enter(folder) || !Generate(kLargeBytes) || !program.Start()) return false;
  WatchingPresenter& presenter = program.presenter();
  presenter.WaitPast(kCancelPercent, kRunPatience);
  // The display changes between two timer events; a click right then is taken at once. The
  // person clicks a little later instead, once the next batch has begun: Cancel then waits for
  // nearly the whole batch, the longest it can wait.
  std::this_thread::sleep_for(kClickDelay);
  const int percent = presenter.percent();
  const Clock::time_point pressed = Clock::now();
  const bool accepted =
      presenter.Perform(presenter.progress_window(), UserAction::Click(kProgressCancel));
  if (!program.Wait()) return false;
  const std::optional<Clock::time_point> closed = presenter.closed_at();
  if (!accepted || closed == std::nullopt) {
    std::fprintf(stderr, "Cancel at %d%% was not taken: the run had %s\n", percent,
                 closed ? "already ended" : "no window");
    return false;
  }
  if (!program.Quiet()) return false;
  if (program.response() != ResponseCancelled) {
    std::fprintf(stderr, "the cancelled run ended with response %d\n", program.response());
    return false;
  }
  if (!SameFiles(OutputName(), kBareOutput, true)) {
    std::fprintf(stderr, "FAILED: after Cancel, %s is not a prefix of the full output\n",
                 OutputName().c_str());
    return false;
  }
  std::error_code ignored;
  std::printf(
      "cancel at %d%% (clicked %.2f s after the display changed): window closed after %.3f s "
      "(%.0f%% of the output written)\n",
      percent, Seconds(kClickDelay).count(), Seconds(*closed - pressed).count(),
      100.0 * static_cast<double>(std::filesystem::file_size(OutputName(), ignored)) /
          static_cast<double>(std::filesystem::file_size(kBareOutput, ignored)));
  std::filesystem::remove(kOutputFileName, ignored);
  std::filesystem::remove(kBareOutput, ignored);
  return true;
}

// The peak resident memory of this process so far, in kB; -1 when unknown.
long PeakResidentKb() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  long kb = -1;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::strncmp(line, "VmHWM:", 6) == 0) kb = std::atol(line + 6);
  }
  std::fclose(status);
  return kb;
}

// The child of the memory measurement: one run in `folder`, which holds the input. Writes its VmHWM
// in kB to standard output. Exit code 0 when the run completed.
int PeakMemoryChild(const char* folder) {
  if (::chdir(folder) != 0) {
    std::fprintf(stderr, "cannot enter %s: %s\n", folder, std::strerror(errno));
    return 1;
  }
  int code = 1;
  {
    ModuleInitialisers modules;
    FixProgram program;
    Clock::duration took;
    if (program.TimedRun(took)) code = 0;
  }
  std::printf("%ld\n", PeakResidentKb());
  return code;
}

struct ChildPeak {
  long vm_hwm_kb = -1;  // as the child read it
  long maxrss_kb = -1;  // as the kernel reported it to the parent
};

// Runs this program as the child of the memory measurement over the input of `bytes` in `folder`.
bool MeasureChild(const std::filesystem::path& folder, std::int64_t bytes, ChildPeak& peak) {
  std::error_code ignored;
  int pipe_ends[2];
  if (::pipe(pipe_ends) != 0) return false;
  std::error_code error;
  const std::string self = std::filesystem::read_symlink("/proc/self/exe", error).string();
  const std::string where = folder.string();
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    ::dup2(pipe_ends[1], STDOUT_FILENO);
    ::close(pipe_ends[0]);
    ::close(pipe_ends[1]);
    const char* args[] = {self.c_str(), "--peak-memory", where.c_str(), nullptr};
    ::execv(self.c_str(), const_cast<char* const*>(args));
    _exit(127);
  }
  ::close(pipe_ends[1]);
  char text[64] = {};
  std::size_t used = 0;
  ssize_t n;
  while (used + 1 < sizeof text &&
         (n = ::read(pipe_ends[0], text + used, sizeof text - 1 - used)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    used += static_cast<std::size_t>(n);
  }
  ::close(pipe_ends[0]);
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "the run over %lld MB in a child process failed\n",
                 static_cast<long long>(bytes >> 20));
    return false;
  }
  peak.vm_hwm_kb = std::atol(text);
  peak.maxrss_kb = usage.ru_maxrss;
  return true;
}

// The memory measurement.
// The large input is the one RunCancel left in "large".
bool RunMemory(const std::filesystem::path& scratch) {
  ChildPeak small;
  ChildPeak large;
  if (!Enter(scratch / "small") || !DictionaryGenerator::WriteFile(InputName(), kSmallBytes) ||
      !MeasureChild(scratch / "small", kSmallBytes, small) ||
      !MeasureChild(scratch / "large", kLargeBytes, large)) {
    return false;
  }
  std::printf("peak resident memory, 20 MB input: %ld kB (VmHWM %ld kB)\n", small.maxrss_kb,
              small.vm_hwm_kb);
  std::printf("peak resident memory, 200 MB input: %ld kB (VmHWM %ld kB)\n", large.maxrss_kb,
              large.vm_hwm_kb);
  std::printf("memory growth: %ld kB\n", large.maxrss_kb - small.maxrss_kb);
  return true;
}

int Run(const std::filesystem::path& directory, std::int64_t bytes) {
  std::error_code error;
  const std::filesystem::path scratch = std::filesystem::absolute(directory, error) /
                                        ("morlan-fix-bench-" + std::to_string(::getpid()));
  if (!std::filesystem::create_directory(scratch, error) || !Enter(scratch)) {
    std::fprintf(stderr, "cannot make the scratch folder %s\n", scratch.c_str());
    return 1;
  }
  bool ok = false;
  double ratio = 0;
  {
    ModuleInitialisers modules;
    FixProgram program;
    ok = RunRatio(program, bytes, ratio);
    std::filesystem::remove(kInputFileName, error);
    std::filesystem::remove(kOutputFileName, error);
    std::filesystem::remove(kBareOutput, error);
    ok = ok && RunCancel(program, scratch / "large");
  }
  ok = ok && RunMemory(scratch);
  if (ok) std::printf("ratio: %.2f\n", ratio);
  std::fflush(stdout);
  std::filesystem::remove_all(scratch, error);
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace morlan

int main(int argc, char** argv) {
  if (argc == 3 && std::string_view(argv[1]) == "--peak-memory") {
    return morlan::PeakMemoryChild(argv[2]);
  }
  return morlan::BenchHarness::Main(argc, argv, morlan::Run);
}
