#include "errors/history_window.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "errors/error_manager.h"
#include "errors/history_test_fixture.h"
#include "errors/history_window_definition.h"
#include "platform/icon_names.h"
#include "platform/user_action.h"
#include "testing/bounded_wait.h"

namespace morlan {
namespace {

using testing::ControlOf;
using testing::Position;
using testing::ShownButtons;

constexpr int kList = kHistoryListControl;

using HistoryWindowTest = testing::HistoryFixture;

// ---- What the window shows ----

TEST_F(HistoryWindowTest, ShowHistoryListsEveryMessageNewestSelectedWithOkAndHelp) {
  ReportThree();
  ASSERT_TRUE(presenter_.message_boxes().empty()) << "recorded only";
  Person({UserAction::Click(Position(1))});

  {
    testing::Watchdog watchdog("the history window to close");
    errors_.ShowHistory();
  }

  const WindowSnapshot shown = presenter_.last_seen();
  EXPECT_EQ(shown.definition_id, kHistoryWindowId);
  EXPECT_EQ(shown.caption, "Errors History");
  EXPECT_EQ(ControlOf(shown, kHistoryImageControl).icon, kIconExclamation);
  EXPECT_EQ(ShownButtons(shown), (std::vector<std::string>{"O&k", "&Help"}));
  EXPECT_EQ(ControlOf(shown, Position(1)).text, "&Help") << "Help is the rightmost";
  EXPECT_EQ(shown.default_button, Position(2));
  EXPECT_EQ(shown.focused_control, Position(2));

  const ControlSnapshot& list = ControlOf(shown, kList);
  ASSERT_EQ(list.columns.size(), 2u);
  EXPECT_EQ(list.columns[0].title, "Message");
  EXPECT_EQ(list.columns[1].title, "Category");
  EXPECT_EQ(list.total_rows, 3);
  EXPECT_EQ(list.value, 3) << "the newest entry is selected";
  EXPECT_EQ(list.rows, (std::vector<std::vector<std::string>>{
                           {"There are no records available to process.", "KWT"},
                           {"This record was changed by another station.", "Rec"},
                           {"VRSQ1.qdl key file is invalid. Key must be rebuilt.", "KWT"}}));

  EXPECT_FALSE(view_.window().is_open()) << "Help closed the window";
  EXPECT_EQ(errors_.history().size(), 3u) << "showing the history never empties it";
}

TEST_F(HistoryWindowTest, TheButtonPressedIsTheAnswerAndEnterPressesTheDefault) {
  ReportThree();
  Person({UserAction::Click(Position(1))});
  Person({UserAction::Enter()});
  EXPECT_EQ(RunBounded(ErrorManager::kHistoryCaption, 0, ButtonOk + ButtonHelp, ButtonOk),
            ButtonHelp);
  EXPECT_EQ(RunBounded(ErrorManager::kHistoryCaption, 0, ButtonOk + ButtonHelp, ButtonOk),
            ButtonOk);
}

TEST_F(HistoryWindowTest, ButtonsFillTheRowFromTheRightWithTheDefaultFocused) {
  // Yes, No and Cancel, default Cancel: the three rightmost positions.
  Person({UserAction::Click(Position(2))});
  EXPECT_EQ(RunBounded("Save Record", 0, ButtonYes + ButtonNo + ButtonCancel, ButtonCancel),
            ButtonNo);
  WindowSnapshot shown = presenter_.last_seen();
  EXPECT_EQ(ShownButtons(shown), (std::vector<std::string>{"&Yes", "&No", "&Cancel"}));
  EXPECT_EQ(ControlOf(shown, Position(1)).text, "&Cancel");
  EXPECT_EQ(ControlOf(shown, Position(3)).text, "&Yes");
  EXPECT_EQ(shown.default_button, Position(1));
  EXPECT_EQ(shown.focused_control, Position(1));
  EXPECT_EQ(shown.caption, "Save Record");

  // All eight, in the order OK .. Help from the left; a flag beyond them is no button.
  Person({UserAction::Click(Position(8))});
  EXPECT_EQ(RunBounded("All", 0, 0x1FF, ButtonRetry), ButtonOk);
  shown = presenter_.last_seen();
  EXPECT_EQ(ShownButtons(shown), (std::vector<std::string>{"O&k", "&Yes", "&No", "&Abort", "&Retry",
                                                           "&Ignore", "&Cancel", "&Help"}));
  EXPECT_EQ(shown.default_button, Position(4));
}

// The window is prepared once: nothing a run showed may survive into the next.
TEST_F(HistoryWindowTest, EveryRunOfThePreparedWindowShowsOnlyItsOwnState) {
  ReportThree();
  Person({UserAction::Click(Position(1))});
  EXPECT_EQ(RunBounded("First", 0, 0xFF, ButtonHelp), ButtonHelp);

  errors_.ClearHistory();
  errors_.Raise(ErrFormNoInsert);
  // The buttons of the first run at positions 3 to 8 are gone: clicking one does nothing.
  Person({UserAction::Click(Position(5)), UserAction::Click(Position(3)),
          UserAction::Click(Position(1))});
  EXPECT_EQ(RunBounded("", 32515, ButtonOk + ButtonCancel, ButtonOk), ButtonCancel);

  const WindowSnapshot second = presenter_.last_seen();
  EXPECT_NE(presenter_.first_seen().front().id, 0);
  EXPECT_EQ(second.id, presenter_.first_seen().front().id) << "the same prepared window";
  EXPECT_EQ(second.caption, "Error") << "no caption: the definition's";
  EXPECT_EQ(ControlOf(second, kHistoryImageControl).icon, "32515");
  EXPECT_EQ(ShownButtons(second), (std::vector<std::string>{"O&k", "&Cancel"}));
  EXPECT_EQ(second.default_button, Position(2));
  EXPECT_EQ(second.focused_control, Position(2));
  const ControlSnapshot& list = ControlOf(second, kList);
  EXPECT_EQ(list.total_rows, 1);
  EXPECT_EQ(list.value, 1);
  EXPECT_EQ(list.rows, (std::vector<std::vector<std::string>>{
                           {"This form cannot be used to insert a record", "KWT"}}));
}

TEST_F(HistoryWindowTest, AnEmptyHistoryOrNoButtonsStillShowAndCloseWithTheDefault) {
  // Closed by its close box: the default answers (no question here).
  Person({UserAction::CloseBox()});
  EXPECT_EQ(RunBounded(ErrorManager::kHistoryCaption, 0, ButtonOk + ButtonHelp, ButtonOk),
            ButtonOk);
  const WindowSnapshot shown = presenter_.last_seen();
  const ControlSnapshot& list = ControlOf(shown, kList);
  EXPECT_EQ(list.total_rows, 0);
  EXPECT_EQ(list.value, 0);
  EXPECT_TRUE(list.rows.empty());

  // No button at all: only the window's own means close it, Escape here.
  errors_.Raise(ErrNoRecordsToProcess);
  Person({UserAction::Click(Position(1)), UserAction::Enter(), UserAction::Escape()});
  EXPECT_EQ(RunBounded("Bare", 0, 0, ButtonHelp), ButtonHelp);
  const WindowSnapshot bare = presenter_.last_seen();
  EXPECT_TRUE(ShownButtons(bare).empty());
  EXPECT_EQ(bare.default_button, 0);
  EXPECT_EQ(bare.focused_control, kList);
}

// ---- The error manager's use of it ----

TEST_F(HistoryWindowTest, AMessageOfTheViewLevelBringsTheHistoryUpAndStillHalts) {
  errors_.HISTORYVIEWLEVEL = FatalityHalt;
  errors_.HISTORYRESETONVIEW = true;
  EXPECT_EQ(errors_.Raise(ErrNoRecordsToProcess), FatalityNotify) << "recorded only";
  EXPECT_TRUE(presenter_.first_seen().empty());

  errors_.SetFileName("VRSQ2.qdl");
  Person({UserAction::Enter()});
  {
    testing::Watchdog watchdog("the history window to close");
    EXPECT_EQ(errors_.Raise(ErrFileCreation), FatalityHalt);
  }

  const WindowSnapshot shown = presenter_.last_seen();
  EXPECT_EQ(shown.caption, "File Creation Error");
  EXPECT_EQ(ShownButtons(shown), std::vector<std::string>{"O&k"});
  const ControlSnapshot& list = ControlOf(shown, kList);
  ASSERT_EQ(list.rows.size(), 2u);
  EXPECT_EQ(list.rows[1][0], "Error: ( (0)) creating VRSQ2.qdl.  Press OK to end this application");
  EXPECT_EQ(list.value, 2);
  EXPECT_TRUE(presenter_.message_boxes().empty()) << "the window replaces the box";
  ASSERT_EQ(presenter_.halts().size(), 1u);
  EXPECT_EQ(presenter_.halts()[0].text, "File Creation Error");
  EXPECT_TRUE(errors_.history().empty()) << "reset once shown";
}

// A question shown in the history is answered only by its buttons: a window closed otherwise
// declines it, as a message box closed by Escape does.
TEST_F(HistoryWindowTest, AQuestionInTheHistoryIsYesOnlyWhenYesIsPressed) {
  errors_.HISTORYVIEWLEVEL = FatalityAsk;
  Person({UserAction::CloseBox()});
  Person({UserAction::Escape()});
  Person({UserAction::Click(Position(2))});
  testing::Watchdog watchdog("the history windows to close");
  EXPECT_EQ(errors_.Raise(ErrAskDeleteHighlighted), FatalityCancelled);
  EXPECT_EQ(errors_.Raise(ErrAskRetrySave), FatalityCancelled);
  EXPECT_EQ(errors_.Raise(ErrAskCancelChanges), FatalityNone);
  const WindowSnapshot shown = presenter_.last_seen();
  EXPECT_EQ(ShownButtons(shown), (std::vector<std::string>{"&Yes", "&No"}));
  EXPECT_EQ(shown.default_button, Position(2));
}

// Two threads raising at once: the second gets a window of its own instead of sharing (or
// waiting for) the prepared one, and each gets its own answer.
TEST_F(HistoryWindowTest, RunsOnTwoThreadsAtOnceEachGetTheirOwnWindow) {
  ReportThree();
  testing::Watchdog watchdog("both history windows to close");
  ButtonFlags first = 0;
  ButtonFlags second = 0;
  std::thread a([&] { first = errors_.RunHistoryWindow("A", 0, ButtonOk + ButtonHelp, ButtonOk); });
  if (!testing::WaitUntil([&] { return presenter_.first_seen().size() == 1; })) {
    testing::GiveUp("the first history window never waited for the person");
  }
  std::thread b(
      [&] { second = errors_.RunHistoryWindow("B", 0, ButtonYes + ButtonNo, ButtonYes); });
  if (!testing::WaitUntil([&] { return presenter_.first_seen().size() == 2; })) {
    testing::GiveUp("the second history window never waited for the person");
  }

  const std::vector<WindowSnapshot> seen = presenter_.first_seen();
  EXPECT_EQ(seen[0].caption, "A");
  EXPECT_EQ(seen[1].caption, "B");
  EXPECT_NE(seen[0].id, seen[1].id);
  EXPECT_EQ(ControlOf(seen[1], kList).total_rows, 3);
  EXPECT_TRUE(presenter_.Perform(seen[1].id, UserAction::Click(Position(1))));
  b.join();
  EXPECT_TRUE(presenter_.Perform(seen[0].id, UserAction::Click(Position(1))));
  a.join();
  EXPECT_EQ(first, ButtonHelp);
  EXPECT_EQ(second, ButtonNo);
  EXPECT_FALSE(presenter_.window(seen[0].id).has_value());
}

}  // namespace
}  // namespace morlan
