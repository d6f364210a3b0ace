#include "bench/bench_harness.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <system_error>

#include "bench/dictionary_generator.h"
#include "platform/data_file.h"

namespace morlan {
namespace {

using Clock = BenchHarness::Clock;

// Reads the whole file, so the timed runs start with it in the page cache. Returns its size, or
// -1 when it cannot be read.
std::int64_t ReadAll(const std::string& name) {
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (file == nullptr) return -1;
  static char buffer[1 << 20];
  std::int64_t total = 0;
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    total += static_cast<std::int64_t>(n);
  }
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok ? total : -1;
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

// Runs `way` once into a fresh `output` and lowers `best` to its time when that is shorter.
// Returns the way's line count, or -1.
std::int64_t TimeOnce(const BenchHarness::Way& way, const std::string& input,
                      const std::string& output, Clock::duration& best) {
  std::error_code ignored;
  std::filesystem::remove(output, ignored);
  const Clock::time_point start = Clock::now();
  const std::int64_t lines = way.write(input, output);
  best = std::min(best, Clock::now() - start);
  return lines;
}

// Compare without the cleanup, so every failure can return at once and Compare removes the
// files in one place.
bool TimeWays(const std::string& input, std::int64_t bytes, const BenchHarness::Way& first,
              const std::string& first_output, const BenchHarness::Way& second,
              const std::string& second_output, BenchHarness::Result& result) {
  if (!DictionaryGenerator::WriteFile(input, bytes)) return false;
  result.bytes = ReadAll(input);
  if (result.bytes < 0) {
    std::fprintf(stderr, "cannot read %s\n", input.c_str());
    return false;
  }

  Clock::duration first_best = Clock::duration::max();
  Clock::duration second_best = Clock::duration::max();
  for (int run = 0; run < BenchHarness::kRuns; ++run) {
    const std::int64_t first_lines = TimeOnce(first, input, first_output, first_best);
    if (first_lines < 0) return false;
    const std::int64_t second_lines = TimeOnce(second, input, second_output, second_best);
    if (second_lines < 0) return false;
    if (second_lines != first_lines) {
      std::fprintf(stderr, "%s wrote %lld lines, %s %lld\n", first.name.c_str(),
                   static_cast<long long>(first_lines), second.name.c_str(),
                   static_cast<long long>(second_lines));
      return false;
    }
    result.lines = first_lines;
  }

  const bool first_same = SameContent(input, first_output);
  const bool second_same = SameContent(input, second_output);
  if (!first_same || !second_same) {
    std::fprintf(stderr, "output differs from the input:%s%s%s%s\n", first_same ? "" : " ",
                 first_same ? "" : first.name.c_str(), second_same ? "" : " ",
                 second_same ? "" : second.name.c_str());
    return false;
  }
  result.first_seconds = std::chrono::duration<double>(first_best).count();
  result.second_seconds = std::chrono::duration<double>(second_best).count();
  return true;
}

void PrintTime(const char* label, double seconds, const BenchHarness::Result& result,
               bool per_line) {
  const double megabytes = static_cast<double>(result.bytes) / 1e6;
  std::printf("%s: %.3f s, %.1f MB/s", label, seconds, megabytes / seconds);
  if (per_line) {
    const double lines = static_cast<double>(std::max<std::int64_t>(result.lines, 1));
    std::printf(", %.1f ns/line", seconds * 1e9 / lines);
  }
  std::printf("\n");
}

}  // namespace

int BenchHarness::Main(int argc, char** argv,
                       int (*run)(const std::filesystem::path& directory, std::int64_t bytes)) {
  const std::filesystem::path directory = argc > 1 ? argv[1] : ".";
  std::int64_t bytes = DictionaryGenerator::kDefaultBytes;
  if (argc > 2) {
    // Checked before scaling: a huge count would overflow the byte count.
    const long long megabytes = std::atoll(argv[2]);
    constexpr long long kMaxMegabytes = std::numeric_limits<std::int64_t>::max() >> 20;
    bytes = megabytes > 0 && megabytes <= kMaxMegabytes ? std::int64_t{megabytes} << 20 : 0;
  }
  if (bytes <= 0) {
    std::fprintf(stderr, "usage: %s [directory [megabytes]]\n", argv[0]);
    return 2;
  }
  return run(directory, bytes);
}

bool BenchHarness::Failed(const char* what, const std::string& name) {
  const StatusCode code = RuntimeErrorState::code();
  if (code == StatusOk) return false;
  std::fprintf(stderr, "%s %s failed: %d %.*s %.*s\n", what, name.c_str(), code,
               static_cast<int>(RuntimeErrorState::text().size()), RuntimeErrorState::text().data(),
               static_cast<int>(RuntimeErrorState::driver_text().size()),
               RuntimeErrorState::driver_text().data());
  return true;
}

RecordLayout BenchHarness::LineLayout() {
  RecordLayout layout;
  layout.AddField("LINE", FieldType::kText, 255);
  return layout;
}

std::int64_t BenchHarness::TextLineCopy(const std::string& from, const std::string& to) {
  TextLineFile in(from, LineLayout());
  TextLineFile out(to, LineLayout());
  out.Create();
  if (Failed("create", to)) return -1;
  in.Open(kShareDenyNone | kAccessRead);
  if (Failed("open", from)) return -1;
  out.Open(kShareDenyNone | kAccessReadWrite);
  if (Failed("open", to)) return -1;

  const std::int64_t lines = CopyLines(in, out.record(), [&] {
    out.Add();
    return !Failed("add", to);
  });
  if (lines < 0) return -1;
  in.Close();
  if (Failed("close", from)) return -1;
  out.Close();
  if (Failed("close", to)) return -1;
  return lines;
}

bool BenchHarness::Compare(const std::filesystem::path& directory, std::int64_t bytes,
                           const std::string& tag, const Way& first, const Way& second,
                           Result& result) {
  const std::string prefix = "morlan-bench-" + tag + "-";
  const std::string input = (directory / (prefix + "input.qdl")).string();
  const std::string first_output = (directory / (prefix + first.name + ".qdl")).string();
  const std::string second_output = (directory / (prefix + second.name + ".qdl")).string();
  const bool ok = TimeWays(input, bytes, first, first_output, second, second_output, result);
  std::error_code ignored;
  for (const std::string& name : {input, first_output, second_output}) {
    std::filesystem::remove(name, ignored);
  }
  return ok;
}

void BenchHarness::Print(const Result& result, const char* first_label, const char* second_label,
                         bool per_line, double ratio) {
  std::printf("input: %lld bytes, %lld lines\n", static_cast<long long>(result.bytes),
              static_cast<long long>(result.lines));
  PrintTime(first_label, result.first_seconds, result, per_line);
  PrintTime(second_label, result.second_seconds, result, per_line);
  std::printf("ratio: %.2f\n", ratio);
}

}  // namespace morlan
