// The record process read directly: counting, the three measures of progress, the percent text,
// child levels, step managers and queries, over the in-memory keyed driver and the text-line
// driver.
#include "process/record_process.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/text_compare.h"
#include "data/file_manager.h"
#include "platform/event_loop.h"
#include "platform/memory_keyed_file.h"
#include "platform/view.h"
#include "platform/window.h"
#include "process/query_dialog.h"
#include "process/step_manager.h"
#include "testing/allocation_counter.h"
#include "testing/data_fixture.h"
#include "testing/progress_window.h"
#include "testing/record_inputs.h"
#include "testing/records.h"
#include "testing/temp_dir.h"

namespace morlan {
namespace {

using testing::LineInput;
using testing::MemoryInput;
using testing::RecordInput;

constexpr int kPercentText = 3;

class RecordProcessTest : public testing::DataFixture<> {
 protected:
  void SetUp() override {
    DataFixture::SetUp();
    window_.SetText(kPercentText, "0% Completed");
  }

  // Init over `input` with the progress byte (or none), one sort order, this test's window; Reset.
  void Start(RecordProcess& process, RecordInput& input, bool with_progress = true) {
    process.Init(&input.view, &input.relations, kPercentText, 0,
                 with_progress ? &progress_ : nullptr);
    process.AddSortOrder(nullptr);
    process.WINDOW = &window_;
    process.Reset();
  }

  // Next(1) until it answers non-zero: the progress byte after each record.
  std::vector<int> ReadAll(RecordProcess& process) {
    std::vector<int> seen;
    while (process.Next(1) == FatalityNone && seen.size() < 100000) seen.push_back(progress_);
    return seen;
  }

  std::string PercentText() const { return std::string(window_.text(kPercentText)); }

  testing::TempDir dir_;
  Window window_{testing::ProgressWindowDefinition("Progress...")};
  std::uint8_t progress_ = 77;  // Init sets it to 0
};

TEST_F(RecordProcessTest, ADriverThatCountsRecordsGivesTheRecordsShare) {
  MemoryInput memory(&errors_, 8);
  RecordProcess process;
  Start(process, memory.input);
  EXPECT_EQ(process.RECORDSTOPROCESS, 8);
  EXPECT_EQ(process.FILESIZE, 0);
  // The fraction is dropped: 100 only once every record is read.
  EXPECT_EQ(ReadAll(process), (std::vector<int>{12, 25, 37, 50, 62, 75, 87, 100}));
  EXPECT_EQ(process.RECORDSPROCESSED, 8);
  EXPECT_EQ(process.BYTESREAD, 0);
  EXPECT_EQ(PercentText(), "100% Complete");
  EXPECT_TRUE(presenter_.message_boxes().empty());
  process.Kill();
}

TEST_F(RecordProcessTest, ALineFileGivesTheBytesShareAndOneHundredOnlyAtItsEnd) {
  // 100, 99 and 1 bytes: 50%, 99.5% and 100%.
  LineInput lines(
      &errors_, dir_.Write("in.qdl", std::string(99, 'x') + "\n" + std::string(98, 'y') + "\n\n"));
  RecordProcess process;
  Start(process, lines.input);
  EXPECT_EQ(process.RECORDSTOPROCESS, 0);
  EXPECT_EQ(process.FILESIZE, 200);
  EXPECT_EQ(ReadAll(process), (std::vector<int>{50, 99, 100}));
  EXPECT_EQ(process.BYTESREAD, 200);

  // A second run starts again from nothing.
  process.Reset();
  EXPECT_EQ(process.BYTESREAD, 0);
  ASSERT_EQ(process.Next(1), FatalityNone);
  EXPECT_EQ(progress_, 50);
  EXPECT_EQ(PercentText(), "50% Complete");
  process.Kill();
}

TEST_F(RecordProcessTest, BytesBeyondTheSizeStayAtOneHundred) {
  const std::string name = dir_.Write("in.qdl", "aaaa\nbbbb\n");
  LineInput lines(&errors_, name);
  RecordProcess process;
  Start(process, lines.input);
  // The file grows after its size was taken.
  std::ofstream(name, std::ios::app) << "cccc\ndddd\n";
  EXPECT_EQ(ReadAll(process), (std::vector<int>{50, 100, 100, 100}));
  EXPECT_EQ(process.BYTESREAD, 20);
  process.Kill();
}

TEST_F(RecordProcessTest, CountsBeyondThirtyTwoBitsKeepTheirShare) {
  // 100 lines of 10 bytes reported as 16 GiB: each line is 1%.
  std::string text;
  for (int i = 0; i < 100; ++i) text += "line " + std::to_string(1000 + i) + "\n";
  LineInput huge(&errors_, dir_.Write("huge.qdl", text), std::int64_t{1} << 24);
  RecordProcess process;
  Start(process, huge.input);
  EXPECT_EQ(process.FILESIZE, std::int64_t{1000} << 24);
  std::vector<int> expected;
  for (int p = 1; p <= 100; ++p) expected.push_back(p);
  EXPECT_EQ(ReadAll(process), expected);
  process.Kill();

  // A record count past 2^32: 100 records read are no share worth a percent.
  LineInput many(&errors_, dir_.Write("many.qdl", text), 1, (std::int64_t{1} << 32) + 100);
  RecordProcess counted;
  Start(counted, many.input);
  EXPECT_EQ(counted.RECORDSTOPROCESS, (std::int64_t{1} << 32) + 100);
  EXPECT_EQ(ReadAll(counted), std::vector<int>(100, 0));
  counted.Kill();
}

TEST_F(RecordProcessTest, WithoutACountOrASizeThePercentageStaysAtZero) {
  // A driver that reports neither records nor bytes.
  LineInput lines(&errors_, dir_.Write("in.qdl", "a\nb\nc\n"), 0);
  RecordProcess process;
  Start(process, lines.input);
  EXPECT_EQ(ReadAll(process), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(PercentText(), "0% Completed");
  process.Kill();
}

TEST_F(RecordProcessTest, WithoutAProgressByteRecordsAreCountedAndNoTextWritten) {
  MemoryInput memory(&errors_, 3);
  RecordProcess process;
  Start(process, memory.input, false);
  EXPECT_EQ(process.Next(1), FatalityNone);
  EXPECT_EQ(process.Next(1), FatalityNone);
  EXPECT_EQ(process.Next(0), FatalityNone);  // not counted
  EXPECT_EQ(process.Next(1), FatalityNotify);
  EXPECT_EQ(process.RECORDSPROCESSED, 2);
  EXPECT_EQ(PercentText(), "0% Completed");
  process.Kill();
}

TEST_F(RecordProcessTest, AnEmptyInputCountsNothingAndKillEndsQuickScanning) {
  LineInput lines(&errors_, dir_.Write("in.qdl", ""));
  RecordProcess process;
  Start(process, lines.input);
  EXPECT_EQ(process.Next(1), FatalityNotify);
  EXPECT_EQ(process.RECORDSPROCESSED, 0);
  EXPECT_EQ(progress_, 0);
  EXPECT_EQ(PercentText(), "0% Completed");
  process.Kill();
  EXPECT_EQ(lines.file.sent_options(), std::vector<std::string>{"QUICKSCAN=off"});
  EXPECT_TRUE(presenter_.message_boxes().empty());
}

TEST_F(RecordProcessTest, ChildRecordsAreCountedButMoveNeitherBytesNorPercentage) {
  LineInput parent(&errors_, dir_.Write("parent.qdl", "aaa\nbbb\n"));
  MemoryInput child_file(&errors_, 3);
  ViewReader child;
  child.Init(&child_file.input.view, &child_file.input.relations, nullptr);
  child.AddSortOrder(nullptr);
  RecordProcess process;
  process.AddChild(&child);
  Start(process, parent.input);

  std::vector<std::string> read;
  std::vector<int> shown;
  while (process.Next(1) == FatalityNone && read.size() < 20) {
    read.push_back(process.CHILDREAD == 0 ? testing::RecordText(parent.disk)
                                          : testing::RecordText(child_file.file));
    shown.push_back(progress_);
  }
  EXPECT_EQ(read, (std::vector<std::string>{"aaa", "line 1", "line 2", "line 3", "bbb", "line 1",
                                            "line 2", "line 3"}));
  EXPECT_EQ(shown, (std::vector<int>{50, 50, 50, 50, 100, 100, 100, 100}));
  EXPECT_EQ(process.RECORDSPROCESSED, 8);
  EXPECT_EQ(process.BYTESREAD, 8);
  process.Kill();
  child.Kill();
}

TEST_F(RecordProcessTest, ThePercentTextGoesToTheProcesssOwnWindowOnly) {
  // Another window is the thread's current one while the process reads.
  Window other(testing::ProgressWindowDefinition("Other"));
  other.SetText(kPercentText, "other text");
  EventLoop other_loop(other);
  MemoryInput memory(&errors_, 4);
  RecordProcess process;
  Start(process, memory.input);
  ASSERT_EQ(process.Next(1), FatalityNone);
  EXPECT_EQ(PercentText(), "25% Complete");
  EXPECT_EQ(other.text(kPercentText), "other text");
  process.Kill();
}

TEST_F(RecordProcessTest, ReadingAllocatesNothingAndRewritesTheTextOncePerPercent) {
  std::string text;
  for (int i = 0; i < 1000; ++i) text += "line " + std::to_string(1000 + i) + "\n";
  LineInput lines(&errors_, dir_.Write("in.qdl", text));
  RecordProcess process;
  Start(process, lines.input);
  int rewrites = 0;
  std::string last = PercentText();
  testing::AllocationCounter allocations;
  while (process.Next(1) == FatalityNone) {
    if (window_.text(kPercentText) == last) continue;
    ++rewrites;
    last.assign(window_.text(kPercentText));  // within the string's capacity: no allocation
  }
  EXPECT_EQ(allocations.count(), 0);
  EXPECT_EQ(process.RECORDSPROCESSED, 1000);
  EXPECT_EQ(rewrites, 100);
  EXPECT_EQ(last, "100% Complete");
  process.Kill();
}

// Maps the first letter to a percentage: A 0, B 25, C 50, D 75; notes what it is given.
class LetterSteps final : public StepManager {
 public:
  std::uint8_t Percentage(const FieldRef& value) override {
    values.emplace_back(ClipText(value.Get().text()));
    return static_cast<std::uint8_t>((AsciiUpper(values.back().front()) - 'A') * 25);
  }
  void Kill() override { ++kills; }
  void SetLimits(std::string_view low, std::string_view high) override {
    limits = std::string(low) + ".." + std::string(high);
  }
  std::vector<std::string> values;
  std::string limits;
  int kills = 0;
};

TEST_F(RecordProcessTest, AStepManagerMapsTheKeyValueOfEachRecord) {
  MemoryKeyedFile file(
      "CUS", testing::CustomerLayout(),
      testing::CustomerTable(
          {{1, "bob", "Oslo"}, {2, "Ann", "Rome"}, {3, "dan", "Bonn"}, {4, "Cid", "Rome"}}));
  RecordInput customers(&errors_, file);
  const FileKey* by_name = customers.manager.AddKey(
      FileKey{"CUS:BYNAME", {{testing::kCustomerName, true}}, false, false}, "By name");
  for (const std::uint8_t case_sensitive : {0, 1}) {
    LetterSteps steps;
    RecordProcess process;
    process.STEPMGR = &steps;
    process.VALUEFIELD = file.field(testing::kCustomerName);
    process.CASESENSITIVEVALUE = case_sensitive;
    process.Init(&customers.view, &customers.relations, kPercentText, 0, &progress_);
    process.AddSortOrder(by_name);
    process.WINDOW = &window_;
    process.Reset();
    // Byte order: upper-case letters first.
    EXPECT_EQ(ReadAll(process), (std::vector<int>{0, 50, 25, 75}));
    if (case_sensitive == 0) {
      EXPECT_EQ(steps.limits, "ANN..DAN");
      EXPECT_EQ(steps.values, (std::vector<std::string>{"ANN", "CID", "BOB", "DAN"}));
    } else {
      EXPECT_EQ(steps.limits, "Ann..dan");
      EXPECT_EQ(steps.values, (std::vector<std::string>{"Ann", "Cid", "bob", "dan"}));
    }
    EXPECT_EQ(testing::FieldText(file, testing::kCustomerName), "dan");  // the record as read
    process.Kill();
    process.Kill();
    EXPECT_EQ(steps.kills, 1);
  }
}

// Answers with a filter when told to.
class FixedQuery final : public QueryDialog {
 public:
  std::uint8_t Ask(std::uint8_t mode) override {
    modes.push_back(mode);
    return answer;
  }
  std::string FilterText() override { return "CUS:CITY = 'Rome'"; }
  std::uint8_t answer = 0;
  std::vector<int> modes;
};

TEST_F(RecordProcessTest, AQueryAskedForFiltersTheNextRun) {
  MemoryKeyedFile file(
      "CUS", testing::CustomerLayout(),
      testing::CustomerTable({{1, "Ann", "Rome"}, {2, "Bob", "Oslo"}, {3, "Cid", "Rome"}}));
  RecordInput customers(&errors_, file);
  FixedQuery query;
  RecordProcess process;
  process.QUERY = &query;
  Start(process, customers);
  process.RunQuery();  // declined: nothing changes
  process.Reset();
  EXPECT_EQ(ReadAll(process).size(), 3u);
  query.answer = 1;
  process.RunQuery();
  process.Reset();
  std::vector<std::string> names;
  while (process.Next(1) == FatalityNone) {
    names.push_back(testing::FieldText(file, testing::kCustomerName));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Ann", "Cid"}));
  EXPECT_EQ(query.modes, (std::vector<int>{1, 1}));
  process.Kill();
}

}  // namespace
}  // namespace morlan
