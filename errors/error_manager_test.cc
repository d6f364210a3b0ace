#include "errors/error_manager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/headless_presenter.h"
#include "platform/manual_clock.h"
#include "platform/runtime.h"
#include "platform/runtime_error_state.h"
#include "testing/temp_dir.h"

namespace morlan {
namespace {

struct TableRow final {
  ErrorId id;
  Level fatality;
  std::string title;
  std::string message;
};

// Builds an application's own table in the encoded block format.
std::vector<std::uint8_t> Encode(const std::vector<TableRow>& rows) {
  std::vector<std::uint8_t> block = {static_cast<std::uint8_t>(rows.size() & 0xFF),
                                     static_cast<std::uint8_t>(rows.size() >> 8)};
  for (const TableRow& row : rows) {
    block.push_back(static_cast<std::uint8_t>(row.id & 0xFF));
    block.push_back(static_cast<std::uint8_t>(row.id >> 8));
    block.push_back(row.fatality);
    block.push_back(static_cast<std::uint8_t>(row.title.size()));
    block.insert(block.end(), row.title.begin(), row.title.end());
    block.push_back(static_cast<std::uint8_t>(row.message.size()));
    block.insert(block.end(), row.message.begin(), row.message.end());
  }
  return block;
}

class ErrorManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Runtime::InstallPresenter(&presenter_);
    Runtime::InstallClock(&clock_);
    RuntimeErrorState::SetOk();
    errors_.InitStandard();
  }

  void TearDown() override {
    errors_.Kill();
    Runtime::Reset();
  }

  // Loads a further table; the block lives as long as the fixture.
  void Load(const std::vector<TableRow>& rows) {
    tables_.push_back(Encode(rows));
    errors_.LoadMessageTable(tables_.back());
  }

  // The expanded message of a one-entry table with `message`, raised as a notification.
  std::string Expand(const std::string& message, ErrorId id = 900) {
    Load({{id, FatalityNotify, "T", message}});
    errors_.FindEntry(id);
    return errors_.ExpandMessage();
  }

  MessageBoxRequest OnlyBox() const {
    const auto boxes = presenter_.message_boxes();
    EXPECT_EQ(boxes.size(), 1u);
    return boxes.empty() ? MessageBoxRequest{} : boxes.back();
  }

  HeadlessPresenter presenter_;
  ManualClock clock_{0, 86400 * 365};
  std::deque<std::vector<std::uint8_t>> tables_;  // outlives the manager's references
  ErrorManager errors_;
};

// --- Levels, buttons and icons ---

TEST_F(ErrorManagerTest, AskShowsAYesNoQuestionAndMapsTheAnswer) {
  presenter_.ScriptAnswers({ButtonYes, ButtonNo});
  EXPECT_EQ(errors_.Raise(ErrAskCancelChanges), FatalityNone);
  EXPECT_EQ(errors_.Raise(ErrAskCancelChanges), FatalityCancelled);

  const auto boxes = presenter_.message_boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "Are you sure you want to cancel?");
  EXPECT_EQ(boxes[0].caption, "Changes will be lost!");
  EXPECT_EQ(boxes[0].icon, MessageIcon::kQuestion);
  EXPECT_EQ(boxes[0].buttons, ButtonYes + ButtonNo);
  EXPECT_EQ(boxes[0].default_button, ButtonYes);
  EXPECT_TRUE(presenter_.halts().empty());
}

TEST_F(ErrorManagerTest, NotifyShowsOkWithExclamationAndReturnsNotify) {
  EXPECT_EQ(errors_.Raise(ErrNoRecordsToProcess), FatalityNotify);
  const MessageBoxRequest box = OnlyBox();
  EXPECT_EQ(box.text, "There are no records available to process.");
  EXPECT_EQ(box.caption, "No Records");
  EXPECT_EQ(box.icon, MessageIcon::kExclamation);
  EXPECT_EQ(box.buttons, ButtonOk);
  EXPECT_EQ(box.default_button, ButtonOk);
}

TEST_F(ErrorManagerTest, HaltShowsTheMessageWithTheEndNoticeThenHalts) {
  RuntimeErrorState::Set(StatusAccessDenied);
  errors_.SetFileName("VRSQ1.qdl");
  EXPECT_EQ(errors_.Raise(ErrFileAccess), FatalityHalt);

  const MessageBoxRequest box = OnlyBox();
  EXPECT_EQ(box.text,
            "File VRSQ1.qdl could not be opened.  Error: Access denied (5)."
            "  Press OK to end this application");
  EXPECT_EQ(box.caption, "File Access Error");
  EXPECT_EQ(box.icon, MessageIcon::kExclamation);
  EXPECT_EQ(box.buttons, ButtonOk);
  const auto halts = presenter_.halts();
  ASSERT_EQ(halts.size(), 1u);
  EXPECT_EQ(halts[0].exit_code, 0);
  EXPECT_EQ(halts[0].text, "File Access Error");
}

TEST_F(ErrorManagerTest, ProgramCancelledAndOtherLevelsAreHandledLikeTheirKin) {
  Load({{901, FatalityCancelled, "Cancelled", "asked"},
        {902, 7, "Seven", "other"},
        {903, FatalityNone, "None", "quiet"}});
  EXPECT_EQ(errors_.Raise(ErrFileNotOpened), FatalityHalt);
  presenter_.ScriptAnswers({ButtonNo});
  EXPECT_EQ(errors_.Raise(901), FatalityCancelled);
  EXPECT_EQ(errors_.Raise(902), FatalityHalt);
  EXPECT_EQ(errors_.Raise(903), FatalityNone);

  const auto boxes = presenter_.message_boxes();
  ASSERT_EQ(boxes.size(), 3u) << "a FatalityNone entry shows nothing";
  EXPECT_EQ(boxes[0].text,
            "Attempt to use file () before it was opened  Press OK to end this application");
  EXPECT_EQ(boxes[1].icon, MessageIcon::kQuestion);
  EXPECT_EQ(boxes[2].text, "other  Press OK to end this application");
  const auto halts = presenter_.halts();
  ASSERT_EQ(halts.size(), 2u);
  EXPECT_EQ(halts[0].text, "File Usage Error");
  EXPECT_EQ(halts[1].text, "Seven");
}

TEST_F(ErrorManagerTest, ShowEntryMessageAsksWithTheGivenButtonsAndRecordsNothing) {
  errors_.HISTORYTHRESHOLD = -1;
  presenter_.ScriptAnswers({ButtonNo});
  EXPECT_EQ(errors_.ShowEntryMessage(ErrAskSaveChanges, 70, ButtonCancel), ButtonNo);
  const MessageBoxRequest box = OnlyBox();
  EXPECT_EQ(box.text, "Do you want to save the changes to this record?");
  EXPECT_EQ(box.caption, "Save Record");
  EXPECT_EQ(box.icon, MessageIcon::kQuestion);
  EXPECT_EQ(box.buttons, 70);
  EXPECT_EQ(box.default_button, ButtonCancel);
  EXPECT_TRUE(errors_.history().empty());
}

TEST_F(ErrorManagerTest, UnknownIdGivesAGenericNotification) {
  RuntimeErrorState::Set(StatusNotFound);
  EXPECT_EQ(errors_.Raise(777), FatalityNotify);
  const MessageBoxRequest box = OnlyBox();
  EXPECT_EQ(box.caption, "Unknown Error");
  EXPECT_NE(box.text.find("777"), std::string::npos) << box.text;
  EXPECT_NE(box.text.find("File not found (2)"), std::string::npos) << box.text;
  EXPECT_EQ(errors_.CategoryOf(777), "KWT");
  EXPECT_TRUE(presenter_.halts().empty());
}

TEST_F(ErrorManagerTest, RaisingBeforeInitOrAfterKillIsSafe) {
  ErrorManager fresh;
  EXPECT_EQ(fresh.Raise(ErrNoRecordsToProcess), FatalityNotify);
  errors_.Kill();
  errors_.Kill();
  EXPECT_EQ(errors_.Raise(ErrFileAccess), FatalityNotify);
  const auto boxes = presenter_.message_boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].caption, "Unknown Error");
  errors_.InitStandard();
}

// --- Silent mode ---

TEST_F(ErrorManagerTest, SilentShowsNothingReturnsDefaultsButStillHalts) {
  errors_.SILENT = true;
  EXPECT_EQ(errors_.Raise(ErrAskCancelChanges), FatalityCancelled) << "declined, never Yes";
  EXPECT_EQ(errors_.Raise(ErrNoRecordsToProcess), FatalityNotify);
  EXPECT_EQ(errors_.ShowEntryMessage(ErrAskSaveChanges, 70, ButtonCancel), ButtonCancel);
  EXPECT_EQ(errors_.Raise(ErrFileCreation), FatalityHalt);
  EXPECT_TRUE(presenter_.message_boxes().empty());
  const auto halts = presenter_.halts();
  ASSERT_EQ(halts.size(), 1u);
  EXPECT_EQ(halts[0].text, "File Creation Error");
}

// --- Placeholders ---

TEST_F(ErrorManagerTest, PlaceholdersAreRecognisedWholeAndWithoutRegardToCase) {
  RuntimeErrorState::SetDriverError("E17", "disk on fire");
  errors_.CaptureRuntimeError();
  errors_.SetFileName("in.qdl   ");
  errors_.RaiseWithText(ErrNntp, "extra");
  EXPECT_EQ(Expand("[%FileErrorCode][%FileError][%File][%file][%FILE]"),
            "[E17][disk on fire][in.qdl][in.qdl][in.qdl]");
  EXPECT_EQ(Expand("[%ErrorCode][%ErrorText][%Error][%message]"),
            "[90][disk on fire (E17)][File driver error][extra]");
}

TEST_F(ErrorManagerTest, ErrorTextUsesTheDriverTextOnlyForCode90) {
  RuntimeErrorState::Set(StatusNotFound);
  errors_.CaptureRuntimeError();
  EXPECT_EQ(Expand("%ErrorText/%ErrorCode"), "File not found (2)/2");
  RuntimeErrorState::SetDriverError("X9", "bad block");
  errors_.CaptureRuntimeError();
  EXPECT_EQ(Expand("%ErrorText/%ErrorCode"), "bad block (X9)/90");
}

TEST_F(ErrorManagerTest, EmptyValuesDisappearAndProcedureAndCategoryAreFilled) {
  EXPECT_EQ(Expand("a%Fieldb%Procedurec%Categoryd%Messagee", 910), "abcde");
  errors_.EnterProcedure("repqdl  ");
  errors_.AssignCategory(910, "IO");
  errors_.FindEntry(910);
  EXPECT_EQ(errors_.ExpandMessage(), "abrepqdlcIOde");
  errors_.LeaveProcedure();
}

TEST_F(ErrorManagerTest, ValuesHoldingTheirOwnPlaceholderAreInsertedOnce) {
  errors_.SetFileName("%File-%FILE");
  errors_.RaiseWithText(ErrNntp, "%MESSAGE-%message");
  EXPECT_EQ(Expand("<%File> <%Message>"), "<%File-%FILE> <%MESSAGE-%message>");
}

// A file name or extra text is shown as it is, even when it looks like a placeholder: the user
// must see the real name, not another value spliced into it.
TEST_F(ErrorManagerTest, ValuesAreNeverExpandedAgain) {
  errors_.SetFileName("%Message %Previous");
  errors_.RaiseWithText(ErrNntp, "%File %ErrorText");
  EXPECT_EQ(Expand("<%File|%Message>"), "<%Message %Previous|%File %ErrorText>");
}

TEST_F(ErrorManagerTest, PreviousCountsOnlyInItsExactSpelling) {
  Load({{930, FatalityNotify, "Old", "old"}});
  Load({{930, FatalityNotify, "New", "[%Previous][%PREVIOUS][%previous]"}});
  errors_.FindEntry(930);
  EXPECT_EQ(errors_.ExpandMessage(), "[old][%PREVIOUS][%previous]");
}

TEST_F(ErrorManagerTest, PreviousIsTheEarlierRawDefinitionOrNothing) {
  Load({{920, FatalityNotify, "First", "only %Previous here"}});
  errors_.FindEntry(920);
  EXPECT_EQ(errors_.ExpandMessage(), "only  here");

  errors_.SetFileName("f.dat");
  Load({{920, FatalityNotify, "Second", "new; %Previous; %File"},
        {921, FatalityNotify, "Loop", "%Previous"},
        {921, FatalityNotify, "Loop", "again %Previous"}});
  EXPECT_EQ(errors_.Raise(920), FatalityNotify);
  EXPECT_EQ(OnlyBox().caption, "Second") << "the entry loaded last wins";
  EXPECT_EQ(OnlyBox().text, "new; only %Previous here; f.dat")
      << "the earlier text is quoted raw, its own placeholders untouched";

  errors_.FindEntry(921);
  EXPECT_EQ(errors_.ExpandMessage(), "again %Previous");
  EXPECT_EQ(Expand("%previous stays"), "%previous stays") << "only the exact spelling counts";
}

TEST_F(ErrorManagerTest, ExpansionIsCutAt1999Characters) {
  errors_.RaiseWithText(ErrNntp, std::string(254, 'x'));
  std::string message;
  for (int i = 0; i < 9; ++i) message += "%Message";  // 9 × 254 = 2286 characters
  message += "END";
  const std::string expanded = Expand(message);
  EXPECT_EQ(expanded, std::string(1999, 'x'));
}

TEST_F(ErrorManagerTest, FieldsAreCutToTheirCapacity) {
  errors_.SetFileName(std::string(300, 'f'));
  EXPECT_EQ(errors_.file_name(), std::string(254, 'f'));
  errors_.RaiseWithText(ErrNntp, std::string(100, 'm') + "   ");
  EXPECT_EQ(errors_.message_text(), std::string(100, 'm') + "   ") << "trailing blanks kept";
  errors_.RaiseWithText(ErrNntp, std::string(300, 'm'));
  EXPECT_EQ(errors_.message_text().size(), 254u);
}

TEST_F(ErrorManagerTest, HandleEntryShowsTheErrorCapturedEarlier) {
  RuntimeErrorState::Set(StatusAccessDenied);
  errors_.CaptureRuntimeError();
  RuntimeErrorState::SetOk();
  errors_.SetFileName("out.qdl");
  EXPECT_EQ(errors_.HandleEntry(ErrRecordNotUpdated), FatalityNotify);
  EXPECT_EQ(OnlyBox().text,
            "An error (Access denied (5)) was experienced when making changes to the out.qdl "
            "file.");
}

// --- Categories ---

TEST_F(ErrorManagerTest, CategoriesFallBackToTheDefault) {
  EXPECT_EQ(errors_.CategoryOf(ErrFileAccess), "KWT");
  EXPECT_EQ(errors_.CategoryOf(ErrorManager::kAnyId), "KWT");
  errors_.AssignCategory(ErrFileAccess, "Files");
  EXPECT_EQ(errors_.CategoryOf(ErrFileAccess), "Files");
  errors_.AssignCategory(static_cast<ErrorId>(-1), "App");
  EXPECT_EQ(errors_.default_category(), "App");
  EXPECT_EQ(errors_.CategoryOf(ErrFileCreation), "App");
  EXPECT_EQ(errors_.CategoryOf(ErrFileAccess), "Files");
}

TEST_F(ErrorManagerTest, AssigningACategoryToAnUnknownIdChangesNoEntry) {
  errors_.FindEntry(ErrFileAccess);  // a current entry that a careless assignment would hit
  errors_.AssignCategory(4242, "Stray");
  for (const auto& entry : errors_.entries()) EXPECT_TRUE(entry.CATEGORY.empty()) << entry.ID;
  EXPECT_EQ(errors_.CategoryOf(4242), "KWT");
}

TEST_F(ErrorManagerTest, CategoryGoesToTheNewestEntryOfAnId) {
  Load({{ErrFileAccess, FatalityNotify, "Mine", "redefined"}});
  errors_.AssignCategory(ErrFileAccess, "New");
  const auto entries = errors_.entries();
  int tagged = 0;
  for (const auto& entry : entries) tagged += entry.CATEGORY == "New" ? 1 : 0;
  EXPECT_EQ(tagged, 1);
  EXPECT_EQ(entries.back().CATEGORY, "New");
}

// --- Threads ---

TEST_F(ErrorManagerTest, ProcedureNamesAreKeptPerThread) {
  errors_.EnterProcedure("Main");
  std::string seen_in_thread;
  std::string after_leave_in_thread;
  std::thread worker([&] {
    errors_.EnterProcedure("repqdl");
    errors_.EnterProcedure("inner");
    errors_.LeaveProcedure();
    seen_in_thread = errors_.CurrentProcedureName();
    errors_.LeaveProcedure();
    after_leave_in_thread = errors_.CurrentProcedureName();
    errors_.LeaveProcedure();  // nothing left to leave
  });
  worker.join();
  EXPECT_EQ(seen_in_thread, "repqdl");
  EXPECT_EQ(after_leave_in_thread, "");
  EXPECT_EQ(errors_.CurrentProcedureName(), "Main");
  errors_.LeaveProcedure();
  EXPECT_EQ(errors_.CurrentProcedureName(), "");
}

TEST_F(ErrorManagerTest, FileNameAndCapturedErrorBelongToTheRaisingThread) {
  errors_.SetFileName("frame.dat");
  RuntimeErrorState::Set(StatusAccessDenied);
  errors_.CaptureRuntimeError();
  std::thread worker([&] {
    errors_.EnterProcedure("repqdl");
    errors_.SetFileName("VRSQ2.qdl");
    RuntimeErrorState::Set(StatusNotFound);
    errors_.Raise(ErrFileCreation);
    errors_.LeaveProcedure();
  });
  worker.join();
  errors_.HandleEntry(ErrRecordNotDeleted);

  const auto boxes = presenter_.message_boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text,
            "Error: (File not found (2)) creating VRSQ2.qdl.  Press OK to end this application");
  EXPECT_EQ(boxes[1].text,
            "An error (Access denied (5)) was experienced when deleting a record from the "
            "frame.dat file.");
}

TEST_F(ErrorManagerTest, FileNameStampsChangeWithTheNameAndDifferByThread) {
  EXPECT_EQ(errors_.FileNameStamp(), 0u);  // nothing named on this thread yet
  errors_.SetFileName("VRSQ1.qdl");
  const std::uint64_t first = errors_.FileNameStamp();
  EXPECT_NE(first, 0u);
  errors_.SetFileName("VRSQ1.qdl  ");  // the same name: the stamp stays
  EXPECT_EQ(errors_.FileNameStamp(), first);
  errors_.SetFileName("VRSQ2.qdl");
  const std::uint64_t second = errors_.FileNameStamp();
  EXPECT_NE(second, first);
  errors_.SetFileName("VRSQ1.qdl");  // back to the first name: still a new stamp
  EXPECT_NE(errors_.FileNameStamp(), first);

  std::uint64_t other_thread = 0;
  std::thread([&] {
    errors_.EnterProcedure("repqdl");
    errors_.SetFileName("VRSQ1.qdl");
    other_thread = errors_.FileNameStamp();
    errors_.LeaveProcedure();
  }).join();
  EXPECT_NE(other_thread, 0u);
  EXPECT_NE(other_thread, errors_.FileNameStamp());

  ErrorManager another;
  another.InitStandard();
  EXPECT_EQ(another.FileNameStamp(), 0u);
  another.Kill();
}

// A manager whose message box lets another thread use the manager while the box is up, as the
// frame's thread does while a procedure thread waits for its answer.
class ReentrantErrorManager final : public ErrorManager {
 public:
  ButtonFlags ShowMessageBox(std::string_view text, std::string_view caption, MessageIcon icon,
                             ButtonFlags buttons, ButtonFlags default_button, int style) override {
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    other = std::thread([this, &done] {
      EnterProcedure("Main");
      SetFileName("other.dat");
      CategoryOf(ErrFileAccess);
      LeaveProcedure();
      done.set_value();
    });
    other_finished = finished.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    // Joined by the test once the box is gone: a lock held here would keep the thread waiting.
    if (other_finished) other.join();
    return ErrorManager::ShowMessageBox(text, caption, icon, buttons, default_button, style);
  }

  std::thread other;
  bool other_finished = false;
};

TEST_F(ErrorManagerTest, NoLockIsHeldWhileABoxIsShown) {
  ReentrantErrorManager errors;
  errors.InitStandard();
  errors.HISTORYTHRESHOLD = -1;  // the history path too
  errors.HISTORYVIEWLEVEL = FatalityNotify;
  errors.Raise(ErrNoRecordsToProcess);
  if (errors.other.joinable()) errors.other.join();
  EXPECT_TRUE(errors.other_finished);
  errors.Kill();
}

// --- History ---

TEST_F(ErrorManagerTest, HistoryKeepsTheNewestEntriesAndShowsOnlyTheViewLevel) {
  errors_.HISTORYTHRESHOLD = 3;
  errors_.AssignCategory(ErrAskAddNewRecord, "Rec");
  EXPECT_EQ(errors_.Raise(ErrChangedElsewhere), FatalityNotify);
  EXPECT_EQ(errors_.Raise(ErrNoRecordsToProcess), FatalityNotify);
  EXPECT_EQ(errors_.Raise(ErrFormNoInsert), FatalityNotify);
  EXPECT_EQ(errors_.Raise(ErrAskAddNewRecord), FatalityNotify);
  EXPECT_TRUE(presenter_.message_boxes().empty()) << "below the view level: recorded only";

  auto history = errors_.history();
  ASSERT_EQ(history.size(), 3u);
  EXPECT_EQ(history[0].TXT, "There are no records available to process.");
  EXPECT_EQ(history[0].ID, ErrNoRecordsToProcess);
  EXPECT_EQ(history[0].CATEGORY, "KWT");
  EXPECT_EQ(history[2].ID, ErrAskAddNewRecord);
  EXPECT_EQ(history[2].CATEGORY, "Rec");

  // A halt-level message brings the history up and still ends the program.
  errors_.HISTORYRESETONVIEW = true;
  EXPECT_EQ(errors_.Raise(ErrFileCreation), FatalityHalt);
  const MessageBoxRequest box = OnlyBox();
  EXPECT_EQ(box.caption, "File Creation Error");
  EXPECT_EQ(box.icon, MessageIcon::kExclamation);
  EXPECT_EQ(box.text,
            "This form cannot be used to insert a record|"
            "Record match not found, do you wish to add a new one?|"
            "Error: ( (0)) creating .  Press OK to end this application");
  EXPECT_EQ(presenter_.halts().size(), 1u);
  EXPECT_TRUE(errors_.history().empty()) << "reset on view";
}

TEST_F(ErrorManagerTest, UnlimitedHistoryRecordsEvenWhenSilentAndCutsTexts) {
  errors_.HISTORYTHRESHOLD = -1;
  errors_.SILENT = true;
  errors_.RaiseWithText(ErrSmtp, std::string(254, 'a'));
  for (int i = 0; i < 5; ++i) errors_.Raise(ErrNoRecordsToProcess);
  const auto history = errors_.history();
  ASSERT_EQ(history.size(), 6u);
  EXPECT_EQ(history[0].TXT, "The following SMTP Error occurred: " + std::string(254, 'a') + " ");

  errors_.SILENT = false;
  Load({{930, FatalityNotify, "Long", "%Message%Message%Message%Message%Message"}});
  errors_.RaiseWithText(930, std::string(254, 'z'));
  EXPECT_EQ(errors_.history().back().TXT.size(), 1023u);
  errors_.ClearHistory();
  EXPECT_TRUE(errors_.history().empty());
}

TEST_F(ErrorManagerTest, ShowHistoryKeepsTheHistory) {
  errors_.HISTORYTHRESHOLD = -1;
  errors_.Raise(ErrNoRecordsToProcess);
  errors_.Raise(ErrChangedElsewhere);
  presenter_.ScriptAnswers({ButtonHelp});
  errors_.ShowHistory();
  const MessageBoxRequest box = OnlyBox();
  EXPECT_EQ(box.caption, "Errors History");
  EXPECT_EQ(box.buttons, ButtonOk + ButtonHelp);
  EXPECT_EQ(box.default_button, ButtonOk);
  EXPECT_EQ(box.text,
            "There are no records available to process.|This record was changed by another "
            "station.");
  EXPECT_EQ(errors_.history().size(), 2u);
}

// --- Questions ---

// With history on, messages below the view level are only recorded. A question among them must
// still be asked: its default is Yes, so recording it only would delete, discard changes or retry
// on the person's behalf.
TEST_F(ErrorManagerTest, QuestionsAreAskedWhileHistoryKeepsOtherMessagesQuiet) {
  errors_.HISTORYTHRESHOLD = -1;
  Load({{950, FatalityCancelled, "Retry?", "Try again?"}});
  presenter_.ScriptAnswers({ButtonNo, ButtonYes, ButtonNo});
  EXPECT_EQ(errors_.Raise(ErrAskDeleteHighlighted), FatalityCancelled);
  EXPECT_EQ(errors_.Raise(ErrAskCancelChanges), FatalityNone);
  EXPECT_EQ(errors_.Raise(950), FatalityCancelled);
  EXPECT_EQ(errors_.Raise(ErrNoRecordsToProcess), FatalityNotify);

  const auto boxes = presenter_.message_boxes();
  ASSERT_EQ(boxes.size(), 3u) << "the questions, and nothing for the notification";
  EXPECT_EQ(boxes[0].caption, "Confirm Delete");
  EXPECT_EQ(boxes[0].text, "Are you sure you want to delete the highlighted record?");
  EXPECT_EQ(boxes[0].icon, MessageIcon::kQuestion);
  EXPECT_EQ(boxes[0].buttons, ButtonYes + ButtonNo);
  EXPECT_EQ(boxes[0].default_button, ButtonYes);
  EXPECT_EQ(boxes[2].caption, "Retry?");
  EXPECT_EQ(errors_.history().size(), 4u) << "questions are recorded as well";
}

// A question nobody can answer (silent, or no presenter to ask) is declined, never taken as Yes:
// Cancel when the box offers it, else No. A retry question then ends instead of repeating.
TEST_F(ErrorManagerTest, AQuestionNobodyCanAnswerIsDeclined) {
  errors_.SILENT = true;
  int retries = 0;
  while (errors_.Raise(ErrAskRetrySave) == FatalityNone && retries < 3) ++retries;
  EXPECT_EQ(retries, 0);
  EXPECT_EQ(errors_.ShowEntryMessage(ErrAskSaveChanges, ButtonYes + ButtonNo, ButtonYes), ButtonNo);
  EXPECT_EQ(errors_.ShowEntryMessage(ErrAskSaveChanges, 70, ButtonYes), ButtonCancel);
  EXPECT_EQ(errors_.Raise(ErrNoRecordsToProcess), FatalityNotify);
  errors_.SILENT = false;

  Runtime::InstallPresenter(nullptr);
  EXPECT_EQ(errors_.Raise(ErrAskDeleteHighlighted), FatalityCancelled);
  EXPECT_EQ(errors_.ShowEntryMessage(ErrAskSaveChanges, 70, ButtonCancel), ButtonCancel);
  EXPECT_EQ(errors_.Raise(ErrNoRecordsToProcess), FatalityNotify);
  errors_.HISTORYTHRESHOLD = -1;
  errors_.HISTORYVIEWLEVEL = FatalityAsk;  // shown in the history, with nobody to press a button
  EXPECT_EQ(errors_.Raise(ErrAskRetryDelete), FatalityCancelled);
  Runtime::InstallPresenter(&presenter_);
  EXPECT_TRUE(presenter_.message_boxes().empty());
}

// --- Log ---

class ErrorManagerLogTest : public ErrorManagerTest {
 protected:
  std::string LogName() const { return dir_.File("KWTError.Log"); }

  morlan::testing::TempDir dir_;
};

TEST_F(ErrorManagerLogTest, EachReportedMessageIsOneDatedLine) {
  ErrorLogFile log(LogName());
  errors_.Init(&log);
  errors_.LOGERRORS = true;
  errors_.SetFileName("a|b");
  EXPECT_EQ(errors_.Raise(ErrNoRecordsToProcess), FatalityNotify);
  EXPECT_EQ(errors_.Raise(ErrRecordInsert), FatalityNotify);
  EXPECT_FALSE(log.is_open());
  EXPECT_EQ(log.usage(), 0);

  const std::string stamp = Runtime::ShortDate() + "@" + Runtime::LongTime() + " --> ";
  EXPECT_EQ(dir_.Read("KWTError.Log"),
            stamp + "There are no records available to process.\n" + stamp +
                "An error was experienced during the creation of a record.|File: a|b|Error:  "
                "(0).\n");
  EXPECT_EQ(presenter_.message_boxes().size(), 2u) << "logging does not replace the box";
}

TEST_F(ErrorManagerLogTest, LoggingLeavesTheCallersErrorStateAndResultAlone) {
  ErrorLogFile broken(dir_.File("no-such-dir/KWTError.Log"));
  errors_.Init(&broken);
  errors_.LOGERRORS = true;
  RuntimeErrorState::SetDriverError("7", "seven");
  presenter_.ScriptAnswers({ButtonYes});
  EXPECT_EQ(errors_.Raise(ErrAskDeleteHighlighted), FatalityNone);
  EXPECT_EQ(RuntimeErrorState::code(), StatusDriverError);
  EXPECT_EQ(RuntimeErrorState::driver_text(), "seven");

  ErrorLogFile log(LogName());
  errors_.Init(&log);
  RuntimeErrorState::Set(StatusNotFound);
  EXPECT_EQ(errors_.Raise(ErrNoRecordsToProcess), FatalityNotify);
  EXPECT_EQ(RuntimeErrorState::code(), StatusNotFound);
}

TEST_F(ErrorManagerLogTest, StandardLogIsTheCurrentDirectorysAndUntouchedWhileLoggingIsOff) {
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  errors_.Raise(ErrNoRecordsToProcess);
  const bool created_while_off = std::filesystem::exists("KWTError.Log");
  errors_.LOGERRORS = true;
  errors_.Raise(ErrNoRecordsToProcess);
  std::filesystem::current_path(previous);

  EXPECT_FALSE(created_while_off);
  const std::string content = dir_.Read("KWTError.Log");
  EXPECT_NE(content.find(" --> There are no records available to process.\n"), std::string::npos);
  EXPECT_EQ(content.find('\n'), content.size() - 1) << "exactly one line";
  EXPECT_EQ(errors_.standard_error_log(), errors_.error_log());
}

}  // namespace
}  // namespace morlan
