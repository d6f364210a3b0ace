// The translation of a person's actions into events, read straight off the window's queue.
#include "platform/user_input.h"

#include <cstdint>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform/event_loop.h"
#include "platform/event_queue.h"
#include "platform/headless_presenter.h"
#include "platform/key_codes.h"
#include "platform/manual_clock.h"
#include "platform/runtime.h"
#include "platform/window.h"
#include "testing/bounded_wait.h"

namespace morlan {
namespace {

enum : int { kName = 1, kAge, kHidden, kLabel, kList, kCheck, kOk };

ControlDefinition Control(int number, ControlType type, bool hidden = false) {
  ControlDefinition c;
  c.number = number;
  c.name = "?C" + std::to_string(number);
  c.type = type;
  c.hidden = hidden;
  return c;
}

WindowDefinition Definition() {
  WindowDefinition d;
  d.id = "INPUT";
  d.controls = {Control(kName, ControlType::kEntry),         Control(kAge, ControlType::kEntry),
                Control(kHidden, ControlType::kEntry, true), Control(kLabel, ControlType::kText),
                Control(kList, ControlType::kList),          Control(kCheck, ControlType::kCheck),
                Control(kOk, ControlType::kButton)};
  return d;
}

class UserInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Runtime::InstallPresenter(&presenter_);
    Runtime::InstallClock(&clock_);
    window_.Open();
    Event opened;
    ASSERT_TRUE(window_.queue()->TakeFor(window_.id(), &opened));
    input_ = UserInput(window_.Snapshot());
  }
  void TearDown() override {
    window_.Close();
    Runtime::Reset();
  }

  std::vector<Event> Posted() {
    std::vector<Event> events;
    Event event;
    while (window_.queue()->TakeFor(window_.id(), &event)) events.push_back(event);
    return events;
  }

  HeadlessPresenter presenter_;
  ManualClock clock_{1000};
  Window window_{Definition()};
  UserInput input_;
};

TEST_F(UserInputTest, LeavingAnEntryAcceptsItsTextAsOneActionWithTheFocusMove) {
  ASSERT_TRUE(input_.Type(kName, "Jones"));
  const std::vector<Event> typing = Posted();
  ASSERT_EQ(typing.size(), 1u);  // the focus came to the entry; the typing itself posts nothing
  EXPECT_EQ(typing[0].code, EventSelected);

  ASSERT_TRUE(input_.PressKey(kKeyTab));
  const std::vector<Event> left = Posted();
  ASSERT_EQ(left.size(), 2u);
  EXPECT_EQ(left[0].code, EventAccepted);
  EXPECT_EQ(left[0].control, kName);
  EXPECT_EQ(left[0].change, InputChange::kText);
  EXPECT_EQ(left[0].text, "Jones");
  EXPECT_EQ(left[1].code, EventSelected);
  EXPECT_EQ(left[1].control, kAge);
  EXPECT_EQ(left[1].change, InputChange::kFocus);
  EXPECT_NE(left[0].action, 0u);
  EXPECT_EQ(left[0].action, left[1].action);
  EXPECT_NE(left[0].action, typing[0].action);

  // Leaving an entry nobody typed in accepts nothing.
  ASSERT_TRUE(input_.Focus(kName));
  ASSERT_EQ(Posted().size(), 1u);
}

TEST_F(UserInputTest, TabVisitsOnlyShownControlsThatTakeTheFocusAndWrapsAround) {
  std::vector<int> order;
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(input_.PressKey(kKeyTab));
    order.push_back(input_.focused());
  }
  EXPECT_EQ(order, (std::vector<int>{kName, kAge, kList, kCheck, kOk}));
  ASSERT_TRUE(input_.PressKey(kKeyTab));
  EXPECT_EQ(input_.focused(), kName);
  ASSERT_TRUE(input_.PressKey(kKeyTab + kKeyShift));
  EXPECT_EQ(input_.focused(), kOk);
  EXPECT_FALSE(input_.Type(kHidden, "x"));
  EXPECT_FALSE(input_.Focus(kLabel));
  EXPECT_FALSE(input_.PressKey('A'));  // the widget's own business
}

TEST_F(UserInputTest, EnterWithoutADefaultButtonPressesTheFocusedButtonOrList) {
  input_.Focus(kOk);
  Posted();
  ASSERT_TRUE(input_.PressKey(kKeyEnter));
  std::vector<Event> events = Posted();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].code, EventAccepted);
  EXPECT_EQ(events[0].control, kOk);

  input_.Focus(kName);
  Posted();
  ASSERT_TRUE(input_.PressKey(kKeyEnter));  // an entry is accepted even unchanged
  events = Posted();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].control, kName);
  EXPECT_EQ(events[0].key, kKeyEnter);
}

TEST_F(UserInputTest, AStaleSnapshotNeverUndoesWhatThePersonJustDid) {
  const WindowSnapshot before = window_.Snapshot();
  input_.Type(kName, "typed");
  input_.Click(kCheck);
  EXPECT_EQ(input_.value(kCheck), 1);
  // A snapshot made before the model heard of any of it.
  WindowSnapshot stale = before;
  stale.caption = "Other";
  input_.Apply(stale);
  EXPECT_EQ(input_.text(kName), "typed");
  EXPECT_EQ(input_.value(kCheck), 1);
  EXPECT_EQ(input_.focused(), kCheck);

  // What the model itself changes does replace it.
  window_.SetText(kName, "model");
  window_.Select(kAge);
  input_.Apply(window_.Snapshot());
  EXPECT_EQ(input_.text(kName), "model");
  EXPECT_EQ(input_.focused(), kAge);
}

TEST_F(UserInputTest, ARefusedEntryGetsTheModelsTextAndTheFocusBack) {
  std::uint8_t age = 42;
  window_.BindField(kAge, FieldRef(FieldType::kByte, reinterpret_cast<char*>(&age), 1));
  window_.Display();
  input_.Apply(window_.Snapshot());
  input_.Type(kAge, "many");
  input_.PressKey(kKeyTab);  // accepted for the age, and the focus on to the list
  window_.Post(EventCloseWindow);
  std::vector<EventCode> delivered;
  {
    testing::Watchdog watchdog("the loop over the refused input to end");
    EventLoop loop(window_);
    while (loop.NextEvent()) {
      delivered.push_back(loop.event());
      const bool close = loop.event() == EventCloseWindow;
      if (loop.EndEvent(close ? 1 : 0) || close) break;
    }
  }
  // The focus move was part of the refused action: never applied, never delivered.
  EXPECT_EQ(delivered, (std::vector<EventCode>{EventSelected, EventRejected, EventCloseWindow}));
  EXPECT_EQ(window_.focused_control(), kAge);
  EXPECT_EQ(age, 42);
  input_.Apply(window_.Snapshot());
  EXPECT_EQ(input_.text(kAge), "42");
  EXPECT_EQ(input_.focused(), kAge);
}

// A greyed control (a menu command while it cannot run, say) takes no click, focus or typing,
// and Enter does not press a greyed default button.
TEST_F(UserInputTest, AGreyedControlCannotBeUsedUntilItIsEnabledAgain) {
  window_.Disable(kOk);
  window_.Disable(kName);
  EXPECT_TRUE(window_.disabled(kOk));
  input_.Apply(window_.Snapshot());
  EXPECT_FALSE(input_.Click(kOk));
  EXPECT_FALSE(input_.Type(kName, "Jones"));
  EXPECT_FALSE(input_.Focus(kName));
  input_.Focus(kAge);
  Posted();
  window_.SetDefaultButton(kOk);
  input_.Apply(window_.Snapshot());
  ASSERT_TRUE(input_.PressKey(kKeyEnter));  // the entry is accepted; the greyed default is not
  std::vector<Event> events = Posted();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].control, kAge);

  window_.Enable(kOk);
  EXPECT_FALSE(window_.disabled(kOk));
  input_.Apply(window_.Snapshot());
  ASSERT_TRUE(input_.Click(kOk));
  events = Posted();
  ASSERT_EQ(events.size(), 2u);  // the focus moves to the button, then it is pressed
  EXPECT_EQ(events[1].code, EventAccepted);
  EXPECT_EQ(events[1].control, kOk);
}

// Escape asks a dialog to close; in the application frame it must not end the program. The close
// box closes either.
TEST_F(UserInputTest, EscapeClosesADialogButNotTheFrame) {
  ASSERT_TRUE(input_.PressKey(kKeyEscape));
  const std::vector<Event> dialog = Posted();
  ASSERT_EQ(dialog.size(), 1u);
  EXPECT_EQ(dialog[0].code, EventCloseWindow);

  WindowDefinition frame_definition = Definition();
  frame_definition.id = "FRAME";
  frame_definition.is_frame = true;
  Window frame(frame_definition);
  frame.Open();
  UserInput frame_input(frame.Snapshot());
  EXPECT_FALSE(frame_input.PressKey(kKeyEscape));  // the widget may have the key instead
  EXPECT_TRUE(frame_input.CloseBox());
  Event event;
  std::vector<EventCode> codes;
  while (frame.queue()->TakeFor(frame.id(), &event)) codes.push_back(event.code);
  EXPECT_EQ(codes, (std::vector<EventCode>{EventOpenWindow, EventCloseWindow}));
  frame.Close();
}

}  // namespace
}  // namespace morlan
