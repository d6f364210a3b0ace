// Times RewriteDeclaration over the lines of a generated dictionary held in memory.
// Usage: rewrite_bench [directory [megabytes]]
//
// Reuses "morlan-bench-dictionary.qdl" in `directory` (default: the current one) when it is
// there; otherwise generates it and removes it at the end. Prints the best of a few passes in
// millions of lines per second, and a checksum of the rewritten lines.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/rewrite_declaration.h"
#include "bench/bench_harness.h"
#include "bench/dictionary_generator.h"
#include "common/fixed_text.h"

namespace morlan {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPasses = 5;

// Reads every line of `name` into a fixed-width field, as the copy loop's record holds it.
bool LoadLines(const std::string& name, std::vector<FixedText<255>>& lines) {
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (file == nullptr) return false;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, file) != nullptr) {
    std::size_t n = std::strlen(buffer);
    if (n > 0 && buffer[n - 1] == '\n') --n;
    if (n > 0 && buffer[n - 1] == '\r') --n;
    lines.emplace_back(std::string_view(buffer, n));
  }
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

int Run(const std::filesystem::path& directory, std::int64_t bytes) {
  const std::string name = (directory / "morlan-bench-dictionary.qdl").string();
  std::error_code ignored;
  const bool generated = !std::filesystem::exists(name, ignored);
  if (generated && !DictionaryGenerator::WriteFile(name, bytes)) {
    std::filesystem::remove(name, ignored);
    return 1;
  }

  std::vector<FixedText<255>> lines;
  const bool loaded = LoadLines(name, lines);
  if (generated) std::filesystem::remove(name, ignored);
  if (!loaded || lines.empty()) {
    std::fprintf(stderr, "cannot read %s\n", name.c_str());
    return 1;
  }

  FixedText<255> output;
  FixedText<32> label;
  Clock::duration best = Clock::duration::max();
  std::uint64_t checksum = 0;
  for (int pass = 0; pass < kPasses; ++pass) {
    // A cheap mix of each output, so every call's result is used.
    std::uint64_t sum = 0;
    const Clock::time_point start = Clock::now();
    for (const FixedText<255>& line : lines) {
      RewriteDeclaration(line, output, label);
      std::uint64_t head;
      std::uint64_t middle;
      std::memcpy(&head, output.data(), sizeof head);
      std::memcpy(&middle, output.data() + 24, sizeof middle);
      sum = (sum ^ head ^ (middle << 1)) * 0x100000001B3ULL;
    }
    best = std::min(best, Clock::now() - start);
    checksum = sum;
  }

  const double seconds = std::chrono::duration<double>(best).count();
  const double count = static_cast<double>(lines.size());
  std::printf("lines: %zu, passes: %d\n", lines.size(), kPasses);
  std::printf("best pass: %.3f s, %.1f ns per line\n", seconds, seconds * 1e9 / count);
  std::printf("checksum: %016llx\n", static_cast<unsigned long long>(checksum));
  std::printf("rewrite: %.2f million lines/s\n", count / seconds / 1e6);
  return 0;
}

}  // namespace
}  // namespace morlan

int main(int argc, char** argv) { return morlan::BenchHarness::Main(argc, argv, morlan::Run); }
