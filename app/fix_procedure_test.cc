// The fix run end to end: the person chooses "Fix QDL" on the frame, the fix procedure runs on a
// thread of its own over the real dictionary files in the test's folder, and its progress window
// is driven by its timer on the manual clock.
#include "app/fix_procedure.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/dictionary.h"
#include "app/frame_procedure.h"
#include "common/record_layout.h"
#include "gtest/gtest.h"
#include "platform/fault_injecting_file.h"
#include "platform/text_line_file.h"
#include "platform/user_action.h"
#include "testing/dictionary_fixture.h"
#include "testing/read_hook_file.h"
#include "testing/read_only_folder.h"
#include "testing/unwritable_file.h"

namespace morlan {
namespace {

using testing::DictionaryFixture;
using testing::kProgressId;
using testing::ReadHookFile;

class FixProcedureTest : public DictionaryFixture {};

TEST_F(FixProcedureTest, FixQdlRewritesEveryLineInOrderWithALiveProgressWindow) {
  dir_.Write(kInputFileName, SampleInput());
  SetUpGlobals();
  RunFrame({UserAction::Click(kMenuFixQdl)});

  EXPECT_EQ(Output(), SampleOutput());
  EXPECT_TRUE(Captions().empty());
  EXPECT_EQ(dir_.Read(kInputFileName), SampleInput());

  const std::vector<WindowSnapshot> shown = Shown(kProgressId);
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.front().caption, "Processing Records");
  EXPECT_EQ(Text(shown.front(), kProgressPercentText), "0% Completed");
  EXPECT_EQ(Text(shown.back(), kProgressPercentText), "100% Complete");
  EXPECT_EQ(Value(shown.back(), kProgressThermometer), 100);
  // The text changes only with the whole percentage: at most 100 rewrites after the first.
  std::size_t rewrites = 0;
  for (std::size_t i = 1; i < shown.size(); ++i) {
    if (Text(shown[i], kProgressPercentText) != Text(shown[i - 1], kProgressPercentText)) {
      ++rewrites;
    }
  }
  EXPECT_GE(rewrites, 1u);
  EXPECT_LE(rewrites, 100u);
}

TEST_F(FixProcedureTest, TwoRunsInARowWriteTheSameFile) {
  dir_.Write(kInputFileName, SampleInput());
  SetUpGlobals();
  RunFrame({UserAction::Click(kMenuFixQdl), UserAction::Click(kMenuFixQdl)});

  EXPECT_EQ(Output(), SampleOutput());
  EXPECT_TRUE(Captions().empty());
  // Both runs counted from 0%: the second one's window opened at 0 too.
  int opened_at_zero = 0;
  const std::vector<WindowSnapshot> shown = Shown(kProgressId);
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const bool first_of_window = i == 0 || shown[i].id != shown[i - 1].id;
    if (first_of_window && Value(shown[i], kProgressThermometer) == 0) ++opened_at_zero;
  }
  EXPECT_EQ(opened_at_zero, 2);
}

TEST_F(FixProcedureTest, AnEmptyOrMissingInputEndsWithNoRecordsAndAnEmptyOutput) {
  for (const bool missing : {false, true}) {
    SCOPED_TRACE(missing ? "missing" : "empty");
    presenter_.Clear();
    if (!missing) dir_.Write(kInputFileName, "");
    dir_.Write(kOutputFileName, "an old line\n");
    SetUpGlobals();
    RunFrame({UserAction::Click(kMenuFixQdl)});

    EXPECT_EQ(Captions(), std::vector<std::string>{"No Records"});
    EXPECT_TRUE(OutputExists());
    EXPECT_EQ(Output(), "");
    EXPECT_TRUE(std::filesystem::exists(dir_.File(kInputFileName)));
    EXPECT_EQ(dir_.Read(kInputFileName), "");
    std::filesystem::remove(dir_.File(kInputFileName));
  }
}

TEST_F(FixProcedureTest, CancelKeepsExactlyTheLinesOfTheBatchesDone) {
  dir_.Write(kInputFileName, SampleInput());
  // Every read takes a tenth of a second: the batches settle at 8 lines (doubling from 1 while a
  // batch is quick, halving when the event took more than 1.5 slices). Cancel pressed while line
  // 19 is handled is seen once its batch (lines 17 to 24) is done.
  ReadHookFile& input = HookedInput([this](int reads) {
    clock_.Advance(10);
    if (reads == 20) {
      EXPECT_TRUE(Press(kProgressCancel));
    }
  });
  SetUpGlobals(&input);
  RunFrame({UserAction::Click(kMenuFixQdl)});

  EXPECT_EQ(Output(), Lines(SampleOutput(), 24));
  EXPECT_TRUE(Captions().empty());
  EXPECT_EQ(input.reads(), 25);
}

TEST_F(FixProcedureTest, TheRunGoesFromBatchToBatchWithoutIdling) {
  dir_.Write(kInputFileName, SampleInput());
  // Batches of 8 lines of a tenth of a second each take 0.8 s: the timer must be due again by
  // then, or the run waits for it after every batch.
  ReadHookFile& input = HookedInput([this](int) { clock_.Advance(10); });
  SetUpGlobals(&input);
  const std::int64_t start = clock_.Now();
  RunFrame({UserAction::Click(kMenuFixQdl)});

  EXPECT_EQ(Output(), SampleOutput());
  const std::int64_t working = std::int64_t{10} * input.reads();
  const std::int64_t batches = input.reads() / 8 + 1;
  EXPECT_LE(clock_.Now() - start, working + batches) << "the run idled between batches";
}

TEST_F(FixProcedureTest, BatchesDoubleWhileQuickAndHalveWhenSlow) {
  // Reads of a hundredth of a second each for the first 65 lines, then of a whole second: the
  // first event doubles its batch to 64 lines; the next one, slow, still handles the 128 it was
  // given and then halves, so the batches go 64, 128, 64, 32, 16.
  std::string input_text;
  std::string expected;
  const std::vector<std::string> in = SplitLines(SampleInput());
  const std::vector<std::string> out = SplitLines(SampleOutput());
  for (std::size_t i = 0; i < 400; ++i) {
    input_text += in[i % in.size()];
    expected += out[i % out.size()];
  }
  dir_.Write(kInputFileName, input_text);
  struct Case {
    int cancel_at_read;
    std::size_t lines_kept;
  };
  for (const Case c :
       {Case{10, 64}, Case{70, 192}, Case{200, 256}, Case{260, 288}, Case{290, 304}}) {
    SCOPED_TRACE(c.cancel_at_read);
    ReadHookFile hooked(InpFile(), [&](int reads) {
      clock_.Advance(reads <= 65 ? 1 : 100);
      if (reads == c.cancel_at_read) {
        EXPECT_TRUE(Press(kProgressCancel));
      }
    });
    SetUpGlobals(&hooked);
    RunFrame({UserAction::Click(kMenuFixQdl)});
    EXPECT_EQ(Output(), Lines(expected, c.lines_kept));
    KillDictionary();
  }
}

TEST_F(FixProcedureTest, ARefusedWriteStopsTheRunWithOneMessageAndTheLinesBeforeIt) {
  dir_.Write(kInputFileName, SampleInput());
  // The driver's write failures stick: once one line is lost, every later Add fails too, and so
  // does the Close of that open.
  FaultInjectingFile& output = FaultyOutput();
  const InjectedFault no_space = InjectedFault::Driver("28", "No space left on device");
  output.FailAfter(FileOperation::kAdd, 40, no_space, FaultDuration::kPersistent);
  output.FailOnce(FileOperation::kClose, no_space);
  SetUpGlobals(nullptr, &output);
  RunFrame({UserAction::Click(kMenuFixQdl)});

  EXPECT_EQ(Captions(), std::vector<std::string>{"Record Insert Error"});
  EXPECT_EQ(Output(), Lines(SampleOutput(), 40));
  EXPECT_EQ(output.calls(FileOperation::kAdd), 41);
  const std::vector<WindowSnapshot> shown = Shown(kProgressId);
  ASSERT_FALSE(shown.empty());
  EXPECT_NE(Text(shown.back(), kProgressPercentText), "100% Complete");
}

TEST_F(FixProcedureTest, AnOverlongLineEndsTheRunWithTheDriversReason) {
  std::vector<std::string> in = SplitLines(SampleInput());
  in.insert(in.begin() + 30, std::string(256, 'X') + "\n");
  std::string text;
  for (const std::string& line : in) text += line;
  dir_.Write(kInputFileName, text);
  SetUpGlobals();
  RunFrame({UserAction::Click(kMenuFixQdl)});

  ASSERT_EQ(Captions(), std::vector<std::string>{"Record Retrieval Error"});
  EXPECT_NE(presenter_.message_boxes()[0].text.find("Line 31 is longer than 255 characters"),
            std::string::npos)
      << presenter_.message_boxes()[0].text;
  EXPECT_EQ(Output(), Lines(SampleOutput(), 30));
  EXPECT_EQ(dir_.Read(kInputFileName), text);
}

TEST_F(FixProcedureTest, AReadOnlyInputIsReadAfterTheNotice) {
  const std::string input = dir_.Write(kInputFileName, SampleInput());
  const testing::UnwritableFile unwritable(input);
  if (!unwritable.made()) GTEST_SKIP() << "cannot make a file unwritable here";
  SetUpGlobals();
  RunFrame({UserAction::Click(kMenuFixQdl)});

  EXPECT_EQ(Captions(), std::vector<std::string>{"Access Denied"});
  EXPECT_EQ(Output(), SampleOutput());
}

TEST_F(FixProcedureTest, AnOutputThatCannotBeRemovedIsReportedAndNothingIsWritten) {
  dir_.Write(kInputFileName, SampleInput());
  const std::string old_output = dir_.Write(kOutputFileName, "old line\n");
  // Removing fails with access denied, as for a folder the person may not change.
  FaultInjectingFile& output = FaultyOutput();
  output.FailOnce(FileOperation::kRemove, StatusAccessDenied);
  SetUpGlobals(nullptr, &output);
  RunFrame({UserAction::Click(kMenuFixQdl)});

  ASSERT_EQ(Captions(), std::vector<std::string>{"File Removal Error"});
  EXPECT_NE(presenter_.message_boxes()[0].text.find(kOutputFileName), std::string::npos)
      << presenter_.message_boxes()[0].text;
  EXPECT_EQ(Output(), "old line\n");
  EXPECT_EQ(output.calls(FileOperation::kAdd), 0);
  EXPECT_TRUE(Shown(kProgressId).empty());
}

TEST_F(FixProcedureTest, AnOutputInAFolderThatRefusesRemovalsIsKeptAndReported) {
  dir_.Write(kInputFileName, SampleInput());
  dir_.Write(kOutputFileName, "old line\n");
  const testing::ReadOnlyFolder folder(dir_.path().string());
  if (!folder.made()) GTEST_SKIP() << "cannot make a folder read-only here";
  SetUpGlobals();
  RunFrame({UserAction::Click(kMenuFixQdl)});

  ASSERT_EQ(Captions(), std::vector<std::string>{"File Removal Error"});
  // Which file, and why.
  const std::string text = presenter_.message_boxes()[0].text;
  EXPECT_NE(text.find(kOutputFileName), std::string::npos) << text;
  EXPECT_NE(text.find("Access denied"), std::string::npos) << text;
  EXPECT_EQ(Output(), "old line\n");
}

TEST_F(FixProcedureTest, AnOutputThisProcessHoldsOpenIsKeptAndReported) {
  dir_.Write(kInputFileName, SampleInput());
  dir_.Write(kOutputFileName, "old line\n");
  RecordLayout layout;
  layout.AddField("F1", FieldType::kText, kDictionaryLineWidth);
  TextLineFile holder(std::string(kOutputFileName), layout);
  holder.Open(kAccessRead | kShareDenyNone);
  ASSERT_TRUE(holder.IsOpen());
  SetUpGlobals();
  RunFrame({UserAction::Click(kMenuFixQdl)});
  holder.Close();

  EXPECT_EQ(Captions(), std::vector<std::string>{"File Removal Error"});
  EXPECT_EQ(Output(), "old line\n");
}

}  // namespace
}  // namespace morlan
