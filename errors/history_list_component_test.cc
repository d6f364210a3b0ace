#include "errors/history_list_component.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "errors/history_test_fixture.h"
#include "errors/history_window_definition.h"
#include "platform/user_action.h"
#include "testing/bounded_wait.h"

namespace morlan {
namespace {

using Cell = HistoryListComponent::Cell;
using testing::ControlOf;
using testing::Position;

constexpr int kList = kHistoryListControl;

using HistoryListComponentTest = testing::HistoryFixture;

TEST_F(HistoryListComponentTest, CellTextAnswersTheListFromTheLiveHistory) {
  ReportThree();
  HistoryListComponent list;
  list.ERR = &errors_;
  list.HISTORY = &errors_.history_list();
  list.LBCOLUMNS = 2;

  EXPECT_EQ(list.CellText(HistoryListComponent::kRowCount, 0), Cell(3));
  EXPECT_EQ(list.CellText(HistoryListComponent::kColumnCount, 0), Cell(2));
  EXPECT_EQ(list.CellText(HistoryListComponent::kContentsChanged, 0), Cell(1));
  // Rows count from 1, oldest first.
  EXPECT_EQ(list.CellText(1, 1), Cell("There are no records available to process."));
  EXPECT_EQ(list.CellText(2, 2), Cell("Rec"));
  EXPECT_EQ(list.CellText(3, 2), Cell("KWT"));
  EXPECT_EQ(list.CellText(1, 3), Cell(std::string()));
  EXPECT_EQ(list.CellText(1, 0), Cell(std::string()));
  EXPECT_EQ(list.CellText(0, 1), Cell(std::string()));
  EXPECT_EQ(list.CellText(4, 1), Cell(std::string()));

  // Read in place, not copied: what happens to the history shows at once.
  errors_.Raise(ErrFormNoDelete);
  EXPECT_EQ(list.CellText(HistoryListComponent::kRowCount, 0), Cell(4));
  EXPECT_EQ(list.CellText(4, 1), Cell("This form cannot be used to delete a record"));
  errors_.ClearHistory();
  EXPECT_EQ(list.CellText(HistoryListComponent::kRowCount, 0), Cell(0));
  EXPECT_EQ(list.CellText(1, 1), Cell(std::string())) << "a row gone meanwhile reads empty";
}

// A long history costs no more to show than a short one: the list holds the page on screen,
// which follows the newest entry.
TEST_F(HistoryListComponentTest, ALongHistoryShowsTheNewestPage) {
  errors_.SILENT = true;
  constexpr int kEntries = 100000;
  for (int i = 1; i <= kEntries; ++i) errors_.RaiseWithText(ErrNntp, std::to_string(i));
  errors_.SILENT = false;
  Person({UserAction::Click(Position(1))});
  errors_.ShowHistory();

  const WindowSnapshot shown = presenter_.last_seen();
  const ControlSnapshot& list = ControlOf(shown, kList);
  EXPECT_EQ(list.total_rows, kEntries);
  EXPECT_EQ(list.value, kEntries);
  ASSERT_GT(list.page_rows, 0);
  ASSERT_EQ(static_cast<int>(list.rows.size()), list.page_rows);
  EXPECT_EQ(list.first_row, kEntries - list.page_rows + 1);
  EXPECT_EQ(list.rows.back(), (std::vector<std::string>{std::to_string(kEntries) + " ", "KWT"}));
  EXPECT_EQ(view_.window().row_count(kList), 0) << "the list let go of the component";
}

// Messages reported on another thread while the window is up appear at its next refresh.
TEST_F(HistoryListComponentTest, EntriesReportedWhileTheWindowIsUpShowAtTheNextRefresh) {
  ReportThree();
  testing::Watchdog watchdog("the history window to close");
  std::thread shown([&] { errors_.ShowHistory(); });
  if (!testing::WaitUntil([&] { return presenter_.first_seen().size() == 1; })) {
    testing::GiveUp("the history window never waited for the person");
  }
  const int id = presenter_.first_seen().front().id;
  errors_.Raise(ErrFormNoDelete);
  // Switching away and back refreshes the window.
  presenter_.Perform(id, UserAction::Activate(false));
  presenter_.Perform(id, UserAction::Activate(true));
  const bool refreshed = testing::WaitUntil([&] {
    const auto window = presenter_.window(id);
    return window && ControlOf(*window, kList).total_rows == 4;
  });
  EXPECT_TRUE(refreshed);
  if (refreshed) {
    EXPECT_EQ(ControlOf(*presenter_.window(id), kList).rows.back().front(),
              "This form cannot be used to delete a record");
  }
  presenter_.Perform(id, UserAction::Click(Position(2)));
  shown.join();
}

}  // namespace
}  // namespace morlan
