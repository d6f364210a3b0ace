// Copies a generated dictionary line by line through TextLineFile and through plain C stdio, and
// prints both times. Usage: driver_copy_bench [directory [megabytes]]
//
// The files go into `directory` (default: the current one) and are removed at the end. Each copy
// runs three times, alternating, after one read that brings the input into the page cache; the
// best time of each counts. Both copies must give back the input byte for byte. The last line
// printed is "ratio: X", the driver's time over stdio's.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench/dictionary_generator.h"
#include "common/codes.h"
#include "common/record_layout.h"
#include "platform/data_file.h"
#include "platform/runtime_error_state.h"
#include "platform/text_line_file.h"

namespace morlan {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRuns = 3;

bool Failed(const char* what, const std::string& name) {
  const StatusCode code = RuntimeErrorState::code();
  if (code == StatusOk) return false;
  std::fprintf(stderr, "%s %s failed: %d %.*s %.*s\n", what, name.c_str(), code,
               static_cast<int>(RuntimeErrorState::text().size()), RuntimeErrorState::text().data(),
               static_cast<int>(RuntimeErrorState::driver_text().size()),
               RuntimeErrorState::driver_text().data());
  return true;
}

// The framework's way: one 255-character text field per record, read with Next until 33 and
// appended to the output with Add. Returns the number of lines, or -1 on failure.
std::int64_t DriverCopy(const std::string& from, const std::string& to) {
  RecordLayout layout;
  layout.AddField("LINE", FieldType::kText, 255);
  TextLineFile in(from, layout);
  TextLineFile out(to, layout);

  out.Create();
  if (Failed("create", to)) return -1;
  in.Open(kShareDenyNone | kAccessRead);
  if (Failed("open", from)) return -1;
  out.Open(kShareDenyNone | kAccessReadWrite);
  if (Failed("open", to)) return -1;

  const char* source = in.record();
  char* target = out.record();
  const std::size_t size = in.record_size();
  std::int64_t lines = 0;
  for (;;) {
    in.Next();
    if (RuntimeErrorState::code() == StatusNoRecord) break;
    if (Failed("read", from)) return -1;
    std::memcpy(target, source, size);
    out.Add();
    if (Failed("add", to)) return -1;
    ++lines;
  }
  in.Close();
  if (Failed("close", from)) return -1;
  out.Close();
  if (Failed("close", to)) return -1;
  return lines;
}

bool StdioCopy(const std::string& from, const std::string& to) {
  std::FILE* in = std::fopen(from.c_str(), "rb");
  if (in == nullptr) return false;
  std::FILE* out = std::fopen(to.c_str(), "wb");
  if (out == nullptr) {
    std::fclose(in);
    return false;
  }
  char buffer[4096];
  bool ok = true;
  while (ok && std::fgets(buffer, sizeof buffer, in) != nullptr) {
    ok = std::fputs(buffer, out) >= 0;
  }
  if (std::ferror(in)) ok = false;
  std::fclose(in);
  if (std::fclose(out) != 0) ok = false;
  return ok;
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
  const std::string input = (directory / "morlan-bench-copy-input.qdl").string();
  const std::string driver_output = (directory / "morlan-bench-copy-driver.qdl").string();
  const std::string stdio_output = (directory / "morlan-bench-copy-stdio.qdl").string();
  const auto remove_all = [&] {
    std::error_code ignored;
    for (const std::string& name : {input, driver_output, stdio_output}) {
      std::filesystem::remove(name, ignored);
    }
  };

  if (!DictionaryGenerator::WriteFile(input, bytes)) {
    remove_all();
    return 1;
  }
  const std::int64_t size = ReadAll(input);

  Clock::duration best_driver = Clock::duration::max();
  Clock::duration best_stdio = Clock::duration::max();
  std::int64_t lines = 0;
  for (int run = 0; run < kRuns; ++run) {
    std::error_code ignored;
    std::filesystem::remove(driver_output, ignored);
    Clock::time_point start = Clock::now();
    lines = DriverCopy(input, driver_output);
    const Clock::duration driver = Clock::now() - start;
    if (lines < 0) {
      remove_all();
      return 1;
    }

    std::filesystem::remove(stdio_output, ignored);
    start = Clock::now();
    const bool stdio_ok = StdioCopy(input, stdio_output);
    const Clock::duration stdio = Clock::now() - start;
    if (!stdio_ok) {
      std::fprintf(stderr, "stdio copy failed: %s\n", std::strerror(errno));
      remove_all();
      return 1;
    }
    best_driver = std::min(best_driver, driver);
    best_stdio = std::min(best_stdio, stdio);
  }

  const bool driver_same = SameContent(input, driver_output);
  const bool stdio_same = SameContent(input, stdio_output);
  remove_all();
  if (!driver_same || !stdio_same) {
    std::fprintf(stderr, "copy differs from the input:%s%s\n", driver_same ? "" : " driver",
                 stdio_same ? "" : " stdio");
    return 1;
  }

  const double megabytes = static_cast<double>(size) / 1e6;
  const double driver_s = Seconds(best_driver);
  const double stdio_s = Seconds(best_stdio);
  std::printf("input: %lld bytes, %lld lines\n", static_cast<long long>(size),
              static_cast<long long>(lines));
  std::printf("driver copy: %.3f s, %.1f MB/s\n", driver_s, megabytes / driver_s);
  std::printf("stdio copy: %.3f s, %.1f MB/s\n", stdio_s, megabytes / stdio_s);
  std::printf("ratio: %.2f\n", driver_s / stdio_s);
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
