// Inserts the lines of a generated dictionary into a text-line file twice: through the driver
// directly (TextLineFile::Add) and through the framework (FileManager::Insert on a file without
// keys, opened through its FileRelations as the fix procedure opens its output), and prints both
// times. Usage: file_manager_insert_bench [directory [megabytes]]
//
// Both runs read the input line by line through a TextLineFile, as the fix procedure does, so
// the difference between them is the cost of the manager's per-record path (use bookkeeping,
// validation hooks, error-state checks). The files go into `directory` (default: the current
// one) and are removed at the end. Each way runs three times, alternating, after one read that
// brings the input into the page cache; the best time of each counts. Both outputs must give
// back the input byte for byte. The last line printed is "ratio: X", the manager's time over
// the driver's.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench/dictionary_generator.h"
#include "common/codes.h"
#include "common/levels.h"
#include "common/record_layout.h"
#include "data/file_manager.h"
#include "data/file_relations.h"
#include "errors/error_manager.h"
#include "platform/data_file.h"
#include "platform/headless_presenter.h"
#include "platform/runtime.h"
#include "platform/runtime_error_state.h"
#include "platform/text_line_file.h"

namespace morlan {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRuns = 3;
constexpr std::uint32_t kLineSize = 255;

bool Failed(const char* what, const std::string& name) {
  const StatusCode code = RuntimeErrorState::code();
  if (code == StatusOk) return false;
  std::fprintf(stderr, "%s %s failed: %d %.*s %.*s\n", what, name.c_str(), code,
               static_cast<int>(RuntimeErrorState::text().size()), RuntimeErrorState::text().data(),
               static_cast<int>(RuntimeErrorState::driver_text().size()),
               RuntimeErrorState::driver_text().data());
  return true;
}

RecordLayout LineLayout() {
  RecordLayout layout;
  layout.AddField("LINE", FieldType::kText, kLineSize);
  return layout;
}

// The input, opened for reading from its first line.
bool OpenInput(TextLineFile& in) {
  in.Open(kShareDenyNone | kAccessRead);
  return !Failed("open", in.name());
}

// Lines appended with TextLineFile::Add. Returns the number of lines, or -1 on failure.
std::int64_t DriverInsert(const std::string& from, const std::string& to) {
  TextLineFile in(from, LineLayout());
  TextLineFile out(to, LineLayout());
  out.Create();
  if (Failed("create", to)) return -1;
  if (!OpenInput(in)) return -1;
  out.Open(kShareDenyNone | kAccessReadWrite);
  if (Failed("open", to)) return -1;

  const char* source = in.record();
  char* target = out.record();
  std::int64_t lines = 0;
  for (;;) {
    in.Next();
    if (RuntimeErrorState::code() == StatusNoRecord) break;
    if (Failed("read", from)) return -1;
    std::memcpy(target, source, kLineSize);
    out.Add();
    if (Failed("add", to)) return -1;
    ++lines;
  }
  in.Close();
  out.Close();
  if (Failed("close", to)) return -1;
  return lines;
}

// Lines inserted with FileManager::Insert; the manager creates the missing output when its
// relation manager opens it. Returns the number of lines, or -1 on failure.
std::int64_t ManagerInsert(ErrorManager& errors, const std::string& from, const std::string& to) {
  TextLineFile in(from, LineLayout());
  TextLineFile out(to, LineLayout());
  FileManager manager;
  manager.Init(&out, &errors);
  FileRelations relations;
  relations.Init(&manager, true);
  if (relations.Open(false) != FatalityNone) {
    std::fprintf(stderr, "open %s failed\n", to.c_str());
    return -1;
  }
  if (!OpenInput(in)) return -1;

  const char* source = in.record();
  char* target = out.record();
  std::int64_t lines = 0;
  for (;;) {
    in.Next();
    if (RuntimeErrorState::code() == StatusNoRecord) break;
    if (Failed("read", from)) return -1;
    std::memcpy(target, source, kLineSize);
    if (manager.Insert() != FatalityNone) {
      Failed("insert", to);
      return -1;
    }
    ++lines;
  }
  in.Close();
  relations.Close(false);
  if (Failed("close", to)) return -1;
  relations.Kill();
  manager.Kill();
  return lines;
}

// Reads the whole file, so the timed runs start with it in the page cache. Returns its size.
std::int64_t ReadAll(const std::string& name) {
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (file == nullptr) return -1;
  static char buffer[1 << 20];
  std::int64_t total = 0;
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
    total += static_cast<std::int64_t>(n);
  std::fclose(file);
  return total;
}

bool SameContent(const std::string& a, const std::string& b) {
  std::FILE* fa = std::fopen(a.c_str(), "rb");
  std::FILE* fb = std::fopen(b.c_str(), "rb");
  bool same = fa != nullptr && fb != nullptr;
  static char ba[1 << 20];
  static char bb[1 << 20];
  while (same) {
    const std::size_t na = std::fread(ba, 1, sizeof ba, fa);
    const std::size_t nb = std::fread(bb, 1, sizeof bb, fb);
    same = na == nb && std::memcmp(ba, bb, na) == 0;
    if (na == 0) break;
  }
  if (fa != nullptr) std::fclose(fa);
  if (fb != nullptr) std::fclose(fb);
  return same;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

int Run(const std::filesystem::path& directory, std::int64_t bytes) {
  const std::string input = (directory / "morlan-bench-insert-input.qdl").string();
  const std::string driver_output = (directory / "morlan-bench-insert-driver.qdl").string();
  const std::string manager_output = (directory / "morlan-bench-insert-manager.qdl").string();
  const auto remove_all = [&] {
    std::error_code ignored;
    for (const std::string& name : {input, driver_output, manager_output}) {
      std::filesystem::remove(name, ignored);
    }
  };

  // Messages would wait for an answer; a benchmark wants them recorded and its run ended.
  HeadlessPresenter presenter;
  Runtime::InstallPresenter(&presenter);
  ErrorManager errors;
  errors.InitStandard();
  errors.EnterProcedure("bench");

  if (!DictionaryGenerator::WriteFile(input, bytes)) {
    remove_all();
    return 1;
  }
  const std::int64_t size = ReadAll(input);

  Clock::duration best_driver = Clock::duration::max();
  Clock::duration best_manager = Clock::duration::max();
  std::int64_t lines = 0;
  for (int run = 0; run < kRuns; ++run) {
    std::error_code ignored;
    std::filesystem::remove(driver_output, ignored);
    Clock::time_point start = Clock::now();
    lines = DriverInsert(input, driver_output);
    const Clock::duration driver = Clock::now() - start;

    std::filesystem::remove(manager_output, ignored);
    start = Clock::now();
    const std::int64_t manager_lines = ManagerInsert(errors, input, manager_output);
    const Clock::duration manager = Clock::now() - start;
    if (lines < 0 || manager_lines != lines || !presenter.message_boxes().empty()) {
      for (const MessageBoxRequest& box : presenter.message_boxes()) {
        std::fprintf(stderr, "%s: %s\n", box.caption.c_str(), box.text.c_str());
      }
      remove_all();
      return 1;
    }
    best_driver = std::min(best_driver, driver);
    best_manager = std::min(best_manager, manager);
  }

  const bool driver_same = SameContent(input, driver_output);
  const bool manager_same = SameContent(input, manager_output);
  remove_all();
  errors.LeaveProcedure();
  errors.Kill();
  Runtime::Reset();
  if (!driver_same || !manager_same) {
    std::fprintf(stderr, "output differs from the input:%s%s\n", driver_same ? "" : " driver",
                 manager_same ? "" : " manager");
    return 1;
  }

  const double megabytes = static_cast<double>(size) / 1e6;
  const double driver_s = Seconds(best_driver);
  const double manager_s = Seconds(best_manager);
  const double per_line = 1e9 / static_cast<double>(std::max<std::int64_t>(lines, 1));
  std::printf("input: %lld bytes, %lld lines\n", static_cast<long long>(size),
              static_cast<long long>(lines));
  std::printf("driver insert: %.3f s, %.1f MB/s, %.1f ns/line\n", driver_s, megabytes / driver_s,
              driver_s * per_line);
  std::printf("manager insert: %.3f s, %.1f MB/s, %.1f ns/line\n", manager_s, megabytes / manager_s,
              manager_s * per_line);
  std::printf("ratio: %.2f\n", manager_s / driver_s);
  return 0;
}

}  // namespace
}  // namespace morlan

int main(int argc, char** argv) {
  const std::filesystem::path directory = argc > 1 ? argv[1] : ".";
  std::int64_t bytes = morlan::DictionaryGenerator::kDefaultBytes;
  if (argc > 2) bytes = std::atoll(argv[2]) * 1024 * 1024;
  if (bytes <= 0) {
    std::fprintf(stderr, "usage: %s [directory [megabytes]]\n", argv[0]);
    return 2;
  }
  return morlan::Run(directory, bytes);
}
