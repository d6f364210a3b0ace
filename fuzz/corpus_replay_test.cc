// Replays every input of each fuzz target's corpus through the target's entry function, built
// here without the fuzzer: what a fuzzing run once found stays fixed, deterministically, in
// every normal test run. A breach of the target's checks traps and fails the test program.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gtest/gtest.h"

// The targets' entry functions, renamed for this program (fuzz/CMakeLists.txt).
extern "C" {
int filter_fuzz_one_input(const std::uint8_t* data, std::size_t size);
int text_line_fuzz_one_input(const std::uint8_t* data, std::size_t size);
int ini_fuzz_one_input(const std::uint8_t* data, std::size_t size);
int message_fuzz_one_input(const std::uint8_t* data, std::size_t size);
}

namespace morlan {
namespace {

std::vector<std::filesystem::path> CorpusFiles(const char* target) {
  std::vector<std::filesystem::path> files;
  const std::filesystem::path folder = std::filesystem::path(MORLAN_FUZZ_CORPUS_DIR) / target;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  return files;
}

using Entry = int (*)(const std::uint8_t*, std::size_t);

// Runs every input of `target`'s corpus through `entry`; the seeds alone are at least
// `at_least`, so an empty or missing folder does not pass unnoticed.
void ReplayCorpus(const char* target, Entry entry, std::size_t at_least) {
  const std::vector<std::filesystem::path> files = CorpusFiles(target);
  ASSERT_GE(files.size(), at_least);
  for (const std::filesystem::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::string input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SCOPED_TRACE(file.filename().string());
    EXPECT_EQ(entry(reinterpret_cast<const std::uint8_t*>(input.data()), input.size()), 0);
  }
}

TEST(FuzzCorpusReplayTest, EveryFilterInputParsesOrIsRefusedAndEvaluatesTheSameTwice) {
  ReplayCorpus("filter_fuzz", filter_fuzz_one_input, 20);
}

TEST(FuzzCorpusReplayTest, EveryTextLineInputReadsAsItsLinesAgainAndAppends) {
  ReplayCorpus("text_line_fuzz", text_line_fuzz_one_input, 10);
}

TEST(FuzzCorpusReplayTest, EverySettingsInputUpdatesOneEntryAndKeepsTheRest) {
  ReplayCorpus("ini_fuzz", ini_fuzz_one_input, 10);
}

TEST(FuzzCorpusReplayTest, EveryMessageInputExpandsWithinBoundsAndInsertsValuesAsTheyAre) {
  ReplayCorpus("message_fuzz", message_fuzz_one_input, 10);
}

}  // namespace
}  // namespace morlan
