#include "platform/qt/qt_presenter.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "gtest/gtest.h"
#include "platform/event_loop.h"
#include "platform/key_codes.h"
#include "platform/qt/qt_test_support.h"
#include "platform/qt/qt_window.h"
#include "platform/runtime.h"
#include "platform/window.h"
#include "testing/bounded_wait.h"
#include "testing/progress_window.h"

namespace morlan {
namespace {

using qt_test::PumpUntil;
using qt_test::Settle;
using qt_test::TakeEvents;

QtPresenter& presenter() { return qt_test::Presenter(); }

WindowDefinition ProgressDefinition(int timer) {
  return testing::ProgressWindowDefinition("Processing Records", timer);
}

ControlDefinition Control(int number, ControlType type, const char* text, int parent = 0) {
  ControlDefinition c;
  c.number = number;
  c.type = type;
  c.text = text;
  c.parent = parent;
  return c;
}

// Hands the next message box, once it is up, to `answer` from inside the box's own event loop.
void AnswerNextBox(std::function<void(QMessageBox*)> answer) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, answer] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    answer(box);
  });
  timer->start();
}

// A worker thread runs a progress window while the GUI thread pumps; halfway the GUI thread
// takes a screenshot, at the end the worker asks a question the GUI thread answers.
TEST(QtPresenterTest, ProgressWindowOfAWorkerThread) {
  struct Shared {
    std::atomic<int> window_id{0};
    std::atomic<bool> at_half{false};
    std::atomic<bool> shot_taken{false};
    std::atomic<ButtonFlags> answer{0};
  };
  auto shared = std::make_shared<Shared>();
  ASSERT_TRUE(Runtime::StartThread(
      [shared] {
        Window window(ProgressDefinition(5));
        std::uint8_t percent = 0;
        window.BindByte(1, &percent);
        window.SetText(2, "Reading customer records");
        window.SetText(3, "0% Complete");
        window.Open();
        shared->window_id = window.id();
        EventLoop loop(window);
        while (loop.NextEvent()) {
          if (loop.event() == EventTimer) {
            percent += 10;
            window.Display();
            window.SetText(3, std::to_string(percent) + "% Complete");
            if (percent == 50) {
              window.Flush();
              shared->at_half = true;
              // Bounded, so a failed case cannot leave the worker spinning.
              (void)testing::WaitUntil([&] { return shared->shot_taken.load(); });
            }
            if (percent == 100) {
              window.Flush();
              MessageBoxRequest question;
              question.text = "All records processed.|Print a summary?";
              question.caption = "Processing Records";
              question.icon = MessageIcon::kQuestion;
              question.buttons = ButtonYes | ButtonNo;
              question.default_button = ButtonNo;
              shared->answer = Runtime::MessageBox(question);
              window.Close();
            }
          }
          if (loop.EndEvent(0)) break;
        }
      },
      0));

  AnswerNextBox([](QMessageBox* box) {
    EXPECT_EQ(box->text(), "All records processed.\nPrint a summary?");
    box->button(QMessageBox::Yes)->click();
  });

  ASSERT_TRUE(PumpUntil([&] { return shared->at_half.load(); }));
  Settle();
  QtWindow* shown = presenter().widget(shared->window_id);
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->windowTitle(), "Processing Records");
  EXPECT_TRUE(shown->isVisible());
  auto* bar = qobject_cast<QProgressBar*>(shown->control_widget(1));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->value(), 50);
  auto* percent_text = qobject_cast<QLabel*>(shown->control_widget(3));
  ASSERT_NE(percent_text, nullptr);
  EXPECT_EQ(percent_text->text(), "50% Complete");

  const std::filesystem::path png = qt_test::ScreenshotPath("progress_50.png");
  std::filesystem::remove(png);
  const bool saved = shown->grab().save(QString::fromStdString(png.string()), "PNG");
  shared->shot_taken = true;
  EXPECT_TRUE(saved);
  ASSERT_TRUE(std::filesystem::exists(png));
  EXPECT_GT(std::filesystem::file_size(png), 0u);

  // The worker ends by itself once the box is answered; the GUI thread never joins it.
  ASSERT_TRUE(PumpUntil([] { return Runtime::RunningThreads() == 0; }));
  EXPECT_EQ(shared->answer.load(), ButtonYes);
  Settle();
  EXPECT_EQ(presenter().widget(shared->window_id), nullptr);
}

TEST(QtPresenterTest, ButtonsAndTheCloseBoxPostEventsAndTheProgramCloses) {
  Window window(ProgressDefinition(0));
  window.Open();
  Settle();
  QtWindow* shown = presenter().widget(window.id());
  ASSERT_NE(shown, nullptr);
  TakeEvents(window);  // the open event

  auto* cancel = qobject_cast<QPushButton*>(shown->control_widget(4));
  ASSERT_NE(cancel, nullptr);
  EXPECT_EQ(cancel->text(), "Cancel");
  EXPECT_FALSE(cancel->isDefault());
  window.SetDefaultButton(4);
  window.Flush();
  Settle();
  EXPECT_TRUE(cancel->isDefault());
  // A click moves the focus to the button, then accepts it, with the left button's key code.
  QTest::mouseClick(cancel, Qt::LeftButton);
  std::vector<Event> events = TakeEvents(window);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].code, EventSelected);
  EXPECT_EQ(events[0].control, 4);
  EXPECT_EQ(events[0].change, InputChange::kFocus);
  EXPECT_EQ(events[1].code, EventAccepted);
  EXPECT_EQ(events[1].control, 4);
  EXPECT_EQ(events[1].key, kKeyMouseLeft);
  EXPECT_EQ(events[1].window, window.id());

  // The close box only asks; the window stays until its loop's default handling closes it.
  EXPECT_FALSE(shown->close());
  Settle();
  EXPECT_TRUE(shown->isVisible());
  EXPECT_EQ(presenter().widget(window.id()), shown);
  EXPECT_TRUE(window.is_open());

  testing::Watchdog watchdog("the loop to take the close request");
  EventLoop loop(window);
  ASSERT_TRUE(loop.NextEvent());
  EXPECT_EQ(loop.event(), EventCloseWindow);
  EXPECT_EQ(loop.control(), 0);
  EXPECT_TRUE(loop.EndEvent(0));
  EXPECT_FALSE(window.is_open());
  // A click that reaches the widget before the presenter drops it goes nowhere.
  cancel->click();
  EXPECT_EQ(window.queue()->size(), 0u);
  Settle();
  EXPECT_EQ(presenter().widget(window.id()), nullptr);
}

TEST(QtPresenterTest, FrameMenuBarPostsTheEntryTriggered) {
  WindowDefinition d;
  d.id = "MAIN";
  d.caption = "Morlan";
  d.is_frame = true;
  d.width = 300;
  d.height = 150;
  d.controls = {
      Control(-1, ControlType::kMenu, "&File"),
      Control(-2, ControlType::kMenuItem, "&Open...", -1),
      Control(-3, ControlType::kMenuItem, "E&xit", -1),
      Control(-4, ControlType::kMenuItem, "&Help"),
  };
  d.controls[1].message = "Opens a file";
  d.controls[2].hidden = true;
  Window window(d);
  window.Open();
  Settle();
  QtWindow* shown = presenter().widget(window.id());
  ASSERT_NE(shown, nullptr);

  const QList<QAction*> bar = shown->menuBar()->actions();
  ASSERT_EQ(bar.size(), 2);
  EXPECT_EQ(bar[0]->text(), "&File");
  ASSERT_NE(bar[0]->menu(), nullptr);
  EXPECT_EQ(bar[1]->text(), "&Help");
  EXPECT_EQ(bar[1]->menu(), nullptr);
  const QList<QAction*> file = bar[0]->menu()->actions();
  ASSERT_EQ(file.size(), 2);
  EXPECT_EQ(file[0]->text(), "&Open...");
  EXPECT_EQ(file[0]->statusTip(), "Opens a file");
  EXPECT_FALSE(file[1]->isVisible());

  TakeEvents(window);
  file[0]->trigger();
  bar[1]->trigger();
  std::vector<Event> events = TakeEvents(window);
  // Menu commands leave the focus where it is.
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].code, EventAccepted);
  EXPECT_EQ(events[0].control, -2);
  EXPECT_EQ(events[0].key, kKeyMouseLeft);
  EXPECT_EQ(events[1].code, EventAccepted);
  EXPECT_EQ(events[1].control, -4);

  // A person in the menus by keyboard keeps the focus there while the window changes.
  shown->menuBar()->setFocus(Qt::MenuBarFocusReason);
  window.Show(-3);
  window.SetText(-1, "&Records");
  window.Flush();
  Settle();
  EXPECT_TRUE(file[1]->isVisible());
  EXPECT_EQ(bar[0]->text(), "&Records");
  EXPECT_EQ(shown->focusWidget(), shown->menuBar());

  // A greyed command shows greyed and cannot be triggered until it is enabled again.
  window.Disable(-4);
  window.Flush();
  Settle();
  EXPECT_FALSE(bar[1]->isEnabled());
  TakeEvents(window);
  bar[1]->trigger();
  EXPECT_TRUE(TakeEvents(window).empty());
  window.Enable(-4);
  window.Flush();
  Settle();
  EXPECT_TRUE(bar[1]->isEnabled());
  bar[1]->trigger();
  EXPECT_EQ(TakeEvents(window).size(), 1u);
}

TEST(QtPresenterTest, ChangesReachTheWidgetsWithoutUndoingTheUsersTyping) {
  WindowDefinition d;
  d.id = "EDIT";
  d.caption = "Customer";
  d.width = 200;
  d.height = 120;
  d.controls = {
      Control(1, ControlType::kEntry, "Smith"),  Control(2, ControlType::kEntry, "London"),
      Control(3, ControlType::kThermometer, ""), Control(4, ControlType::kCheck, "Active"),
      Control(5, ControlType::kList, ""),        Control(6, ControlType::kText, "Note"),
  };
  Window window(d);
  std::uint8_t level = 0;
  std::uint8_t active = 1;
  std::uint8_t row = 2;
  window.BindByte(3, &level);
  window.BindByte(4, &active);
  window.BindByte(5, &row);
  window.SetListSource(
      5, {[] { return 3; }, [](int r, int) { return "Row " + std::to_string(r); }, {}});
  window.Display();
  window.Open();
  Settle();
  QtWindow* shown = presenter().widget(window.id());
  ASSERT_NE(shown, nullptr);
  auto* name = qobject_cast<QLineEdit*>(shown->control_widget(1));
  auto* city = qobject_cast<QLineEdit*>(shown->control_widget(2));
  auto* bar = qobject_cast<QProgressBar*>(shown->control_widget(3));
  auto* check = qobject_cast<QCheckBox*>(shown->control_widget(4));
  auto* list = qobject_cast<QAbstractItemView*>(shown->control_widget(5));
  QWidget* note = shown->control_widget(6);
  ASSERT_TRUE(name && city && bar && check && list && note);
  EXPECT_EQ(name->text(), "Smith");
  EXPECT_TRUE(check->isChecked());
  ASSERT_EQ(list->model()->rowCount(), 3);
  EXPECT_EQ(list->currentIndex().row(), 1);

  name->selectAll();
  QTest::keyClicks(name, "Smythe");  // the user types
  level = 250;                       // beyond the bar's range: shown full
  active = 0;
  row = 0;
  window.Display();
  window.SetCaption("Customer 17");
  window.SetText(2, "Paris");
  window.Hide(6);
  window.Select(2);
  window.Flush();
  Settle();
  EXPECT_EQ(shown->windowTitle(), "Customer 17");
  EXPECT_EQ(name->text(), "Smythe");
  EXPECT_EQ(city->text(), "Paris");
  EXPECT_EQ(bar->value(), 100);
  EXPECT_FALSE(check->isChecked());
  EXPECT_EQ(list->currentIndex().row(), -1);
  EXPECT_TRUE(note->isHidden());
  EXPECT_EQ(shown->focusWidget(), city);

  window.Hide(0);
  window.Flush();
  Settle();
  EXPECT_FALSE(shown->isVisible());
  window.Show(0);
  window.Flush();
  Settle();
  EXPECT_TRUE(shown->isVisible());
}

TEST(QtPresenterTest, MessageBoxesMapButtonsIconsAndEscape) {
  MessageBoxRequest request;
  request.text = "Save changes?|They will be lost otherwise.";
  request.caption = "Customer";
  request.icon = MessageIcon::kQuestion;
  request.buttons = ButtonYes | ButtonNo | ButtonCancel;
  request.default_button = ButtonNo;
  AnswerNextBox([](QMessageBox* box) {
    EXPECT_EQ(box->windowTitle(), "Customer");
    EXPECT_EQ(box->text(), "Save changes?\nThey will be lost otherwise.");
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(box, &escape);
  });
  testing::Watchdog watchdog("the message boxes to be answered");
  EXPECT_EQ(presenter().ShowMessageBox(request), ButtonCancel);

  // Without Cancel or No, dismissing the box answers its default button.
  request.icon = MessageIcon::kExclamation;
  request.buttons = ButtonAbort | ButtonRetry | ButtonIgnore;
  request.default_button = ButtonRetry;
  AnswerNextBox([](QMessageBox* box) {
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    box->close();
  });
  EXPECT_EQ(presenter().ShowMessageBox(request), ButtonRetry);

  request.buttons = ButtonYes | ButtonNo;
  request.default_button = ButtonYes;
  AnswerNextBox([](QMessageBox* box) { box->close(); });
  EXPECT_EQ(presenter().ShowMessageBox(request), ButtonNo);

  request.buttons = 0;
  AnswerNextBox([](QMessageBox* box) {
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(presenter().ShowMessageBox(request), ButtonOk);
}

TEST(QtPresenterTest, PumpEndsOnWakeOrDeadline) {
  // A wake that comes first ends the next pump at once, deadline or not.
  presenter().Wake();
  std::int64_t start = Runtime::clock().Now();
  presenter().PumpUntilWoken(start + qt_test::kPatience);
  EXPECT_LT(Runtime::clock().Now() - start, qt_test::kPatience / 2);

  start = Runtime::clock().Now();
  presenter().PumpUntilWoken(start + 5);
  EXPECT_GE(Runtime::clock().Now(), start + 5);

  testing::Watchdog watchdog("a pump that a wake from another thread ends");
  std::thread waker([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    presenter().Wake();
  });
  start = Runtime::clock().Now();
  presenter().PumpUntilWoken(start + qt_test::kPatience);
  EXPECT_LT(Runtime::clock().Now() - start, qt_test::kPatience / 2);
  waker.join();  // it never waits on the GUI thread
}

// Whether the program can show anything, answered before Qt is started (Qt aborts without a
// display it can reach), from the environment the platform plugin reads.
TEST(QtPresenterTest, DisplayCheckFollowsThePlatformPluginsEnvironment) {
  const std::string no_display =
      "morlan: no display available: set DISPLAY (or QT_QPA_PLATFORM=offscreen), or run it under "
      "xvfb-run";
  struct Case {
    const char* platform;
    const char* display;
    const char* wayland;
    bool usable;
  };
  const Case cases[] = {
      {nullptr, nullptr, nullptr, false},    {nullptr, ":0", nullptr, true},
      {nullptr, nullptr, "wayland-0", true}, {nullptr, "", "", false},
      {"", nullptr, nullptr, false},         {"", ":1", nullptr, true},
      {"offscreen", nullptr, nullptr, true}, {"offscreen:size=800x600", nullptr, nullptr, true},
      {"minimal", nullptr, nullptr, true},   {"xcb", nullptr, "wayland-0", false},
      {"xcb", ":0", nullptr, true},          {"xcb:nograb", ":0", nullptr, true},
      {"wayland", ":0", nullptr, false},     {"wayland", nullptr, "wayland-1", true},
      {"wayland;xcb", ":0", nullptr, true},  {"wayland;xcb", nullptr, nullptr, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("QT_QPA_PLATFORM=") + (c.platform ? c.platform : "(unset)") +
                 " DISPLAY=" + (c.display ? c.display : "(unset)") +
                 " WAYLAND_DISPLAY=" + (c.wayland ? c.wayland : "(unset)"));
    const auto environment = [&c](const char* name) -> const char* {
      const std::string_view n(name);
      if (n == "QT_QPA_PLATFORM") return c.platform;
      if (n == "DISPLAY") return c.display;
      if (n == "WAYLAND_DISPLAY") return c.wayland;
      return nullptr;
    };
    std::string why = "untouched";
    EXPECT_EQ(QtPresenter::DisplayUsable(environment, &why), c.usable);
    EXPECT_EQ(why, c.usable ? "untouched" : no_display);
  }
  // The tests themselves run offscreen.
  EXPECT_TRUE(QtPresenter::DisplayUsable());
}

}  // namespace
}  // namespace morlan
