// The application frame on screen: its menu bar and status bar, windows opened while it is shown
// becoming its children, and the standard actions of its menu (window arrangement, clipboard,
// printer set-up, help, exit). Leaves screenshots/frame_menu.png and frame_progress.png.
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPrintDialog>
#include <QProgressBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QtTest/QTest>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform/event_loop.h"
#include "platform/qt/qt_frame_actions.h"
#include "platform/qt/qt_help_window.h"
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

// The Window and Help menus have no number of their own in the frame's listing; they take the
// next free ones.
enum : int { kWindowMenu = -15, kHelpMenu = -16 };

ControlDefinition Menu(int number, const char* name, const char* text, const char* message = "") {
  ControlDefinition c;
  c.number = number;
  c.name = name;
  c.type = ControlType::kMenu;
  c.text = text;
  c.message = message;
  return c;
}

ControlDefinition Entry(int number, const char* name, const char* text, int menu,
                        const char* message, StandardAction action) {
  ControlDefinition c = Menu(number, name, text, message);
  c.type = ControlType::kMenuItem;
  c.parent = menu;
  c.action = action;
  return c;
}

// An application frame like the program's own.
WindowDefinition FrameDefinition() {
  WindowDefinition d;
  d.id = "P1$APPFRAME";
  d.caption = "Application";
  d.is_frame = true;
  d.width = 310;
  d.height = 190;
  d.controls = {
      Menu(-1, "?FILEMENU", "&File"),
      Entry(-2, "?PRINTSETUP", "P&rint Setup...", -1, "Setup Printer",
            StandardAction::kPrinterSetup),
      Entry(-3, "?EXIT", "E&xit", -1, "Exit this application", StandardAction::kCloseWindow),
      Entry(-4, "?FIXQDL", "Fix QDL", 0, "", StandardAction::kNone),
      Menu(-5, "?EDITMENU", "&Edit"),
      Entry(-6, "?CUT", "Cu&t", -5, "Remove item to Windows Clipboard", StandardAction::kCut),
      Entry(-7, "?COPY", "&Copy", -5, "Copy item to Windows Clipboard", StandardAction::kCopy),
      Entry(-8, "?PASTE", "&Paste", -5, "Paste contents of Windows Clipboard",
            StandardAction::kPaste),
      Menu(kWindowMenu, "", "&Window", "Create and Arrange windows"),
      Entry(-9, "?TILE", "T&ile", kWindowMenu, "Make all open windows visible",
            StandardAction::kTile),
      Entry(-10, "?CASCADE", "&Cascade", kWindowMenu, "Stack all open windows",
            StandardAction::kCascade),
      Entry(-11, "?ARRANGE", "&Arrange Icons", kWindowMenu, "Align all window icons",
            StandardAction::kArrangeIcons),
      Menu(kHelpMenu, "", "&Help", "Windows Help"),
      Entry(-12, "?HELPINDEX", "&Contents", kHelpMenu, "View the contents of the help file",
            StandardAction::kHelpContents),
      Entry(-13, "?HELPSEARCH", "&Search for Help On...", kHelpMenu, "Search for help on a subject",
            StandardAction::kHelpSearch),
      Entry(-14, "?HELPONHELP", "&How to Use Help", kHelpMenu, "How to use Windows Help",
            StandardAction::kHelpOnHelp),
  };
  return d;
}

// A small window with one entry field (control 1).
WindowDefinition SmallDefinition(const char* id, const char* caption) {
  WindowDefinition d;
  d.id = id;
  d.caption = caption;
  d.width = 80;
  d.height = 30;
  ControlDefinition entry;
  entry.number = 1;
  entry.name = "?ENTRY";
  entry.type = ControlType::kEntry;
  entry.x = 4;
  entry.y = 4;
  entry.width = 70;
  entry.height = 12;
  d.controls = {entry};
  return d;
}

QtWindow* Shown(const Window& window) { return qt_test::Presenter().widget(window.id()); }

QtWindow* OpenShown(Window& window) {
  window.Open();
  Settle();
  return Shown(window);
}

QtFrameActions& Actions() {
  return static_cast<QtFrameActions&>(qt_test::Presenter().frame_actions());
}

// Runs the frame's event loop on this (the GUI) thread until it has handled the person's choice
// of menu entry `control`, with the default handling that carries out its standard action.
void ChooseFromMenu(Window& frame, int control) {
  QtWindow* shown = Shown(frame);
  ASSERT_NE(shown, nullptr);
  QAction* action = shown->control_action(control);
  ASSERT_NE(action, nullptr) << "menu entry " << control;
  action->trigger();
  testing::Watchdog watchdog("the frame to handle menu entry " + std::to_string(control));
  EventLoop loop(frame);
  while (loop.NextEvent()) {
    const bool chosen = loop.event() == EventAccepted && loop.control() == control;
    if (loop.EndEvent(0) || chosen) break;
  }
}

// The frame and every popup menu over it, as a person sees them.
QImage Screen(QtWindow& frame) {
  QImage image = frame.grab().toImage();
  QPainter painter(&image);
  for (QWidget* top : QApplication::topLevelWidgets()) {
    auto* menu = qobject_cast<QMenu*>(top);
    if (menu == nullptr || !menu->isVisible()) continue;
    painter.drawPixmap(frame.mapFromGlobal(menu->geometry().topLeft()), menu->grab());
  }
  return image;
}

void SaveScreenshot(const QImage& image, const std::string& name) {
  const std::filesystem::path png = qt_test::ScreenshotPath(name);
  std::filesystem::remove(png);
  EXPECT_TRUE(image.save(QString::fromStdString(png.string()), "PNG"));
  EXPECT_TRUE(std::filesystem::exists(png));
}

TEST(QtFrameTest, TheMenuBarCarriesTheEntriesTheirAccessKeysAndMessages) {
  Window frame(FrameDefinition());
  QtWindow* shown = OpenShown(frame);
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->windowTitle(), "Application");
  QMdiArea* area = shown->mdi_area();
  ASSERT_NE(area, nullptr) << "the frame's client area is a workspace for child windows";
  EXPECT_EQ(shown->centralWidget(), area);
  // The client area opens at the definition's size, and the person may make it smaller.
  const QFontMetrics metrics(shown->font());
  EXPECT_NEAR(area->width(), 310 * metrics.averageCharWidth() / 4.0, 2);
  EXPECT_NEAR(area->height(), 190 * metrics.height() / 8.0, 2);
  EXPECT_LT(shown->minimumSizeHint().height(), shown->height() / 2);

  struct Expected {
    const char* text;
    const char* message;
    std::vector<std::pair<const char*, const char*>> entries;
  };
  const std::vector<Expected> bar = {
      {"&File", "", {{"P&rint Setup...", "Setup Printer"}, {"E&xit", "Exit this application"}}},
      {"Fix QDL", "", {}},
      {"&Edit",
       "",
       {{"Cu&t", "Remove item to Windows Clipboard"},
        {"&Copy", "Copy item to Windows Clipboard"},
        {"&Paste", "Paste contents of Windows Clipboard"}}},
      {"&Window",
       "Create and Arrange windows",
       {{"T&ile", "Make all open windows visible"},
        {"&Cascade", "Stack all open windows"},
        {"&Arrange Icons", "Align all window icons"}}},
      {"&Help",
       "Windows Help",
       {{"&Contents", "View the contents of the help file"},
        {"&Search for Help On...", "Search for help on a subject"},
        {"&How to Use Help", "How to use Windows Help"}}},
  };
  const QList<QAction*> actions = shown->menuBar()->actions();
  ASSERT_EQ(actions.size(), static_cast<qsizetype>(bar.size()));
  for (std::size_t i = 0; i < bar.size(); ++i) {
    SCOPED_TRACE(bar[i].text);
    QAction* top = actions[static_cast<qsizetype>(i)];
    EXPECT_EQ(top->text(), bar[i].text);
    EXPECT_EQ(top->statusTip(), bar[i].message);
    if (bar[i].entries.empty()) {
      EXPECT_EQ(top->menu(), nullptr) << "a command on the bar itself";
      continue;
    }
    ASSERT_NE(top->menu(), nullptr);
    const QList<QAction*> entries = top->menu()->actions();
    ASSERT_EQ(entries.size(), static_cast<qsizetype>(bar[i].entries.size()));
    for (std::size_t j = 0; j < bar[i].entries.size(); ++j) {
      EXPECT_EQ(entries[static_cast<qsizetype>(j)]->text(), bar[i].entries[j].first);
      EXPECT_EQ(entries[static_cast<qsizetype>(j)]->statusTip(), bar[i].entries[j].second);
    }
  }

  // The person opens File and rests on Print Setup: its message shows in the status bar.
  shown->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(shown, 2000));
  QMenu* file = actions[0]->menu();
  shown->menuBar()->setActiveAction(actions[0]);
  ASSERT_TRUE(PumpUntil([&] { return file->isVisible(); })) << "the File menu never opened";
  file->setActiveAction(file->actions()[0]);
  Settle();
  EXPECT_EQ(shown->statusBar()->currentMessage(), "Setup Printer");
  SaveScreenshot(Screen(*shown), "frame_menu.png");
  file->hide();
  Settle();

  // Fix QDL is the frame's own command: it reaches the frame's model.
  TakeEvents(frame);
  shown->control_action(-4)->trigger();
  const std::vector<Event> events = TakeEvents(frame);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].code, EventAccepted);
  EXPECT_EQ(events[0].control, -4);

  // Exit closes the frame through its model.
  shown->control_action(-3)->trigger();
  {
    testing::Watchdog watchdog("Exit to close the frame");
    EventLoop loop(frame);
    while (loop.NextEvent()) {
      if (loop.EndEvent(0)) break;
    }
  }
  EXPECT_FALSE(frame.is_open());
  Settle();
  EXPECT_EQ(Shown(frame), nullptr);
}

TEST(QtFrameTest, WindowsOpenedWhileTheFrameIsShownAreItsChildrenAndTheWindowMenuArrangesThem) {
  Window lone(SmallDefinition("LONE", "Before the frame"));
  QtWindow* lone_shown = OpenShown(lone);
  ASSERT_NE(lone_shown, nullptr);
  EXPECT_EQ(lone_shown->subwindow(), nullptr);

  Window frame(FrameDefinition());
  QtWindow* frame_shown = OpenShown(frame);
  ASSERT_NE(frame_shown, nullptr);
  QMdiArea* area = frame_shown->mdi_area();
  ASSERT_NE(area, nullptr);

  // One child from this thread, one from a procedure thread.
  Window first(SmallDefinition("FIRST", "First"));
  QtWindow* first_shown = OpenShown(first);
  struct Worker {
    std::atomic<int> window_id{0};
    std::atomic<bool> release{false};
  };
  auto worker = std::make_shared<Worker>();
  ASSERT_TRUE(Runtime::StartThread(
      [worker] {
        Window second(SmallDefinition("SECOND", "Second"));
        second.Open();
        worker->window_id = second.id();
        (void)testing::WaitUntil([&] { return worker->release.load(); });
        second.Close();
      },
      0));
  QtWindow* second_shown = nullptr;
  ASSERT_TRUE(PumpUntil([&] {
    second_shown =
        worker->window_id != 0 ? qt_test::Presenter().widget(worker->window_id) : nullptr;
    return second_shown != nullptr;
  })) << "the procedure thread's window never showed";
  Settle();

  ASSERT_NE(first_shown, nullptr);
  QMdiSubWindow* first_sub = first_shown->subwindow();
  QMdiSubWindow* second_sub = second_shown->subwindow();
  ASSERT_NE(first_sub, nullptr) << "a window opened while the frame is shown is its child";
  ASSERT_NE(second_sub, nullptr) << "whichever thread opened it";
  EXPECT_EQ(first_sub->mdiArea(), area);
  EXPECT_EQ(second_sub->mdiArea(), area);
  EXPECT_EQ(area->subWindowList().size(), 2);
  EXPECT_EQ(first_sub->windowTitle(), "First");
  EXPECT_TRUE(first_sub->isVisible());
  EXPECT_EQ(lone_shown->subwindow(), nullptr) << "a window open before the frame stays apart";
  EXPECT_TRUE(lone_shown->isWindow());
  EXPECT_EQ(area->activeSubWindow(), second_sub) << "the newest child comes up active";

  // The Window menu's entries, chosen in the frame.
  const QRect space = area->viewport()->rect();
  ChooseFromMenu(frame, -9);
  EXPECT_FALSE(first_sub->geometry().intersects(second_sub->geometry()));
  for (QMdiSubWindow* sub : {first_sub, second_sub}) {
    EXPECT_TRUE(space.contains(sub->geometry())) << "tiled inside the frame";
    EXPECT_GT(sub->width() * sub->height(), space.width() * space.height() / 4);
  }

  ChooseFromMenu(frame, -10);
  EXPECT_TRUE(first_sub->geometry().intersects(second_sub->geometry()));
  const QPoint step = second_sub->pos() - first_sub->pos();
  EXPECT_NE(step.x(), 0);
  EXPECT_EQ(step.x() > 0, step.y() > 0) << "one below and to the right of the other";

  // Arrange Icons lines the minimised children up along the bottom; the others stay put.
  first_sub->showMinimized();
  Settle();
  first_sub->move(space.width() / 2, 5);
  const QRect second_before = second_sub->geometry();
  ChooseFromMenu(frame, -11);
  EXPECT_EQ(first_sub->x(), 0);
  EXPECT_EQ(first_sub->geometry().bottom(), space.bottom());
  EXPECT_EQ(second_sub->geometry(), second_before);
  first_sub->showNormal();
  Settle();

  // A child's close box asks its model; the child stays until the model closes it.
  TakeEvents(first);
  EXPECT_FALSE(first_sub->close());
  Settle();
  EXPECT_EQ(first_shown->subwindow(), first_sub);
  std::vector<Event> events = TakeEvents(first);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].code, EventCloseWindow);
  first.Close();
  Settle();
  EXPECT_EQ(area->subWindowList().size(), 1);

  // The frame going first leaves its remaining child a window of its own, still shown.
  frame.Close();
  Settle();
  ASSERT_EQ(qt_test::Presenter().widget(worker->window_id), second_shown);
  EXPECT_EQ(second_shown->subwindow(), nullptr);
  EXPECT_TRUE(second_shown->isWindow());
  EXPECT_TRUE(second_shown->isVisible());
  EXPECT_EQ(second_shown->windowTitle(), "Second");

  worker->release = true;
  ASSERT_TRUE(PumpUntil([] { return Runtime::RunningThreads() == 0; }));
  Settle();
  EXPECT_EQ(qt_test::Presenter().widget(worker->window_id), nullptr);
}

TEST(QtFrameTest, CutCopyAndPasteFromTheEditMenuActOnTheFocusedEntry) {
  Window frame(FrameDefinition());
  QtWindow* frame_shown = OpenShown(frame);
  ASSERT_NE(frame_shown, nullptr);
  Window form(SmallDefinition("FORM", "Form"));
  QtWindow* form_shown = OpenShown(form);
  ASSERT_NE(form_shown, nullptr);
  frame_shown->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame_shown, 2000));
  auto* entry = qobject_cast<QLineEdit*>(form_shown->control_widget(1));
  ASSERT_NE(entry, nullptr);
  QTest::mouseClick(entry, Qt::LeftButton);
  QTest::keyClicks(entry, "Hello world");
  ASSERT_EQ(QApplication::focusWidget(), entry);

  // Another child whose model moves its focus while the person types here takes nothing away.
  Window other(SmallDefinition("OTHER", "Other"));
  ASSERT_NE(OpenShown(other), nullptr);
  QTest::mouseClick(entry, Qt::LeftButton);
  ASSERT_EQ(QApplication::focusWidget(), entry);
  other.Select(1);
  other.SetText(1, "Busy");
  other.Flush();
  Settle();
  EXPECT_EQ(QApplication::focusWidget(), entry);
  QApplication::clipboard()->clear();

  entry->setSelection(6, 5);
  ChooseFromMenu(frame, -7);
  EXPECT_EQ(QApplication::clipboard()->text(), "world");
  EXPECT_EQ(entry->text(), "Hello world");

  entry->setSelection(0, 6);
  ChooseFromMenu(frame, -6);
  EXPECT_EQ(QApplication::clipboard()->text(), "Hello ");
  EXPECT_EQ(entry->text(), "world");
  EXPECT_EQ(QApplication::focusWidget(), entry) << "the menu leaves the focus in the entry";

  entry->end(false);
  ChooseFromMenu(frame, -8);
  EXPECT_EQ(entry->text(), "worldHello ");

  // The form's model hears the result as the person's typing.
  TakeEvents(form);
  QTest::keyClick(entry, Qt::Key_Return);
  bool accepted = false;
  for (const Event& e : TakeEvents(form)) {
    if (e.code == EventAccepted && e.control == 1) accepted = e.text == "worldHello ";
  }
  EXPECT_TRUE(accepted) << "leaving the entry accepts what the clipboard put there";

  // A read-only field only gives its text away.
  entry->setReadOnly(true);
  entry->setFocus();
  entry->selectAll();
  ChooseFromMenu(frame, -6);
  EXPECT_EQ(entry->text(), "worldHello ");
  EXPECT_EQ(QApplication::clipboard()->text(), "worldHello ");
  ChooseFromMenu(frame, -8);
  EXPECT_EQ(entry->text(), "worldHello ");
}

TEST(QtFrameTest, PrintSetupOpensOneModalPrinterDialog) {
  Window frame(FrameDefinition());
  ASSERT_NE(OpenShown(frame), nullptr);
  ChooseFromMenu(frame, -2);
  ASSERT_TRUE(PumpUntil([] {
    return Actions().printer_setup_dialog() != nullptr &&
           Actions().printer_setup_dialog()->isVisible();
  })) << "the printer set-up dialog never came up";
  QDialog* dialog = Actions().printer_setup_dialog();
  EXPECT_NE(qobject_cast<QPrintDialog*>(dialog), nullptr);
  EXPECT_EQ(dialog->windowModality(), Qt::ApplicationModal);
  EXPECT_EQ(QApplication::activeModalWidget(), dialog);

  // Choosing it again while it is up brings up no second one.
  Actions().PrinterSetup();
  Settle();
  EXPECT_EQ(Actions().printer_setup_dialog(), dialog);
  int dialogs = 0;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (qobject_cast<QPrintDialog*>(top) != nullptr) ++dialogs;
  }
  EXPECT_EQ(dialogs, 1);
  SaveScreenshot(dialog->grab().toImage(), "print_setup.png");

  dialog->reject();
  ASSERT_TRUE(PumpUntil([] { return Actions().printer_setup_dialog() == nullptr; }))
      << "the dialog stayed after it was closed";
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  frame.Close();
  Settle();
}

TEST(QtFrameTest, HelpOpensOneWindowAtTheContentsTheSearchOrHowToUseIt) {
  Window frame(FrameDefinition());
  ASSERT_NE(OpenShown(frame), nullptr);
  ChooseFromMenu(frame, -12);
  QtHelpWindow* help = Actions().help_window();
  ASSERT_NE(help, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return help->isVisible(); }));
  QTextBrowser* text = help->browser();
  const QString plain = text->toPlainText();
  for (const char* name : {"VRSQ1.qdl", "VRSQ2.qdl", "morlan.INI", "KWTError.Log", "Cancel"}) {
    EXPECT_TRUE(plain.contains(name)) << name;
  }
  QScrollBar* scroll = text->verticalScrollBar();
  ASSERT_GT(scroll->maximum(), 0) << "the text is longer than the window";
  EXPECT_EQ(scroll->value(), 0);

  // Search: the field takes the focus; Enter finds the text, again the next place it is.
  ChooseFromMenu(frame, -13);
  EXPECT_EQ(Actions().help_window(), help) << "one help window";
  help->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(help, 2000));
  Settle();
  QLineEdit* field = help->search_field();
  EXPECT_EQ(QApplication::focusWidget(), field);
  QTest::keyClicks(field, "kwterror.log");
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_EQ(text->textCursor().selectedText(), "KWTError.Log") << "found, in any case";
  const int first = text->textCursor().position();
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_EQ(text->textCursor().selectedText(), "KWTError.Log");
  EXPECT_NE(text->textCursor().position(), first) << "Enter again finds the next place";
  EXPECT_TRUE(help->search_status()->text().isEmpty());
  field->selectAll();
  QTest::keyClicks(field, "no such words here");
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_FALSE(help->search_status()->text().isEmpty()) << "the person is told it is not there";

  // How to Use Help shows the part on using this help.
  ChooseFromMenu(frame, -14);
  const QTextCursor heading = text->document()->find(
      "Using this help", text->document()->characterCount(), QTextDocument::FindBackward);
  ASSERT_FALSE(heading.isNull());
  EXPECT_TRUE(text->viewport()->rect().contains(text->cursorRect(heading).center()));
  EXPECT_GT(scroll->value(), 0);
  SaveScreenshot(help->grab().toImage(), "help.png");

  // Contents goes back to the top.
  ChooseFromMenu(frame, -12);
  EXPECT_EQ(scroll->value(), 0);
  EXPECT_EQ(Actions().help_window(), help);
  help->close();
  frame.Close();
  Settle();
}

TEST(QtFrameTest, AProcedureThreadsProgressWindowShowsInsideTheFrame) {
  Window frame(FrameDefinition());
  QtWindow* frame_shown = OpenShown(frame);
  ASSERT_NE(frame_shown, nullptr);
  struct Shared {
    std::atomic<int> window_id{0};
    std::atomic<bool> at_half{false};
    std::atomic<bool> shot_taken{false};
  };
  auto shared = std::make_shared<Shared>();
  ASSERT_TRUE(Runtime::StartThread(
      [shared] {
        Window window(testing::ProgressWindowDefinition("Processing Records", 2));
        std::uint8_t percent = 0;
        window.BindByte(1, &percent);
        window.SetText(3, "0% Completed");
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
              (void)testing::WaitUntil([&] { return shared->shot_taken.load(); });
            }
            if (percent == 100) window.Close();
          }
          if (loop.EndEvent(0)) break;
        }
      },
      25000));

  ASSERT_TRUE(PumpUntil([&] { return shared->at_half.load(); }));
  Settle();
  QtWindow* progress = qt_test::Presenter().widget(shared->window_id);
  ASSERT_NE(progress, nullptr);
  ASSERT_NE(progress->subwindow(), nullptr);
  EXPECT_EQ(progress->subwindow()->mdiArea(), frame_shown->mdi_area());
  EXPECT_EQ(progress->subwindow()->windowTitle(), "Processing Records");
  EXPECT_EQ(qobject_cast<QProgressBar*>(progress->control_widget(1))->value(), 50);
  EXPECT_EQ(qobject_cast<QLabel*>(progress->control_widget(3))->text(), "50% Complete");
  const QRect inside = progress->subwindow()->geometry();
  EXPECT_TRUE(frame_shown->mdi_area()->viewport()->rect().contains(inside));
  SaveScreenshot(Screen(*frame_shown), "frame_progress.png");
  shared->shot_taken = true;

  ASSERT_TRUE(PumpUntil([] { return Runtime::RunningThreads() == 0; }));
  Settle();
  EXPECT_TRUE(frame_shown->mdi_area()->subWindowList().isEmpty());
  frame.Close();
  Settle();
}

}  // namespace
}  // namespace morlan
