// The error history window on screen: run by the error manager on a procedure thread, drawn by
// the Qt presenter on the GUI thread, answered by a click. Leaves screenshots/history.png.
#include <QAbstractItemModel>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

#include "errors/error_manager.h"
#include "errors/history_window_definition.h"
#include "errors/prepared_history_window.h"
#include "gtest/gtest.h"
#include "platform/qt/qt_list_view.h"
#include "platform/qt/qt_test_support.h"
#include "platform/qt/qt_window.h"
#include "platform/runtime.h"

namespace morlan {
namespace {

using qt_test::PumpUntil;
using qt_test::Settle;

// What the procedure thread shares with the test; kept alive by both.
struct Shared {
  ErrorManager errors;
  PreparedHistoryWindow view;  // prepared on the GUI thread, as start-up does
  std::atomic<int> answer{-1};
};

QPushButton* ButtonAt(QtWindow& window, int position) {
  return qobject_cast<QPushButton*>(window.control_widget(kHistoryFirstButton + position - 1));
}

TEST(HistoryWindowScreenshotTest, ErrorsHistoryListsTheMessagesAndHelpAnswers128) {
  auto shared = std::make_shared<Shared>();
  ErrorManager& errors = shared->errors;
  errors.InitStandard();
  errors.SetHistoryView(&shared->view);
  errors.HISTORYTHRESHOLD = -1;
  // Below the view level: recorded, not shown.
  errors.Raise(ErrNoRecordsToProcess);
  errors.Raise(ErrChangedElsewhere);
  errors.SetFileName("VRSQ1.qdl");
  errors.Raise(ErrKeyInvalid);
  const int id = shared->view.window().id();

  ASSERT_TRUE(Runtime::StartThread(
      [shared] {
        shared->answer = shared->errors.RunHistoryWindow(ErrorManager::kHistoryCaption, 0,
                                                         ButtonOk + ButtonHelp, ButtonOk);
      },
      64 * 1024));

  QtWindow* shown = nullptr;
  QtListView* list = nullptr;
  ASSERT_TRUE(PumpUntil([&] {
    shown = qt_test::Presenter().widget(id);
    if (shown == nullptr) return false;
    list = dynamic_cast<QtListView*>(shown->control_widget(kHistoryListControl));
    return list != nullptr && list->model()->rowCount() == 3 && list->selected_row() == 3;
  })) << "the history window never showed three messages, the newest selected";
  Settle();

  EXPECT_EQ(shown->windowTitle(), "Errors History");
  auto* image = qobject_cast<QLabel*>(shown->control_widget(kHistoryImageControl));
  ASSERT_NE(image, nullptr);
  EXPECT_FALSE(image->pixmap().isNull()) << "the exclamation icon";

  const QAbstractItemModel* model = list->model();
  ASSERT_EQ(model->columnCount(), 2);
  EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "Message");
  EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "Category");
  EXPECT_EQ(model->data(model->index(2, 0)).toString(),
            "VRSQ1.qdl key file is invalid. Key must be rebuilt.");
  EXPECT_EQ(model->data(model->index(2, 1)).toString(), "KWT");

  // OK left of Help, the pair at the right end of the row; the other positions hidden.
  QPushButton* help = ButtonAt(*shown, 1);
  QPushButton* ok = ButtonAt(*shown, 2);
  ASSERT_NE(help, nullptr);
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(help->text(), "&Help");
  EXPECT_EQ(ok->text(), "O&k");
  EXPECT_FALSE(help->isHidden());
  EXPECT_FALSE(ok->isHidden());
  for (int position = 3; position <= kHistoryButtonPositions; ++position) {
    EXPECT_TRUE(ButtonAt(*shown, position)->isHidden()) << "position " << position;
  }
  EXPECT_LT(ok->geometry().right(), help->geometry().left());
  EXPECT_GE(help->geometry().right(), list->geometry().right() - help->width() / 4);
  EXPECT_TRUE(ok->isDefault());
  EXPECT_EQ(shown->focusWidget(), ok);

  const std::filesystem::path png = qt_test::ScreenshotPath("history.png");
  std::filesystem::remove(png);
  EXPECT_TRUE(shown->grab().save(QString::fromStdString(png.string()), "PNG"));
  EXPECT_TRUE(std::filesystem::exists(png));

  help->click();
  ASSERT_TRUE(PumpUntil([] { return Runtime::RunningThreads() == 0; }))
      << "the procedure thread never came back from the history window";
  EXPECT_EQ(shared->answer.load(), ButtonHelp);
  Settle();
  EXPECT_EQ(qt_test::Presenter().widget(id), nullptr) << "Help closed the window";
  EXPECT_EQ(errors.history().size(), 3u);
  errors.Kill();
}

}  // namespace
}  // namespace morlan
