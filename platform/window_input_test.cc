// What a person does, driven through the headless presenter's script, reaching the window model,
// its bound fields and the event loop; lists that fetch only their page.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/field_ref.h"
#include "gtest/gtest.h"
#include "platform/event_loop.h"
#include "platform/headless_presenter.h"
#include "platform/icon_names.h"
#include "platform/key_codes.h"
#include "platform/manual_clock.h"
#include "platform/runtime.h"
#include "platform/window.h"
#include "testing/bounded_wait.h"

namespace morlan {
namespace {

enum : int {
  kName = 1,
  kAge,
  kCount,
  kTotal,
  kPrice,
  kActive,
  kList,
  kOk,
  kCancel,
  kImage,
  kNote,
};

ControlDefinition Control(int number, ControlType type, const char* text = "") {
  ControlDefinition c;
  c.number = number;
  c.name = "?C" + std::to_string(number);
  c.type = type;
  c.text = text;
  return c;
}

WindowDefinition FormDefinition() {
  WindowDefinition d;
  d.id = "FORM";
  d.caption = "Customer";
  d.width = 200;
  d.height = 150;
  d.controls = {Control(kName, ControlType::kEntry),    Control(kAge, ControlType::kEntry),
                Control(kCount, ControlType::kEntry),   Control(kTotal, ControlType::kEntry),
                Control(kPrice, ControlType::kEntry),   Control(kActive, ControlType::kCheck),
                Control(kList, ControlType::kList),     Control(kOk, ControlType::kButton, "OK"),
                Control(kCancel, ControlType::kButton), Control(kImage, ControlType::kImage),
                Control(kNote, ControlType::kText)};
  d.controls[kList - 1].height = 50;  // a page of 5 rows until the presenter says otherwise
  d.controls[kList - 1].format = "217L(2)|M~Message~S(255)@s255@42L(2)|M~Category~L(1)@s255@";
  d.controls[kNote - 1].hidden = true;
  return d;
}

// The record buffer a form edits.
struct Record {
  char name[10];
  std::uint8_t age;
  std::int16_t count;
  std::int32_t total;
  double price;
  std::uint8_t active;
};

struct Seen {
  EventCode code;
  int control;
  int key;
};

class WindowInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Runtime::InstallPresenter(&presenter_);
    Runtime::InstallClock(&clock_);
    EventLoop::set_key_code(0);
    std::memset(&record_, 0, sizeof record_);
    std::memcpy(record_.name, "Smith     ", 10);
    record_.age = 42;
    record_.count = 7;
    record_.total = 1000;
    record_.price = 9.5;
  }
  void TearDown() override { Runtime::Reset(); }

  void Bind(Window& window) {
    window.BindField(kName, FieldRef(FieldType::kText, record_.name, 10));
    window.BindField(kAge, FieldRef(FieldType::kByte, reinterpret_cast<char*>(&record_.age), 1));
    window.BindField(kCount,
                     FieldRef(FieldType::kShort, reinterpret_cast<char*>(&record_.count), 2));
    window.BindField(kTotal,
                     FieldRef(FieldType::kLong, reinterpret_cast<char*>(&record_.total), 4));
    window.BindField(kPrice,
                     FieldRef(FieldType::kReal, reinterpret_cast<char*>(&record_.price), 8));
    window.BindField(kActive,
                     FieldRef(FieldType::kByte, reinterpret_cast<char*>(&record_.active), 1));
  }

  // Runs the loop over `window` until it is over, ending events with `end(loop)`; records every
  // event delivered with the key code it left.
  template <typename End>
  std::vector<Seen> Run(Window& window, End end) {
    testing::Watchdog watchdog("the scripted window's loop to end");
    std::vector<Seen> seen;
    EventLoop loop(window);
    while (loop.NextEvent()) {
      seen.push_back({loop.event(), loop.control(), EventLoop::key_code()});
      if (loop.EndEvent(end(loop))) break;
    }
    return seen;
  }
  std::vector<Seen> Run(Window& window) {
    return Run(window, [](EventLoop&) { return 0; });
  }

  static std::vector<EventCode> Codes(const std::vector<Seen>& seen) {
    std::vector<EventCode> codes;
    for (const Seen& s : seen) codes.push_back(s.code);
    return codes;
  }

  HeadlessPresenter presenter_;
  ManualClock clock_{1000};
  Record record_;
};

TEST_F(WindowInputTest, AFormShowsItsFieldsAndTheHandlerFindsWhatThePersonAccepted) {
  Window window(FormDefinition());
  Bind(window);
  window.Display();
  EXPECT_EQ(window.text(kName), "Smith");
  EXPECT_EQ(window.text(kAge), "42");
  EXPECT_EQ(window.text(kPrice), "9.5");
  EXPECT_EQ(window.value(kActive), 0);

  presenter_.ScriptFor("FORM", {UserAction::Type(kName, "Jones"), UserAction::Type(kAge, "43"),
                                UserAction::Type(kCount, "-12"), UserAction::Type(kTotal, "70000"),
                                UserAction::Type(kPrice, "2.25"), UserAction::Check(kActive, true),
                                UserAction::Click(kOk)});
  window.Open();
  std::vector<std::string> at_accept;  // the bound field as the handler saw it
  const auto seen = Run(window, [&](EventLoop& loop) {
    if (loop.event() != EventAccepted) return 0;
    switch (loop.control()) {
      case kName:
        at_accept.emplace_back(record_.name, 10);
        break;
      case kAge:
        at_accept.push_back(std::to_string(record_.age));
        break;
      case kActive:
        at_accept.push_back(std::to_string(record_.active));
        break;
      case kOk:
        return -1;
    }
    return 0;
  });
  EXPECT_EQ(at_accept, (std::vector<std::string>{"Jones     ", "43", "1"}));
  EXPECT_EQ(record_.count, -12);
  EXPECT_EQ(record_.total, 70000);
  EXPECT_EQ(record_.price, 2.25);
  EXPECT_EQ(window.text(kCount), "-12");
  EXPECT_EQ(window.focused_control(), kOk);
  // Each entry was accepted as the person left it, each control selected as it took the focus.
  std::vector<Seen> controls;
  for (const Seen& s : seen) {
    if (s.code == EventAccepted || s.code == EventSelected) controls.push_back(s);
  }
  ASSERT_EQ(controls.size(), 14u);
  EXPECT_EQ(controls[0].code, EventSelected);
  EXPECT_EQ(controls[0].control, kName);
  EXPECT_EQ(controls[1].code, EventAccepted);
  EXPECT_EQ(controls[1].control, kName);
  EXPECT_EQ(controls[2].control, kAge);
  EXPECT_EQ(controls.back().control, kOk);
  EXPECT_EQ(controls.back().key, kKeyMouseLeft);
  EXPECT_TRUE(presenter_.scripts_ran_dry().empty());
}

TEST_F(WindowInputTest, InputAFieldCannotHoldIsRejectedAndTheFieldKeepsItsValue) {
  struct Case {
    int control;
    const char* text;
  };
  const Case refused[] = {
      {kAge, "abc"},    {kAge, "300"},   {kAge, "-1"},    {kAge, "4.5"},     {kCount, "40000"},
      {kTotal, "1e12"}, {kPrice, "nan"}, {kPrice, "inf"}, {kTotal, "12abc"},
  };
  for (const Case& c : refused) {
    Window window(FormDefinition());
    Bind(window);
    window.Display();
    const std::string before(window.text(c.control));
    const Record saved = record_;
    presenter_.ScriptFor("FORM", {UserAction::Type(c.control, c.text), UserAction::Tab()});
    window.Open();
    const int restored_before = window.Snapshot().controls[c.control - 1].restored;
    std::vector<Seen> seen;
    std::string text_at_reject;
    seen = Run(window, [&](EventLoop& loop) {
      if (loop.event() == EventRejected) text_at_reject = window.text(loop.control());
      return 0;
    });
    const auto codes = Codes(seen);
    EXPECT_NE(std::find(codes.begin(), codes.end(), EventRejected), codes.end()) << c.text;
    EXPECT_EQ(std::find(codes.begin(), codes.end(), EventAccepted), codes.end()) << c.text;
    EXPECT_EQ(text_at_reject, before) << c.text;
    EXPECT_EQ(std::memcmp(&saved, &record_, sizeof record_), 0) << c.text << " changed the record";
    // The presenter is told to show the model's value again over the refused text.
    EXPECT_GT(window.Snapshot().controls[c.control - 1].restored, restored_before) << c.text;
  }

  // Texts are cut at the field's width, never refused; the entry shows what was stored.
  Window window(FormDefinition());
  Bind(window);
  presenter_.ScriptFor("FORM", {UserAction::Type(kName, "Montgomery-Smith"), UserAction::Tab(),
                                UserAction::Type(kAge, " "), UserAction::Tab()});
  window.Open();
  const auto codes = Codes(Run(window));
  EXPECT_EQ(std::count(codes.begin(), codes.end(), EventAccepted), 2);
  EXPECT_EQ(std::string(record_.name, 10), "Montgomery");
  EXPECT_EQ(window.text(kName), "Montgomery");
  EXPECT_EQ(record_.age, 0);  // a blank number entry is zero
}

TEST_F(WindowInputTest, EnterPressesTheDefaultButtonUnlessTheEntryWasRefused) {
  Window window(FormDefinition());
  Bind(window);
  window.SetDefaultButton(kOk);
  presenter_.ScriptFor("FORM", {UserAction::Type(kAge, "x"), UserAction::Enter(),
                                UserAction::Type(kAge, "18"), UserAction::Enter()});
  window.Open();
  std::vector<Seen> controls;
  Run(window, [&](EventLoop& loop) {
    if (loop.event() == EventAccepted || loop.event() == EventRejected) {
      controls.push_back({loop.event(), loop.control(), EventLoop::key_code()});
    }
    return loop.event() == EventAccepted && loop.control() == kOk ? -1 : 0;
  });
  ASSERT_EQ(controls.size(), 3u);
  EXPECT_EQ(controls[0].code, EventRejected);  // and nothing pressed OK behind it
  EXPECT_EQ(controls[1].code, EventAccepted);
  EXPECT_EQ(controls[1].control, kAge);
  EXPECT_EQ(controls[2].control, kOk);
  EXPECT_EQ(controls[2].key, kKeyEnter);
  EXPECT_EQ(record_.age, 18);
}

TEST_F(WindowInputTest, KeysReachTheLoopAsEventsAndKeyCodes) {
  Window window(FormDefinition());
  window.SetAlertKey(kName, 255, kKeyF3);
  presenter_.ScriptFor(
      "FORM", {UserAction::Focus(kName), UserAction::Key(kKeyF3),
               UserAction::Key(kKeyF4),  // no alert key: nothing happens
               UserAction::Tab(), UserAction::Key(kKeyTab + kKeyShift), UserAction::Escape()});
  window.Open();
  int closes = 0;
  const auto seen = Run(window, [&](EventLoop& loop) {
    if (loop.event() != EventCloseWindow) return 0;
    // The window refuses to close, and the script has run dry after Escape.
    return ++closes == 1 + HeadlessPresenter::kDryCloses ? -1 : 1;
  });
  std::vector<Seen> keyed;
  for (const Seen& s : seen) {
    if (s.code != EventOpenWindow) keyed.push_back(s);
  }
  ASSERT_GE(keyed.size(), 5u);
  EXPECT_EQ(keyed[0].code, EventSelected);
  EXPECT_EQ(keyed[1].code, EventAlertKey);
  EXPECT_EQ(keyed[1].control, kName);
  EXPECT_EQ(keyed[1].key, kKeyF3);
  EXPECT_EQ(keyed[2].code, EventSelected);  // Tab: the next control that takes the focus
  EXPECT_EQ(keyed[2].control, kAge);
  EXPECT_EQ(keyed[3].control, kName);  // Shift+Tab: back
  EXPECT_EQ(keyed[4].code, EventCloseWindow);
  EXPECT_EQ(keyed[4].key, kKeyEscape);
  // The script ran dry with the window refusing to close: the presenter pressed the close box a
  // bounded number of times for the person, and then no more.
  EXPECT_EQ(presenter_.scripts_ran_dry(), std::vector<int>{window.id()});
  EXPECT_EQ(static_cast<int>(keyed.size()), 5 + HeadlessPresenter::kDryCloses);
  EXPECT_EQ(keyed.back().key, kKeyMouseLeft);
  presenter_.BeforeWait(window.id());
  EXPECT_EQ(window.queue()->size(), 0u);
}

TEST_F(WindowInputTest, ClicksChecksAndFocusFollowThePersonNotTheControlKinds) {
  Window window(FormDefinition());
  window.SetValue(kActive, 1);
  presenter_.ScriptFor(
      "FORM", {UserAction::Click(kNote),          // hidden: nothing
               UserAction::Click(kImage),         // an image takes no click
               UserAction::Check(kActive, true),  // already checked: nothing
               UserAction::Click(kActive), UserAction::Click(kCancel), UserAction::Resize(300, 180),
               UserAction::Activate(false), UserAction::Activate(true), UserAction::CloseBox()});
  window.Open();
  int value_at_accept = -1;
  const auto seen = Run(window, [&](EventLoop& loop) {
    if (loop.event() == EventAccepted && loop.control() == kActive) {
      value_at_accept = window.value(kActive);
    }
    return 0;
  });
  EXPECT_EQ(Codes(seen),
            (std::vector<EventCode>{EventOpenWindow, EventSelected, EventAccepted, EventSelected,
                                    EventAccepted, EventSized, EventLoseFocus, EventGainFocus,
                                    EventCloseWindow}));
  EXPECT_EQ(value_at_accept, 0);
  EXPECT_EQ(window.width(), 300);
  EXPECT_EQ(window.height(), 180);
  EXPECT_EQ(window.Snapshot().width, 300);
}

TEST_F(WindowInputTest, ScriptsServeTheOpeningsOfADefinitionInTurnAndOtherThreadsCanAct) {
  presenter_.ScriptFor("FORM", {UserAction::Click(kOk)});
  presenter_.ScriptFor("FORM", {UserAction::Click(kCancel)});
  std::vector<int> pressed;
  for (int opening = 0; opening < 2; ++opening) {
    Window window(FormDefinition());
    window.Open();
    Run(window, [&](EventLoop& loop) {
      if (loop.event() != EventAccepted) return 0;
      pressed.push_back(loop.control());
      return -1;
    });
  }
  EXPECT_EQ(pressed, (std::vector<int>{kOk, kCancel}));
  EXPECT_EQ(presenter_.actions_left(), 0u);

  // A window without a script is driven from another thread, and left alone when idle.
  Window window(FormDefinition());
  Bind(window);
  window.Open();
  std::atomic<bool> typed{false};
  std::thread person([&] {
    ASSERT_TRUE(presenter_.Perform(window.id(), UserAction::Type(kName, "Brown")));
    ASSERT_TRUE(presenter_.Perform(window.id(), UserAction::Click(kOk)));
    typed = true;
  });
  Run(window, [&](EventLoop& loop) {
    return loop.event() == EventAccepted && loop.control() == kOk ? -1 : 0;
  });
  person.join();
  EXPECT_TRUE(typed);
  EXPECT_EQ(std::string(record_.name, 10), "Brown     ");
  EXPECT_TRUE(presenter_.scripts_ran_dry().empty());
  window.Close();
  EXPECT_FALSE(presenter_.Perform(window.id(), UserAction::Click(kOk)));
}

// A list source that counts what it is asked.
struct CountingRows {
  int rows = 0;
  int cells = 0;
  int counts = 0;
  bool changed = true;
  Window::ListSource Source() {
    return {[this] {
              ++counts;
              return rows;
            },
            [this](int row, int column) {
              ++cells;
              return (column == 1 ? "Message " : "Cat ") + std::to_string(row);
            },
            [this] { return changed; }};
  }
};

TEST_F(WindowInputTest, AListFetchesOnlyItsPageWhateverItsLength) {
  int cells_fetched[2] = {};
  const int lengths[2] = {10, 100000};
  for (int i = 0; i < 2; ++i) {
    Window window(FormDefinition());
    CountingRows rows;
    rows.rows = lengths[i];
    window.SetListSource(kList, rows.Source());
    window.Open();
    rows.cells = 0;
    for (int refresh = 0; refresh < 10; ++refresh) window.Display(kList);
    cells_fetched[i] = rows.cells;
    const WindowSnapshot s = window.Snapshot();
    const ControlSnapshot& list = s.controls[kList - 1];
    EXPECT_EQ(list.total_rows, lengths[i]);
    EXPECT_EQ(list.rows.size(), 5u);  // the page, never the whole list
    EXPECT_EQ(list.rows[0], (std::vector<std::string>{"Message 1", "Cat 1"}));
    window.Close();
  }
  EXPECT_EQ(cells_fetched[0], cells_fetched[1]) << "refresh cost grows with the row count";
  EXPECT_EQ(cells_fetched[0], 10 * 5 * 2);

  // A source that says nothing changed is not asked for its page again.
  Window window(FormDefinition());
  CountingRows rows;
  rows.rows = 100000;
  window.SetListSource(kList, rows.Source());
  rows.changed = false;
  rows.cells = 0;
  rows.counts = 0;
  window.Display();
  EXPECT_EQ(rows.cells + rows.counts, 0);
  EXPECT_EQ(window.column_count(kList), 2);
  EXPECT_EQ((*window.columns(kList))[1].title, "Category");
}

TEST_F(WindowInputTest, TheSelectedRowStaysOnThePageThePersonScrollsAndPicks) {
  Window window(FormDefinition());
  CountingRows rows;
  rows.rows = 1000;
  // Selected before the list has its rows, as a window does when it opens.
  window.SelectRow(kList, 1000);
  window.SetListSource(kList, rows.Source());
  EXPECT_EQ(window.selected_row(kList), 1000);
  EXPECT_EQ(window.first_row(kList), 996);
  window.SelectRow(kList, 5000);  // past the end: the last row
  EXPECT_EQ(window.selected_row(kList), 1000);
  window.SelectRow(kList, 3);
  EXPECT_EQ(window.first_row(kList), 3);

  presenter_.ScriptFor("FORM", {UserAction::Scroll(kList, 500, 8), UserAction::PickRow(kList, 504),
                                UserAction::ActivateRow(kList, 505)});
  window.Open();
  int first_at_selection = 0;
  int selected_at_selection = 0;
  const auto seen = Run(window, [&](EventLoop& loop) {
    if (loop.event() == EventNewSelection && selected_at_selection == 0) {
      first_at_selection = window.first_row(kList);
      selected_at_selection = window.selected_row(kList);
    }
    return loop.event() == EventAccepted ? -1 : 0;
  });
  // The scroll is applied, never delivered.
  EXPECT_EQ(Codes(seen), (std::vector<EventCode>{EventOpenWindow, EventSelected, EventNewSelection,
                                                 EventNewSelection, EventAccepted}));
  EXPECT_EQ(first_at_selection, 500);
  EXPECT_EQ(selected_at_selection, 504);
  EXPECT_EQ(window.page_rows(kList), 8);
  EXPECT_EQ(window.selected_row(kList), 505);
  const ControlSnapshot list = window.Snapshot().controls[kList - 1];
  ASSERT_EQ(list.rows.size(), 8u);
  EXPECT_EQ(list.rows[0][0], "Message 500");
}

TEST_F(WindowInputTest, IconsAndAlertKeysTravelInTheSnapshot) {
  Window window(FormDefinition());
  window.SetIcon(kImage, kIconExclamation);
  window.SetAlertKey(kName, 255, kKeyF3);
  window.Open();
  EXPECT_EQ(presenter_.window(window.id())->controls[kImage - 1].icon, kIconExclamation);
  EXPECT_EQ(presenter_.window(window.id())->controls[kName - 1].alert_keys,
            std::vector<int>{kKeyF3});
  window.SetIcon(kImage, "32515");
  window.SetAlertKey(kName, 255, 0);  // cleared
  window.Flush();
  EXPECT_EQ(presenter_.window(window.id())->controls[kImage - 1].icon, "32515");
  EXPECT_TRUE(IsIconNumber(window.icon(kImage)));
  EXPECT_FALSE(IsIconNumber(kIconExclamation));
  EXPECT_TRUE(presenter_.window(window.id())->controls[kName - 1].alert_keys.empty());
}

}  // namespace
}  // namespace morlan
