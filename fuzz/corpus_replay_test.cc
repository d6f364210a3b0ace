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

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

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

TEST(FuzzCorpusReplayTest, EveryFilterInputParsesOrIsRefusedAndEvaluatesTheSameTwice) {
  const std::vector<std::filesystem::path> files = CorpusFiles("filter_fuzz");
  // The seeds alone are more than this: an empty or missing folder must not pass unnoticed.
  ASSERT_GE(files.size(), 20u);
  for (const std::filesystem::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::string input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SCOPED_TRACE(file.filename().string());
    EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()),
                                     input.size()),
              0);
  }
}

}  // namespace
}  // namespace morlan
