#include "errors/error_log_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/runtime_error_state.h"
#include "testing/temp_dir.h"

namespace morlan {
namespace {

class ErrorLogFileTest : public ::testing::Test {
 protected:
  std::string LogName() const { return dir_.File("KWTError.Log"); }
  std::string Content() const { return dir_.Read("KWTError.Log"); }
  bool LogExists() const { return std::filesystem::exists(LogName()); }

  morlan::testing::TempDir dir_;
};

TEST_F(ErrorLogFileTest, OpenCreatesAMissingFileAndLinesAreAppendedAcrossOpens) {
  ErrorLogFile log(LogName());
  EXPECT_FALSE(LogExists()) << "nothing touched before the first open";
  EXPECT_EQ(log.Open(false), 0);
  EXPECT_TRUE(LogExists());
  EXPECT_EQ(log.AppendLine("first | with bar"), 0);
  EXPECT_EQ(log.Close(false), 0);
  EXPECT_FALSE(log.is_open());

  EXPECT_EQ(log.Open(false), 0);
  EXPECT_EQ(log.AppendLine("second"), 0);
  EXPECT_EQ(log.Close(false), 0);
  EXPECT_EQ(Content(), "first | with bar\nsecond\n");
}

TEST_F(ErrorLogFileTest, ExistingContentIsKept) {
  dir_.Write("KWTError.Log", "earlier\n");
  ErrorLogFile log(LogName());
  ASSERT_EQ(log.Open(false), 0);
  ASSERT_EQ(log.AppendLine("later"), 0);
  ASSERT_EQ(log.Close(false), 0);
  EXPECT_EQ(Content(), "earlier\nlater\n");
}

TEST_F(ErrorLogFileTest, LineIsCutAt1024Characters) {
  ErrorLogFile log(LogName());
  ASSERT_EQ(log.Open(false), 0);
  ASSERT_EQ(log.AppendLine(std::string(1000, 'a') + std::string(100, 'b')), 0);
  ASSERT_EQ(log.Close(false), 0);
  EXPECT_EQ(Content(), std::string(1000, 'a') + std::string(24, 'b') + "\n");
}

TEST_F(ErrorLogFileTest, UsageCountsNestedOpensAndOnlyTheLastCloseClosesTheFile) {
  ErrorLogFile log(LogName());
  ASSERT_EQ(log.Open(false), 0);
  ASSERT_EQ(log.Open(false), 0);
  EXPECT_EQ(log.usage(), 2);
  EXPECT_EQ(log.Close(false), 0);
  EXPECT_EQ(log.usage(), 1);
  EXPECT_TRUE(log.is_open());
  EXPECT_EQ(log.AppendLine("still open"), 0);
  EXPECT_EQ(log.Close(false), 0);
  EXPECT_EQ(log.usage(), 0);
  EXPECT_FALSE(log.is_open());
  EXPECT_EQ(Content(), "still open\n");

  // A close without an open is harmless.
  EXPECT_EQ(log.Close(false), 0);
  EXPECT_EQ(log.usage(), 0);
}

TEST_F(ErrorLogFileTest, ForcedCloseClosesWhateverTheUsageAndForcedOpenKeepsAnOpenLog) {
  ErrorLogFile log(LogName());
  ASSERT_EQ(log.Open(false), 0);
  EXPECT_EQ(log.Open(true), 0) << "an open log stays open";
  ASSERT_EQ(log.Open(false), 0);
  EXPECT_EQ(log.usage(), 3);
  EXPECT_EQ(log.Close(true), 0);
  EXPECT_EQ(log.usage(), 0);
  EXPECT_FALSE(log.is_open());
  EXPECT_EQ(log.Close(true), 0) << "forced close of a closed log";
}

TEST_F(ErrorLogFileTest, AppendWithoutOpenFails) {
  ErrorLogFile log(LogName());
  EXPECT_EQ(log.AppendLine("lost"), 5);
  EXPECT_FALSE(LogExists());
}

TEST_F(ErrorLogFileTest, OpenFailureLeavesTheLogClosedAndTheNextOpenTriesAgain) {
  const std::string missing_dir = dir_.File("missing");
  ErrorLogFile log(missing_dir + "/KWTError.Log");
  EXPECT_EQ(log.Open(false), 5);
  EXPECT_EQ(log.usage(), 0);
  EXPECT_EQ(log.AppendLine("lost"), 5);
  EXPECT_EQ(log.Close(false), 0);
  EXPECT_EQ(log.usage(), 0);

  std::filesystem::create_directory(missing_dir);
  EXPECT_EQ(log.Open(false), 0);
  EXPECT_EQ(log.AppendLine("kept"), 0);
  EXPECT_EQ(log.Close(false), 0);
  EXPECT_EQ(dir_.Read("missing/KWTError.Log"), "kept\n");
}

TEST_F(ErrorLogFileTest, RefusedLineFailsButTheLogStillCloses) {
  ErrorLogFile log(LogName());
  ASSERT_EQ(log.Open(false), 0);
  EXPECT_EQ(log.AppendLine("two\nlines"), 5);
  EXPECT_EQ(log.AppendLine("after"), 0);
  EXPECT_EQ(log.Close(false), 0);
  EXPECT_EQ(Content(), "after\n");
}

TEST_F(ErrorLogFileTest, DestructionClosesAndWritesOutAnOpenLog) {
  {
    ErrorLogFile log(LogName());
    ASSERT_EQ(log.Open(false), 0);
    ASSERT_EQ(log.AppendLine("flushed on disposal"), 0);
  }
  EXPECT_EQ(Content(), "flushed on disposal\n");
}

}  // namespace
}  // namespace morlan
