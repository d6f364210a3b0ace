// What a person does in a shown window, with real key and mouse clicks (QtTest), and what the
// window's model gets from it: the same events, changes and key codes as a scripted person's in
// the headless presenter. Lists with columns that fetch only the page on screen, icons, sizes and
// focus changes of the window.
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QtTest/QTest>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/field_ref.h"
#include "gtest/gtest.h"
#include "platform/event_loop.h"
#include "platform/icon_names.h"
#include "platform/key_codes.h"
#include "platform/qt/qt_test_support.h"
#include "platform/qt/qt_window.h"
#include "platform/runtime.h"
#include "platform/user_action.h"
#include "platform/user_input.h"
#include "platform/window.h"
#include "testing/bounded_wait.h"

namespace morlan {
namespace {

using qt_test::Settle;
using qt_test::TakeEvents;

constexpr const char* kTwoColumns = "217L(2)|M~Message~S(255)@s255@42L(2)|M~Category~L(1)@s255@";

enum : int { kName = 1, kAge, kActive, kList, kOk, kCancel, kHiddenEntry };

ControlDefinition Control(int number, ControlType type, const char* text, int x, int y, int width,
                          int height) {
  ControlDefinition c;
  c.number = number;
  c.name = "?C" + std::to_string(number);
  c.type = type;
  c.text = text;
  c.x = x;
  c.y = y;
  c.width = width;
  c.height = height;
  return c;
}

WindowDefinition FormDefinition() {
  WindowDefinition d;
  d.id = "FORM";
  d.caption = "Customer";
  d.width = 220;
  d.height = 150;
  d.controls = {
      Control(kName, ControlType::kEntry, "", 4, 4, 90, 12),
      Control(kAge, ControlType::kEntry, "", 4, 20, 90, 12),
      Control(kActive, ControlType::kCheck, "Active", 4, 36, 90, 12),
      Control(kList, ControlType::kList, "", 4, 52, 210, 70),
      Control(kOk, ControlType::kButton, "OK", 130, 128, 40, 14),
      Control(kCancel, ControlType::kButton, "&Cancel", 174, 128, 40, 14),
      Control(kHiddenEntry, ControlType::kEntry, "", 100, 4, 90, 12),
  };
  d.controls[kList - 1].format = kTwoColumns;
  d.controls[kHiddenEntry - 1].hidden = true;
  return d;
}

Window::ListSource Rows(int count, int* cells_asked = nullptr) {
  return {[count] { return count; },
          [cells_asked](int row, int column) {
            if (cells_asked != nullptr) ++*cells_asked;
            return (column == 1 ? "Row " : "Cat ") + std::to_string(row);
          },
          {}};
}

// Everything an event reports but its window and action number, for comparing.
std::string Describe(const Event& e) {
  return "code " + std::to_string(e.code) + " control " + std::to_string(e.control) + " change " +
         std::to_string(static_cast<int>(e.change)) + " value " + std::to_string(e.value) +
         " extra " + std::to_string(e.extra) + " key " + std::to_string(e.key) + " text '" +
         e.text + "'";
}

// The events a person's action delivers (change-only events left out), each applied to the model
// as the event loop would, so the next action meets the model's answer.
std::vector<std::string> Deliver(Window& window) {
  std::vector<std::string> delivered;
  for (Event& e : TakeEvents(window)) {
    if (window.TakeInput(e)) delivered.push_back(Describe(e));
  }
  window.Flush();
  return delivered;
}

QtWindow* Shown(const Window& window) { return qt_test::Presenter().widget(window.id()); }

// Opens `window` and waits until its widget is up and active.
QtWindow* OpenAndActivate(Window& window) {
  window.Open();
  Settle();
  QtWindow* shown = Shown(window);
  if (shown == nullptr) return nullptr;
  shown->activateWindow();
  if (!QTest::qWaitForWindowActive(shown, 2000)) return nullptr;
  Settle();
  return shown;
}

// Key clicks go where the window's keyboard focus is, as a person's do.
void PressKey(QtWindow* shown, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QWidget* target = shown->focusWidget() != nullptr ? shown->focusWidget() : shown;
  QTest::keyClick(target, key, modifiers);
}

QPoint RowCentre(QAbstractItemView* view, int row) {
  return view->visualRect(view->model()->index(row - 1, 0)).center();
}

TEST(QtWindowInputTest, APersonsClicksAndKeysPostWhatAScriptedPersonPosts) {
  // The same form twice: one driven with real clicks and keys, one by a scripted person through
  // the shared translator, as the headless presenter does.
  Window scripted(FormDefinition());
  Window real(FormDefinition());
  for (Window* w : {&scripted, &real}) {
    w->SetListSource(kList, Rows(20));
    w->SetDefaultButton(kOk);
    w->SetAlertKey(kList, 255, kKeyF2);
  }
  scripted.Open();
  QtWindow* shown = OpenAndActivate(real);
  ASSERT_NE(shown, nullptr);
  TakeEvents(scripted);
  TakeEvents(real);
  UserInput person(scripted.Snapshot());

  auto* name = qobject_cast<QLineEdit*>(shown->control_widget(kName));
  auto* age = qobject_cast<QLineEdit*>(shown->control_widget(kAge));
  auto* active = qobject_cast<QCheckBox*>(shown->control_widget(kActive));
  auto* list = qobject_cast<QAbstractItemView*>(shown->control_widget(kList));
  auto* cancel = qobject_cast<QPushButton*>(shown->control_widget(kCancel));
  auto* ok = qobject_cast<QPushButton*>(shown->control_widget(kOk));
  ASSERT_TRUE(name && age && active && list && cancel && ok);

  struct Step {
    const char* what;
    std::function<void()> real;
    std::vector<UserAction> scripted;
  };
  const std::vector<Step> steps = {
      {"click into the name",
       [&] { QTest::mouseClick(name, Qt::LeftButton); },
       {UserAction::Focus(kName)}},
      {"type a name", [&] { QTest::keyClicks(name, "Jones"); }, {UserAction::Type(kName, "Jones")}},
      {"Tab", [&] { PressKey(shown, Qt::Key_Tab); }, {UserAction::Tab()}},
      {"type an age", [&] { QTest::keyClicks(age, "42"); }, {UserAction::Type(kAge, "42")}},
      {"Enter", [&] { PressKey(shown, Qt::Key_Return); }, {UserAction::Enter()}},
      {"click the check",
       [&] { QTest::mouseClick(active, Qt::LeftButton, {}, QPoint(8, active->height() / 2)); },
       {UserAction::Click(kActive)}},
      {"click the second row",
       [&] { QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowCentre(list, 2)); },
       {UserAction::PickRow(kList, 2)}},
      {"double-click the third row",
       [&] { QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, RowCentre(list, 3)); },
       {UserAction::ActivateRow(kList, 3)}},
      {"Down arrow", [&] { PressKey(shown, Qt::Key_Down); }, {UserAction::PickRow(kList, 4)}},
      {"the list's alert key", [&] { PressKey(shown, Qt::Key_F2); }, {UserAction::Key(kKeyF2)}},
      {"Enter in the list", [&] { PressKey(shown, Qt::Key_Enter); }, {UserAction::Enter()}},
      {"Escape", [&] { PressKey(shown, Qt::Key_Escape); }, {UserAction::Escape()}},
      {"Shift+Tab",
       [&] { PressKey(shown, Qt::Key_Backtab, Qt::ShiftModifier); },
       {UserAction::Key(kKeyTab + kKeyShift)}},
      {"Space on the check",
       [&] { PressKey(shown, Qt::Key_Space); },
       {UserAction::Click(kActive, kKeySpace)}},
      {"Cancel's mnemonic",
       [&] { QTest::keyClick(shown->focusWidget(), Qt::Key_C, Qt::AltModifier); },
       {UserAction::Click(kCancel, 'C' + kKeyAlt)}},
      {"type into the age, then click Cancel",
       [&] {
         QTest::mouseClick(age, Qt::LeftButton);
         age->selectAll();
         QTest::keyClicks(age, "7");
         QTest::mouseClick(cancel, Qt::LeftButton);
       },
       {UserAction::Focus(kAge), UserAction::Type(kAge, "7"), UserAction::Click(kCancel)}},
      {"the close box", [&] { shown->close(); }, {UserAction::CloseBox()}},
  };

  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.real();
    Settle();
    const std::vector<std::string> from_widgets = Deliver(real);
    Settle();  // the widgets see the model's answer
    for (const UserAction& action : step.scripted) person.Perform(action);
    const std::vector<std::string> from_script = Deliver(scripted);
    person.Apply(scripted.Snapshot());
    EXPECT_EQ(from_widgets, from_script);
    // The keyboard focus is where the model and the translator have it.
    EXPECT_EQ(shown->focusWidget(), shown->control_widget(real.focused_control()));
  }
  EXPECT_EQ(real.text(kName), "Jones");
  EXPECT_EQ(real.text(kAge), "7");
  EXPECT_EQ(real.value(kActive), 0);
  EXPECT_EQ(real.selected_row(kList), 4);
}

// Runs the window's event loop until what was queued so far is delivered; answers the events in
// order as "code control key".
std::vector<std::string> RunLoop(Window& window) {
  constexpr EventCode kEnough = 9999;
  window.Post(kEnough);
  testing::Watchdog watchdog("the loop to deliver the person's events");
  std::vector<std::string> seen;
  EventLoop loop(window);
  while (loop.NextEvent()) {
    if (loop.event() == kEnough) {
      loop.EndEvent(-1);
      break;
    }
    seen.push_back(std::to_string(loop.event()) + " " + std::to_string(loop.control()) + " " +
                   std::to_string(EventLoop::key_code()));
    if (loop.EndEvent(1)) break;
  }
  return seen;
}

TEST(QtWindowInputTest, ARefusedEntryShowsTheModelsValueAgainAndKeepsTheFocus) {
  Window window(FormDefinition());
  std::uint8_t age = 42;
  window.BindField(kAge, FieldRef(FieldType::kByte, reinterpret_cast<char*>(&age), 1));
  window.SetDefaultButton(kOk);
  window.Display();
  QtWindow* shown = OpenAndActivate(window);
  ASSERT_NE(shown, nullptr);
  auto* entry = qobject_cast<QLineEdit*>(shown->control_widget(kAge));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->text(), "42");
  TakeEvents(window);

  // A byte cannot hold 300: the entry is refused, and Enter does not press OK.
  QTest::mouseClick(entry, Qt::LeftButton);
  entry->selectAll();
  QTest::keyClicks(entry, "300");
  PressKey(shown, Qt::Key_Return);
  Settle();
  const std::vector<std::string> seen = RunLoop(window);
  EXPECT_EQ(seen, (std::vector<std::string>{"257 2 2", "26 2 13"}));
  Settle();
  EXPECT_EQ(age, 42);
  EXPECT_EQ(entry->text(), "42");
  EXPECT_EQ(shown->focusWidget(), entry);

  // Typing the same refused text again is refused again, not lost as "unchanged".
  entry->selectAll();
  QTest::keyClicks(entry, "300");
  PressKey(shown, Qt::Key_Tab);
  Settle();
  EXPECT_EQ(RunLoop(window), (std::vector<std::string>{"26 2 9"}));
  Settle();
  EXPECT_EQ(entry->text(), "42");
  EXPECT_EQ(shown->focusWidget(), entry);

  entry->selectAll();
  QTest::keyClicks(entry, "43");
  PressKey(shown, Qt::Key_Return);
  Settle();
  EXPECT_EQ(RunLoop(window), (std::vector<std::string>{"1 2 13", "1 5 13"}));
  EXPECT_EQ(age, 43);
  window.Close();
}

// A list window whose list shows `rows` rows from a source that counts the cells it is asked.
struct ListWindow {
  explicit ListWindow(int rows) : window(Definition()) {
    window.SetListSource(1, Rows(rows, &cells_asked));
  }
  static WindowDefinition Definition() {
    WindowDefinition d;
    d.id = "LIST";
    d.caption = "Messages";
    d.width = 260;
    d.height = 90;
    d.controls = {Control(1, ControlType::kList, "", 4, 4, 250, 70),
                  Control(2, ControlType::kButton, "Close", 214, 76, 40, 12)};
    d.controls[0].format = kTwoColumns;
    return d;
  }
  Window window;
  int cells_asked = 0;
};

// The rows a list view shows, partly shown ones included.
int VisibleRows(QAbstractItemView* view) {
  const int row_height = view->visualRect(view->model()->index(0, 0)).height();
  return (view->viewport()->height() + row_height - 1) / row_height;
}

std::string Cell(QAbstractItemView* view, int row, int column) {
  return view->model()->index(row - 1, column - 1).data().toString().toStdString();
}

TEST(QtWindowInputTest, ListsShowTheirColumnsAndFetchOnlyThePageOnScreen) {
  ListWindow big(100000);
  QtWindow* shown = OpenAndActivate(big.window);
  ASSERT_NE(shown, nullptr);
  auto* view = qobject_cast<QAbstractItemView*>(shown->control_widget(1));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->model()->rowCount(), 100000);
  ASSERT_EQ(view->model()->columnCount(), 2);
  EXPECT_EQ(view->model()->headerData(0, Qt::Horizontal).toString(), "Message");
  EXPECT_EQ(view->model()->headerData(1, Qt::Horizontal).toString(), "Category");
  auto* table = qobject_cast<QTableView*>(view);
  ASSERT_NE(table, nullptr);
  QHeaderView* header = table->horizontalHeader();
  EXPECT_GT(header->sectionSize(0), 4 * header->sectionSize(1));

  // Once shown, the view tells the model how many rows fit; the model's page is exactly those.
  const int visible = VisibleRows(view);
  for (const std::string& e : Deliver(big.window)) EXPECT_EQ(e.rfind("code 515 ", 0), 0u) << e;
  Settle();
  EXPECT_EQ(big.window.page_rows(1), visible);
  EXPECT_EQ(Cell(view, 1, 1), "Row 1");
  EXPECT_EQ(Cell(view, visible, 2), "Cat " + std::to_string(visible));

  // A refresh costs the page's cells, no more than a list of ten rows in the same view.
  ListWindow small(10);
  ASSERT_NE(OpenAndActivate(small.window), nullptr);
  Deliver(small.window);
  Settle();
  big.cells_asked = 0;
  small.cells_asked = 0;
  big.window.Display();
  small.window.Display();
  EXPECT_EQ(big.cells_asked, 2 * visible);
  EXPECT_EQ(small.cells_asked, big.cells_asked);
  small.window.Close();
  ASSERT_NE(OpenAndActivate(big.window), nullptr);
  Deliver(big.window);  // the focus going away and coming back
  Settle();

  // Scrolling to the end asks for the last page, which then shows.
  view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
  Settle();
  std::vector<Event> events = TakeEvents(big.window);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].code, EventNone);
  EXPECT_EQ(events[0].change, InputChange::kPage);
  EXPECT_GT(events[0].value, 100000 - visible);
  EXPECT_FALSE(big.window.TakeInput(events[0]));
  big.window.Flush();
  Settle();
  EXPECT_EQ(Cell(view, 100000, 1), "Row 100000");
  EXPECT_GE(big.window.first_row(1), 100000 - visible);

  // The program selects a row far away: the view shows it, and nothing echoes back as the
  // person's doing.
  big.window.SelectRow(1, 50000);
  big.window.Flush();
  Settle();
  const QModelIndex selected = view->currentIndex();
  EXPECT_EQ(selected.row(), 49999);
  EXPECT_TRUE(view->viewport()->rect().intersects(view->visualRect(selected)));
  EXPECT_EQ(Cell(view, 50000, 1), "Row 50000");
  EXPECT_TRUE(view->selectionModel()->isRowSelected(49999, {}));
  EXPECT_TRUE(TakeEvents(big.window).empty());

  // A click on a row reports its number in the whole list.
  const int first = big.window.first_row(1);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, RowCentre(view, first + 1));
  Settle();
  events = TakeEvents(big.window);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().code, EventNewSelection);
  EXPECT_EQ(events.back().value, first + 1);
  big.window.Close();
}

QImage IconImage(QtWindow* shown, int control) {
  auto* label = qobject_cast<QLabel*>(shown->control_widget(control));
  if (label == nullptr) return {};
  return label->pixmap().toImage();
}

TEST(QtWindowInputTest, ImagesShowTheIconTheyName) {
  WindowDefinition d;
  d.id = "ICONS";
  d.caption = "Icons";
  d.width = 120;
  d.height = 40;
  for (int i = 1; i <= 3; ++i) {
    d.controls.push_back(Control(i, ControlType::kImage, "", 4 + 30 * (i - 1), 4, 26, 28));
  }
  Window window(d);
  window.SetIcon(1, kIconExclamation);
  window.SetIcon(2, "32515");  // a number the presenter knows nothing about
  window.Open();
  Settle();
  QtWindow* shown = Shown(window);
  ASSERT_NE(shown, nullptr);
  const QImage exclamation = IconImage(shown, 1);
  EXPECT_FALSE(exclamation.isNull());
  EXPECT_FALSE(IconImage(shown, 2).isNull());
  EXPECT_TRUE(IconImage(shown, 3).isNull());

  window.SetIcon(3, kIconQuestion);
  window.SetIcon(1, "");
  window.Flush();
  Settle();
  EXPECT_FALSE(IconImage(shown, 3).isNull());
  EXPECT_NE(IconImage(shown, 3), exclamation);
  EXPECT_TRUE(IconImage(shown, 1).isNull());
  window.Close();
}

TEST(QtWindowInputTest, ResizingAndSwitchingWindowsAreReported) {
  Window first(ListWindow::Definition());
  QtWindow* shown = OpenAndActivate(first);
  ASSERT_NE(shown, nullptr);
  // Coming up is no person's doing: the open event only (and the list's page).
  for (const std::string& e : Deliver(first)) EXPECT_EQ(e.rfind("code 515 ", 0), 0u) << e;

  shown->resize(shown->width() + 80, shown->height() + 40);
  Settle();
  std::vector<Event> events = TakeEvents(first);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].code, EventSized);
  EXPECT_EQ(events[0].change, InputChange::kSize);
  EXPECT_GT(events[0].value, 260);
  EXPECT_GT(events[0].extra, 90);
  EXPECT_TRUE(first.TakeInput(events[0]));
  EXPECT_EQ(first.width(), events[0].value);
  first.Flush();
  Settle();
  EXPECT_TRUE(TakeEvents(first).empty());

  // Another window takes the focus, then this one gets it back.
  Window second(ListWindow::Definition());
  ASSERT_NE(OpenAndActivate(second), nullptr);
  events = TakeEvents(first);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].code, EventLoseFocus);
  shown->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(shown, 2000));
  Settle();
  events = TakeEvents(first);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].code, EventGainFocus);
  second.Close();
  first.Close();
}

// A window like the error history's: an icon, a two-column list and a right-aligned row of
// buttons, of which the program shows two.
TEST(QtWindowInputTest, ListWindowWithIconAndButtonRowScreenshot) {
  WindowDefinition d;
  d.id = "HISTORY";
  d.caption = "Error";
  d.width = 320;
  d.height = 96;
  d.controls = {Control(300, ControlType::kImage, "", 2, 4, 26, 28),
                Control(200, ControlType::kList, "", 32, 4, 286, 71)};
  d.controls[1].format = kTwoColumns;
  for (int k = 1; k <= 8; ++k) {
    const std::string caption = "Button " + std::to_string(k);
    ControlDefinition button =
        Control(108 - k, ControlType::kButton, "", 4 + 40 * (k - 1), 80, 36, 14);
    button.text = caption;
    button.hidden = true;
    d.controls.push_back(button);
  }
  Window window(d);
  const std::vector<std::pair<std::string, std::string>> history = {
      {"Unable to open VRSQ1.qdl: the file is locked by another station.", "KWT"},
      {"Record Insert Error on VRSQ2.qdl", "KWT"},
      {"A line of 300 characters was cut to 255.", "Data"},
  };
  window.SetListSource(
      200, {[&] { return static_cast<int>(history.size()); },
            [&](int row, int column) {
              const auto& entry = history[static_cast<std::size_t>(row - 1)];
              return column == 1 ? entry.first : column == 2 ? entry.second : std::string();
            },
            {}});
  window.SetCaption("Errors History");
  window.SetIcon(300, kIconExclamation);
  window.SetText(100, "&Help");
  window.Show(100);
  window.SetText(101, "O&k");
  window.Show(101);
  window.SetDefaultButton(101);
  window.Select(101);
  window.SelectRow(200, 3);
  EXPECT_EQ(window.column_count(200), 2);
  QtWindow* shown = OpenAndActivate(window);
  ASSERT_NE(shown, nullptr);
  Deliver(window);
  Settle();

  auto* view = qobject_cast<QAbstractItemView*>(shown->control_widget(200));
  auto* help = qobject_cast<QPushButton*>(shown->control_widget(100));
  auto* ok = qobject_cast<QPushButton*>(shown->control_widget(101));
  ASSERT_TRUE(view && help && ok);
  EXPECT_FALSE(IconImage(shown, 300).isNull());
  EXPECT_EQ(view->currentIndex().row(), 2);
  EXPECT_EQ(Cell(view, 3, 2), "Data");
  EXPECT_TRUE(ok->isVisible() && help->isVisible());
  EXPECT_LT(ok->x(), help->x());
  EXPECT_GT(help->x() + help->width(), view->x() + view->width() - help->width() / 2);
  for (int c = 102; c <= 107; ++c) EXPECT_TRUE(shown->control_widget(c)->isHidden()) << c;
  EXPECT_TRUE(ok->isDefault());
  EXPECT_EQ(shown->focusWidget(), ok);

  const std::filesystem::path png = qt_test::ScreenshotPath("list.png");
  std::filesystem::remove(png);
  EXPECT_TRUE(shown->grab().save(QString::fromStdString(png.string()), "PNG"));
  EXPECT_TRUE(std::filesystem::exists(png));

  // Enter from the list presses the default button.
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, RowCentre(view, 1));
  PressKey(shown, Qt::Key_Return);
  Settle();
  const std::vector<std::string> delivered = Deliver(window);
  ASSERT_FALSE(delivered.empty());
  EXPECT_EQ(delivered.back(),
            Describe(Event{EventAccepted, 101, 0, InputChange::kNone, 0, 0, kKeyEnter}));
  window.Close();
}

}  // namespace
}  // namespace morlan
