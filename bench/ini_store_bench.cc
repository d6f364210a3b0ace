// Times the INI store's start and end with the largest list count it accepts.
// Usage: ini_store_bench [directory]
//
// Writes "morlan-bench.INI" in `directory` (default: the current one) holding only the count
// Sectors=65535 in the reserved section, then runs Init (every element missing, so each loads
// unknown columns) and Kill (which writes all 65535 elements back). Each of five runs starts from
// that file; the best time of each step counts. The file is removed at the end. Prints the
// times and last "init+kill: S s"; the target is under 1 s.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "settings/ini_store.h"

namespace morlan {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRuns = 5;
constexpr int kCount = 65535;

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

bool WriteStart(const std::string& name) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out << "[" << IniStore::kReservedSection << "]\n"
      << IniStore::kSectorsEntry << "=" << kCount << "\n";
  return static_cast<bool>(out.flush());
}

int Run(const std::filesystem::path& directory) {
  const std::string name = (directory / "morlan-bench.INI").string();
  double best_init = 1e9;
  double best_kill = 1e9;
  double best_total = 1e9;
  for (int run = 0; run < kRuns; ++run) {
    if (!WriteStart(name)) {
      std::fprintf(stderr, "cannot write %s\n", name.c_str());
      return 1;
    }
    IniStore store;
    const Clock::time_point start = Clock::now();
    store.Init(name);
    const Clock::time_point loaded = Clock::now();
    const std::size_t count = store.SECTORS != nullptr ? store.SECTORS->size() : 0;
    store.Kill();
    const Clock::time_point end = Clock::now();

    // The list must have been loaded whole and written back whole.
    const std::string last = "Sectors_" + std::to_string(kCount);
    const std::string unknown(IniStore::kUnknown);
    if (count != kCount ||
        store.Fetch(IniStore::kReservedSection, last) != unknown + "," + unknown + "," + unknown) {
      std::fprintf(stderr, "the list of %d elements did not load and save whole (%zu loaded)\n",
                   kCount, count);
      std::filesystem::remove(name);
      return 1;
    }
    best_init = std::min(best_init, Seconds(loaded - start));
    best_kill = std::min(best_kill, Seconds(end - loaded));
    best_total = std::min(best_total, Seconds(end - start));
  }
  std::error_code ignored;
  std::filesystem::remove(name, ignored);
  std::printf("elements: %d\n", kCount);
  std::printf("init: %.3f s\n", best_init);
  std::printf("kill: %.3f s\n", best_kill);
  std::printf("init+kill: %.3f s\n", best_total);
  return 0;
}

}  // namespace
}  // namespace morlan

int main(int argc, char** argv) {
  if (argc > 2) {
    std::fprintf(stderr, "usage: ini_store_bench [directory]\n");
    return 2;
  }
  return morlan::Run(argc == 2 ? std::filesystem::path(argv[1]) : std::filesystem::current_path());
}
