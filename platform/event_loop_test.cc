#include "platform/event_loop.h"

#include <pthread.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "platform/drag_setting.h"
#include "platform/headless_presenter.h"
#include "platform/manual_clock.h"
#include "platform/name_binding_scope.h"
#include "platform/runtime.h"
#include "platform/user_action.h"
#include "platform/window.h"
#include "testing/bounded_wait.h"
#include "testing/progress_window.h"

namespace morlan {
namespace {

WindowDefinition ProgressDefinition(int timer = 0) {
  return testing::ProgressWindowDefinition("Progress...", timer);
}

ControlDefinition Control(int number, const char* name, ControlType type, const char* text = "") {
  ControlDefinition c;
  c.number = number;
  c.name = name;
  c.type = type;
  c.text = text;
  return c;
}

struct Delivered {
  EventCode code;
  int control;
  std::int64_t time;
};

class RuntimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Runtime::InstallPresenter(&presenter_);
    Runtime::InstallClock(&clock_);
  }
  void TearDown() override { Runtime::Reset(); }

  // Runs a loop over `window`, ending every event with `end(event)`, and records the events.
  template <typename End>
  std::vector<Delivered> Run(Window& window, End end) {
    testing::Watchdog watchdog("the event loop to end");
    std::vector<Delivered> seen;
    EventLoop loop(window);
    while (loop.NextEvent()) {
      seen.push_back({loop.event(), loop.control(), clock_.Now()});
      if (loop.EndEvent(end(loop))) break;
    }
    return seen;
  }

  HeadlessPresenter presenter_;
  ManualClock clock_{1000};
};

TEST_F(RuntimeTest, EventsArriveInOrderAndTheCloseDefaultEndsTheLoop) {
  Window window(ProgressDefinition());
  window.Open();
  window.Post(EventAccepted, 4);
  window.Post(EventNewSelection, 2);
  window.Post(EventCloseWindow);
  window.Post(EventAccepted, 3);  // never delivered: the window closed before it
  const auto seen = Run(window, [](EventLoop&) { return 0; });
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].code, EventOpenWindow);
  EXPECT_EQ(seen[1].code, EventAccepted);
  EXPECT_EQ(seen[1].control, 4);
  EXPECT_EQ(seen[2].code, EventNewSelection);
  EXPECT_EQ(seen[3].code, EventCloseWindow);
  EXPECT_FALSE(window.is_open());
  EXPECT_EQ(presenter_.closed_windows(), std::vector<int>{window.id()});
}

TEST_F(RuntimeTest, AnEventLeftWithoutAnEndStillGetsTheDefaultHandling) {
  Window window(ProgressDefinition());
  window.Open();
  window.Post(EventCloseWindow);
  testing::Watchdog watchdog("the loop to end after a close event nobody ended");
  EventLoop loop(window);
  ASSERT_TRUE(loop.NextEvent());
  ASSERT_FALSE(loop.EndEvent(1));
  ASSERT_TRUE(loop.NextEvent());
  ASSERT_EQ(loop.event(), EventCloseWindow);
  // The handler returns without ending the close event: the next wait closes the window first.
  EXPECT_FALSE(loop.NextEvent());
  EXPECT_FALSE(window.is_open());
  EXPECT_EQ(presenter_.closed_windows(), std::vector<int>{window.id()});
}

TEST_F(RuntimeTest, ClosedWindowsLeaveNothingQueuedSoTheQueueStaysBounded) {
  Window keeper(ProgressDefinition());
  keeper.Open();
  keeper.Post(EventAccepted, 4);
  const std::shared_ptr<EventQueue> queue = keeper.queue();
  for (int i = 0; i < 300; ++i) {
    Window window(ProgressDefinition());
    window.Open();
    window.Post(EventAccepted, 4);  // never taken: the window closes first
    // The presenter posts what the user does to the queue it was given, also once the window
    // has closed; another thread posts around the close.
    const std::shared_ptr<EventQueue> shown_queue = presenter_.window(window.id())->queue;
    std::thread poster([&] {
      for (int n = 0; n < 5; ++n) window.Post(EventNewSelection, 2);
    });
    window.Close();
    {
      testing::Watchdog watchdog("a poster thread to end");
      poster.join();
    }
    window.Post(EventCloseWindow);
    shown_queue->Post(Event{EventAccepted, 4, window.id()});
    ASSERT_LE(queue->size(), 2u) << "after " << i + 1 << " windows opened and closed";
  }
  // The window still open kept its own events, in order.
  keeper.Post(EventCloseWindow);
  std::vector<EventCode> codes;
  for (const Delivered& d : Run(keeper, [](EventLoop&) { return 0; })) codes.push_back(d.code);
  EXPECT_EQ(codes, (std::vector<EventCode>{EventOpenWindow, EventAccepted, EventCloseWindow}));
  EXPECT_EQ(queue->size(), 0u);
}

TEST_F(RuntimeTest, EndCodesDecideHowTheLoopGoesOn) {
  Window window(ProgressDefinition());
  window.Open();
  window.Post(EventCloseWindow);  // dealt with: the window stays open
  window.Post(EventAccepted, 4);  // leave
  int accepted = 0;
  const auto seen = Run(window, [&](EventLoop& loop) {
    if (loop.event() == EventCloseWindow) return 1;
    if (loop.event() == EventAccepted) {
      accepted = loop.accepted_control();
      return -1;
    }
    return 0;
  });
  EXPECT_EQ(seen.size(), 3u);
  EXPECT_EQ(accepted, 4);
  EXPECT_TRUE(window.is_open());
}

TEST_F(RuntimeTest, TimerEventsComeAtTheIntervalAndOnlyWhenIdle) {
  Window window(ProgressDefinition(/*timer=*/50));
  window.Open();
  int timers = 0;
  const auto seen = Run(window, [&](EventLoop& loop) {
    if (loop.event() != EventTimer) return 0;
    if (++timers == 2) {
      // Work queued during a timer event goes before the next timer event, however late.
      clock_.Advance(500);
      loop.window().Post(EventAccepted, 4);
    }
    return timers == 4 ? -1 : 1;
  });
  std::vector<EventCode> codes;
  for (const Delivered& d : seen) codes.push_back(d.code);
  EXPECT_EQ(codes, (std::vector<EventCode>{EventOpenWindow, EventTimer, EventTimer, EventAccepted,
                                           EventTimer, EventTimer}));
  EXPECT_EQ(seen[1].time, 1050);
  EXPECT_EQ(seen[2].time, 1100);
  EXPECT_EQ(seen[4].time, 1600);  // the interval counts from the last timer event
  EXPECT_EQ(seen[5].time, 1650);

  // Switched off, the timer makes no more events; the loop waits for posted ones.
  window.SetTimer(0);
  window.Post(EventCloseWindow);
  EXPECT_EQ(Run(window, [](EventLoop&) { return 0; }).size(), 1u);
}

TEST_F(RuntimeTest, AModalLoopDeliversOnlyItsOwnWindowsEvents) {
  // An outer window whose timer handler runs an inner window modally, as a batch that shows a
  // message window does, and a person answers it: the outer timer must not run another batch
  // inside the inner loop, however long the person takes.
  Window outer(ProgressDefinition(/*timer=*/10));
  Window inner(ProgressDefinition());
  outer.Open();
  bool inside_inner = false;
  int outer_events_inside = 0;
  int inner_window_zero = 0;
  int outer_timers = 0;
  std::vector<EventCode> inner_codes;
  const auto outer_seen = Run(outer, [&](EventLoop& loop) {
    if (inside_inner) ++outer_events_inside;
    if (loop.event() != EventTimer) return 0;
    if (++outer_timers > 1) return -1;
    presenter_.ScriptFor(inner.definition().id, {UserAction::Click(4)});
    inner.Open();
    outer.Post(EventAccepted, 4);                     // for the outer window: waits for its loop
    inner.queue()->Post(Event{EventAccepted, 2, 0});  // window 0: the innermost loop's
    inside_inner = true;
    for (const Delivered& d : Run(inner, [&](EventLoop& inner_loop) {
           EXPECT_EQ(EventLoop::Current(), &inner_loop);
           clock_.Advance(100);  // the outer timer falls due many times over
           if (inner_loop.event() != EventAccepted) return 0;
           if (inner_loop.control() == 2) ++inner_window_zero;
           if (inner_loop.control() == 4) inner.Post(EventCloseWindow);
           return 0;
         })) {
      inner_codes.push_back(d.code);
    }
    inside_inner = false;
    return 1;
  });
  EXPECT_EQ(outer_events_inside, 0) << "an outer event ran inside the modal loop";
  EXPECT_EQ(inner_window_zero, 1) << "an event for window 0 missed the innermost loop";
  EXPECT_EQ(inner_codes, (std::vector<EventCode>{EventOpenWindow, EventAccepted, EventSelected,
                                                 EventAccepted, EventCloseWindow}));
  std::vector<EventCode> codes;
  for (const Delivered& d : outer_seen) codes.push_back(d.code);
  // After the modal loop the outer window gets its own queued event, then one timer event.
  EXPECT_EQ(codes,
            (std::vector<EventCode>{EventOpenWindow, EventTimer, EventAccepted, EventTimer}));
}

TEST_F(RuntimeTest, EventsPostedFromAnotherThreadWakeTheLoop) {
  Window window(ProgressDefinition());
  window.Open();
  std::thread poster([&] {
    for (int i = 1; i <= 100; ++i) window.Post(EventAccepted, i);
    window.Post(EventCloseWindow);
  });
  std::vector<int> controls;
  {
    testing::Watchdog watchdog("the posts of another thread to reach the loop");
    EventLoop loop(window);
    while (loop.NextEvent()) {
      if (loop.event() == EventAccepted) controls.push_back(loop.control());
      if (loop.EndEvent(0)) break;
    }
    poster.join();
  }
  ASSERT_EQ(controls.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(controls[static_cast<std::size_t>(i)], i + 1);
}

TEST_F(RuntimeTest, EachThreadRunsItsOwnLoop) {
  // A procedure thread with its own window and loop, while this thread runs another.
  Window frame(ProgressDefinition());
  frame.Open();
  std::promise<int> procedure_events;
  ASSERT_TRUE(Runtime::StartThread(
      [&] {
        Window window(ProgressDefinition(/*timer=*/10));
        window.Open();
        int n = 0;
        EventLoop loop(window);
        while (loop.NextEvent()) {
          ++n;
          if (loop.EndEvent(n == 5 ? -1 : 1)) break;
        }
        window.Close();
        frame.Post(EventCloseWindow);
        procedure_events.set_value(n);
      },
      25000));
  const auto seen = Run(frame, [](EventLoop&) { return 0; });
  EXPECT_EQ(seen.back().code, EventCloseWindow);
  testing::Watchdog watchdog("the procedure thread to end");
  EXPECT_EQ(procedure_events.get_future().get(), 5);
  EXPECT_TRUE(Runtime::StopProcedures(testing::kPatience));
  EXPECT_EQ(Runtime::RunningThreads(), 0);
}

TEST_F(RuntimeTest, ProcedureThreadsGetAtLeastTheSafeStack) {
  std::promise<std::size_t> stack;
  ASSERT_TRUE(Runtime::StartThread(
      [&] {
        pthread_attr_t attributes;
        std::size_t size = 0;
        pthread_getattr_np(pthread_self(), &attributes);
        pthread_attr_getstacksize(&attributes, &size);
        pthread_attr_destroy(&attributes);
        stack.set_value(size);
      },
      25000));
  testing::Watchdog watchdog("the procedure thread to report its stack");
  EXPECT_GE(stack.get_future().get(), Runtime::kMinimumStackBytes);
  EXPECT_TRUE(Runtime::StopProcedures(testing::kPatience));
}

TEST_F(RuntimeTest, ThreadIdsAreDistinctAndStable) {
  const ThreadId mine = Runtime::CurrentThreadId();
  EXPECT_EQ(Runtime::CurrentThreadId(), mine);
  ThreadId other = 0;
  testing::Watchdog watchdog("a thread that reads its id to end");
  std::thread([&] { other = Runtime::CurrentThreadId(); }).join();
  EXPECT_GT(other, 0);
  EXPECT_NE(other, mine);
}

TEST_F(RuntimeTest, WindowChangesReachThePresenterOncePerEvent) {
  std::uint8_t progress = 0;
  Window window(ProgressDefinition());
  window.BindByte(1, &progress);
  window.Open();
  window.Post(EventTimer);
  Run(window, [&](EventLoop& loop) {
    if (loop.event() != EventTimer) return 0;
    progress = 50;
    loop.window().Display();
    loop.window().SetText(3, "50% Complete");
    loop.window().SetCaption("Processing Records");
    return -1;
  });
  const auto history = presenter_.window_history();
  ASSERT_EQ(history.size(), 2u);  // opened, then one change with everything in it
  const WindowSnapshot& last = history.back();
  EXPECT_EQ(last.caption, "Processing Records");
  EXPECT_EQ(last.controls[0].value, 50);
  EXPECT_EQ(last.controls[2].text, "50% Complete");
  EXPECT_EQ(window.text(3), "50% Complete");
}

TEST_F(RuntimeTest, ControlProperties) {
  Window window(ProgressDefinition());
  window.Hide(2);
  EXPECT_TRUE(window.hidden(2));
  window.Show(2);
  EXPECT_FALSE(window.hidden(2));
  window.Hide(0);
  EXPECT_TRUE(window.hidden(0));
  EXPECT_EQ(window.type(1), ControlType::kThermometer);
  EXPECT_EQ(window.type(4), ControlType::kButton);
  window.SetDefaultButton(4);
  window.SetDefaultButton(99);  // no such control: the default button stays
  EXPECT_EQ(window.default_button(), 4);
  EXPECT_EQ(window.Snapshot().default_button, 4);
  window.SetAlertKey(3, 255, 77);
  EXPECT_EQ(window.alert_key(3, 255), 77);
  EXPECT_EQ(window.text(99), "");  // unknown controls read empty
  window.SetText(99, "ignored");

  std::vector<std::string> rows = {"a", "b"};
  WindowDefinition with_list = ProgressDefinition();
  with_list.controls.push_back(Control(5, "?LIST", ControlType::kList));
  Window listed(with_list);
  listed.SetListSource(5, {[&] { return static_cast<int>(rows.size()); },
                           [&](int row, int) { return rows[static_cast<std::size_t>(row - 1)]; },
                           {}});
  listed.Open();
  listed.Display(5);
  listed.Flush();
  EXPECT_EQ(presenter_.window(listed.id())->controls.back().rows,
            (std::vector<std::vector<std::string>>{{"a"}, {"b"}}));
}

TEST_F(RuntimeTest, SelectingNoControlCompletesTheWindow) {
  Window window(ProgressDefinition());
  window.Open();
  window.Select(0);
  EXPECT_TRUE(window.accept_all());
  const auto seen =
      Run(window, [](EventLoop& loop) { return loop.event() == EventCompleted ? -1 : 0; });
  EXPECT_EQ(seen.back().code, EventCompleted);
  EXPECT_FALSE(window.accept_all());
}

TEST_F(RuntimeTest, StandardActionsRunOnDefaultHandling) {
  struct Counting : FrameActions {
    void Tile() override { ++tiles; }
    int tiles = 0;
  };
  WindowDefinition frame;
  frame.is_frame = true;
  frame.controls = {Control(-3, "?EXIT", ControlType::kMenuItem, "E&xit"),
                    Control(-9, "?TILE", ControlType::kMenuItem, "T&ile")};
  frame.controls[0].action = StandardAction::kCloseWindow;
  frame.controls[1].action = StandardAction::kTile;
  Counting actions;
  presenter_.SetFrameActions(&actions);
  Window window(frame);
  window.Open();
  window.Post(EventAccepted, -9);
  window.Post(EventAccepted, -9);
  window.Post(EventAccepted, -3);
  int tile_events = 0;
  const auto seen = Run(window, [&](EventLoop& loop) {
    // The second tile is dealt with by the handler, which keeps the standard action away.
    if (loop.event() == EventAccepted && loop.control() == -9) return ++tile_events == 2 ? 1 : 0;
    return 0;
  });
  EXPECT_EQ(actions.tiles, 1);
  EXPECT_EQ(seen.back().code, EventCloseWindow);
  EXPECT_FALSE(window.is_open());
}

TEST_F(RuntimeTest, MessageBoxesAreAnsweredByScriptOrDefault) {
  presenter_.ScriptAnswers({ButtonNo});
  MessageBoxRequest question{"Are you sure?|Really?", "Confirm", MessageIcon::kQuestion,
                             ButtonYes + ButtonNo,    ButtonYes, 0};
  EXPECT_EQ(Runtime::MessageBox(question), ButtonNo);
  EXPECT_EQ(Runtime::MessageBox(question), ButtonYes);
  const auto boxes = presenter_.message_boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "Are you sure?|Really?");
  EXPECT_EQ(boxes[0].icon, MessageIcon::kQuestion);
  EXPECT_EQ(boxes[0].buttons, ButtonYes + ButtonNo);
}

TEST_F(RuntimeTest, HaltIsObservedNotSuffered) {
  Runtime::Halt(0, "File Access Error");
  ASSERT_EQ(presenter_.halts().size(), 1u);
  EXPECT_EQ(presenter_.halts()[0].exit_code, 0);
  EXPECT_EQ(presenter_.halts()[0].text, "File Access Error");
}

TEST_F(RuntimeTest, DateAndTimeFollowTheClock) {
  clock_.SetWallTime(0);
  EXPECT_FALSE(Runtime::ShortDate().empty());
  EXPECT_FALSE(Runtime::LongTime().empty());
  const std::string date = Runtime::ShortDate();
  clock_.SetWallTime(86400 * 40);
  EXPECT_NE(Runtime::ShortDate(), date);
}

TEST(NameBindingScopeTest, ScopesNestAndNeverGoNegative) {
  NameBindingScope::Close();
  EXPECT_EQ(NameBindingScope::depth(), 0);
  NameBindingScope::Open();
  NameBindingScope::Open();
  EXPECT_EQ(NameBindingScope::depth(), 2);
  NameBindingScope::Close();
  NameBindingScope::Close();
  EXPECT_EQ(NameBindingScope::depth(), 0);
}

TEST(DragSettingTest, WithoutADesktopSettingNothingChanges) {
  SystemDragSetting system;
  std::uint32_t value = 7;
  EXPECT_TRUE(system.Get(&value));
#ifndef _WIN32
  EXPECT_EQ(value, 0u);
#endif
  RecordingDragSetting fake(1);
  fake.Get(&value);
  fake.Set(0, kSpifUpdateIniFileAndSendChange);
  ASSERT_EQ(fake.calls().size(), 2u);
  EXPECT_EQ(fake.calls()[1].action, kSpiSetDragFullWindows);
  EXPECT_EQ(fake.value(), 0u);
}

}  // namespace
}  // namespace morlan
