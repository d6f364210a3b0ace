// Times reading a generated dictionary through a view with the filter
//   INSTRING('STRING',UPPER(F1),1,1) <> 0 AND SUB(F1,1,1) <> '!'
// against reading it through the same view without a filter.
// Usage: filter_view_bench [directory [megabytes]]
//
// The dictionary is generated as "morlan-bench-filter-input.qdl" in `directory` (default: the
// current one), read once so the timed runs find it in the page cache, and removed at the end.
// Each way runs five times, alternating; the best time of each counts. The last line printed is
// "ratio: X", the filtered read's time over the plain read's.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/bench_harness.h"
#include "bench/dictionary_generator.h"
#include "platform/runtime_error_state.h"
#include "platform/text_line_file.h"
#include "platform/view.h"

namespace morlan {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kFilter[] = "INSTRING('STRING',UPPER(F1),1,1) <> 0 AND SUB(F1,1,1) <> '!'";

struct Pass {
  std::int64_t records = 0;
  double seconds = 0;
};

// Opens `name`, reads it through a view with `filter` to its end, and closes it. False after
// printing why.
bool ReadThroughView(const std::string& name, const char* filter, Pass* pass) {
  RecordLayout layout;
  layout.AddField("INP:F1", FieldType::kText, DictionaryGenerator::kMaxLine);
  TextLineFile file(name, layout);
  file.Open(kAccessRead | kShareDenyNone);
  if (BenchHarness::Failed("open", name)) return false;
  View view(file);
  view.SetFilter(filter);
  if (BenchHarness::Failed("filter of", name)) return false;
  view.Open(0x22);
  if (BenchHarness::Failed("view of", name)) return false;

  const Clock::time_point start = Clock::now();
  std::int64_t records = 0;
  for (;;) {
    view.Next();
    if (RuntimeErrorState::code() != StatusOk) break;
    ++records;
  }
  const Clock::time_point end = Clock::now();
  if (RuntimeErrorState::code() != StatusNoRecord && BenchHarness::Failed("read", name)) {
    return false;
  }
  view.Close();
  file.Close();
  pass->records = records;
  pass->seconds = std::chrono::duration<double>(end - start).count();
  return true;
}

int Run(const std::filesystem::path& directory, std::int64_t bytes) {
  const std::string name = (directory / "morlan-bench-filter-input.qdl").string();
  std::error_code ignored;
  if (!DictionaryGenerator::WriteFile(name, bytes)) {
    std::filesystem::remove(name, ignored);
    return 1;
  }
  Pass warm;
  bool ok = ReadThroughView(name, "", &warm);
  double plain = 1e300;
  double filtered = 1e300;
  Pass with_filter;
  for (int run = 0; ok && run < BenchHarness::kRuns; ++run) {
    Pass pass;
    ok = ReadThroughView(name, "", &pass) && ReadThroughView(name, kFilter, &with_filter);
    plain = std::min(plain, pass.seconds);
    filtered = std::min(filtered, with_filter.seconds);
  }
  const std::int64_t size = std::filesystem::file_size(name, ignored);
  std::filesystem::remove(name, ignored);
  if (!ok) return 1;

  const double mb = static_cast<double>(size) / (1024 * 1024);
  std::printf("input: %lld bytes, %lld lines\n", static_cast<long long>(size),
              static_cast<long long>(warm.records));
  std::printf("filter: %s\n", kFilter);
  std::printf("records delivered: %lld\n", static_cast<long long>(with_filter.records));
  std::printf("view without filter: %.3f s, %.0f MB/s\n", plain, mb / plain);
  std::printf("view with filter: %.3f s, %.0f MB/s\n", filtered, mb / filtered);
  std::printf("ratio: %.2f\n", filtered / plain);
  return 0;
}

}  // namespace
}  // namespace morlan

int main(int argc, char** argv) { return morlan::BenchHarness::Main(argc, argv, morlan::Run); }
