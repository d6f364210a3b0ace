// Copies a generated dictionary line by line through TextLineFile and through plain C stdio, and
// prints both times. Usage: driver_copy_bench [directory [megabytes]]
//
// The files go into `directory` (default: the current one) and are removed at the end. Each copy
// runs five times, alternating, after one read that brings the input into the page cache; the
// best time of each counts. Both copies must give back the input byte for byte. The last line
// printed is "ratio: X", the driver's time over stdio's.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench/bench_harness.h"

namespace morlan {
namespace {

// Plain C stdio: fgets and fputs. Returns the number of lines, or -1 after printing why.
std::int64_t StdioCopy(const std::string& from, const std::string& to) {
  std::FILE* in = std::fopen(from.c_str(), "rb");
  std::FILE* out = in == nullptr ? nullptr : std::fopen(to.c_str(), "wb");
  bool ok = out != nullptr;
  char buffer[4096];
  std::int64_t lines = 0;
  while (ok && std::fgets(buffer, sizeof buffer, in) != nullptr) {
    ok = std::fputs(buffer, out) >= 0;
    ++lines;
  }
  if (in != nullptr && std::ferror(in)) ok = false;
  if (in != nullptr) std::fclose(in);
  if (out != nullptr && std::fclose(out) != 0) ok = false;
  if (ok) return lines;
  std::fprintf(stderr, "stdio copy failed: %s\n", std::strerror(errno));
  return -1;
}

int Run(const std::filesystem::path& directory, std::int64_t bytes) {
  BenchHarness::Result result;
  if (!BenchHarness::Compare(directory, bytes, "copy", {"driver", BenchHarness::TextLineCopy},
                             {"stdio", StdioCopy}, result)) {
    return 1;
  }
  BenchHarness::Print(result, "driver copy", "stdio copy", false,
                      result.first_seconds / result.second_seconds);
  return 0;
}

}  // namespace
}  // namespace morlan

int main(int argc, char** argv) { return morlan::BenchHarness::Main(argc, argv, morlan::Run); }
