// The runtime's threads: which thread pumps the presenter, windows that change threads, and
// close-down while procedures run. The presenter here pumps like a toolkit's, so a wait that
// should have pumped, or a wake that never came, shows up in its records.
#include "platform/runtime.h"

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "platform/event_loop.h"
#include "platform/manual_clock.h"
#include "platform/window.h"
#include "testing/bounded_wait.h"
#include "testing/progress_window.h"
#include "testing/pumping_presenter.h"

namespace morlan {
namespace {

WindowDefinition ProgressDefinition(int timer = 0) {
  return testing::ProgressWindowDefinition("Processing Records", timer);
}

// Runs a loop over `window` with the default handling for every event; returns the codes seen.
std::vector<EventCode> RunToEnd(Window& window) {
  std::vector<EventCode> codes;
  EventLoop loop(window);
  while (loop.NextEvent()) {
    codes.push_back(loop.event());
    if (loop.EndEvent(0)) break;
  }
  return codes;
}

// Close-down for a test: procedures still running after it use the test's objects, so a
// failure ends the process.
void StopProceduresOrGiveUp(std::chrono::milliseconds patience) {
  if (Runtime::StopProcedures(patience)) return;
  testing::GiveUp("procedures still running " + std::to_string(patience.count()) +
                  " ms after close-down");
}

class RuntimeThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Runtime::InstallPresenter(&presenter_);
    Runtime::InstallClock(&clock_);
  }
  void TearDown() override { Runtime::Reset(); }

  testing::PumpingPresenter presenter_;
  ManualClock clock_{1000};
};

TEST_F(RuntimeThreadsTest, TheGuiThreadPumpsWhateverWindowItPreparedFirst) {
  testing::Watchdog watchdog("the GUI thread's loop to end");
  std::thread gui([&] {
    // Start-up prepares the error window before the runtime marks its GUI thread.
    Window prepared_early(ProgressDefinition());
    Runtime::MarkGuiThread();
    Window frame(ProgressDefinition());
    frame.Open();
    std::thread poster([&] {
      (void)testing::WaitUntil([&] { return presenter_.pumping(); }, std::chrono::seconds(1));
      frame.Post(EventCloseWindow);
    });
    RunToEnd(frame);
    poster.join();
  });
  gui.join();
  EXPECT_GT(presenter_.pumps(), 0) << "the GUI thread waited on its queue instead of pumping";
  EXPECT_EQ(presenter_.stalls(), 0) << "a post from another thread never woke the GUI thread";
}

TEST_F(RuntimeThreadsTest, AWindowRunsOnTheThreadThatOpensIt) {
  Runtime::MarkGuiThread();
  const ThreadId gui = Runtime::CurrentThreadId();
  // Prepared on the GUI thread, like the error window, and run by a procedure thread.
  Window window(ProgressDefinition());
  std::promise<std::vector<EventCode>> seen;
  ASSERT_TRUE(Runtime::StartThread(
      [&] {
        window.Open();
        seen.set_value(RunToEnd(window));
      },
      0));
  ASSERT_TRUE(testing::WaitUntil([&] { return window.is_open(); }));
  window.Post(EventAccepted, 4);
  window.Post(EventCloseWindow);
  std::vector<EventCode> codes;
  {
    testing::Watchdog watchdog("the procedure thread's loop to end");
    codes = seen.get_future().get();
  }
  EXPECT_EQ(codes, (std::vector<EventCode>{EventOpenWindow, EventAccepted, EventCloseWindow}));
  EXPECT_FALSE(window.is_open());
  for (ThreadId pumped : presenter_.pump_threads()) {
    EXPECT_EQ(pumped, gui) << "a procedure thread pumped the presenter";
  }
  ASSERT_TRUE(testing::WaitUntil([] { return Runtime::RunningThreads() == 0; }));

  // Back on the GUI thread, the same window opens and runs here, pumping while it waits.
  window.Open();
  std::thread poster([&] {
    (void)testing::WaitUntil([&] { return presenter_.pumping(); }, std::chrono::seconds(1));
    window.Post(EventCloseWindow);
  });
  {
    testing::Watchdog watchdog("the GUI thread's loop to end");
    EXPECT_EQ(RunToEnd(window), (std::vector<EventCode>{EventOpenWindow, EventCloseWindow}));
    poster.join();
  }
  EXPECT_GT(presenter_.pumps(), 0);
  EXPECT_EQ(presenter_.stalls(), 0);
}

TEST_F(RuntimeThreadsTest, AWindowOpenOnOneThreadIsRefusedToAnother) {
  Window window(ProgressDefinition());
  ASSERT_TRUE(window.Open());
  EXPECT_TRUE(window.Open());  // again on its own thread: nothing changes
  bool opened_there = true;
  bool loop_ran_there = true;
  {
    testing::Watchdog watchdog("a refused loop to end");
    std::thread([&] {
      opened_there = window.Open();
      EventLoop loop(window);
      loop_ran_there = loop.NextEvent();
    }).join();
  }
  EXPECT_FALSE(opened_there);
  EXPECT_FALSE(loop_ran_there);
  // Its own thread still has it, with the open event waiting.
  EXPECT_TRUE(window.open_here());
  window.Post(EventCloseWindow);
  testing::Watchdog watchdog("the owner's loop to end");
  EXPECT_EQ(RunToEnd(window), (std::vector<EventCode>{EventOpenWindow, EventCloseWindow}));
}

TEST_F(RuntimeThreadsTest, StopProceduresClosesEveryWindowOfEveryThreadAndWaitsForThem) {
  struct Seen {
    std::atomic<bool> running{false};
    std::vector<EventCode> outer;  // timer events left out
    std::vector<EventCode> inner;
  };
  Seen timed;
  Seen modal;
  // A timer-driven procedure, like a fix run, whose loop never waits on its queue.
  ASSERT_TRUE(Runtime::StartThread(
      [&] {
        Window window(ProgressDefinition(/*timer=*/10));
        window.Open();
        EventLoop loop(window);
        while (loop.NextEvent()) {
          if (loop.event() != EventTimer) timed.outer.push_back(loop.event());
          timed.running = true;
          if (loop.EndEvent(loop.event() == EventTimer ? 1 : 0)) break;
        }
      },
      25000));
  // A procedure inside a modal window of its own.
  ASSERT_TRUE(Runtime::StartThread(
      [&] {
        Window window(ProgressDefinition());
        window.Open();
        EventLoop loop(window);
        while (loop.NextEvent()) {
          modal.outer.push_back(loop.event());
          if (loop.event() == EventOpenWindow) {
            Window box(ProgressDefinition());
            box.Open();
            modal.running = true;
            modal.inner = RunToEnd(box);
          }
          if (loop.EndEvent(0)) break;
        }
      },
      25000));
  ASSERT_TRUE(testing::WaitUntil([&] { return timed.running && modal.running; }));

  StopProceduresOrGiveUp(std::chrono::seconds(2));
  EXPECT_EQ(Runtime::RunningThreads(), 0);
  const std::vector<EventCode> told = {EventOpenWindow, EventCloseDown};
  EXPECT_EQ(timed.outer, told);
  EXPECT_EQ(modal.inner, told);
  EXPECT_EQ(modal.outer, told);
}

TEST_F(RuntimeThreadsTest, StopProceduresReportsAProcedureThatDoesNotEnd) {
  std::atomic<Window*> stubborn{nullptr};
  ASSERT_TRUE(Runtime::StartThread(
      [&] {
        Window window(ProgressDefinition());
        window.Open();
        EventLoop loop(window);
        while (loop.NextEvent()) {
          stubborn = &window;
          // Close-down is dealt with and ignored; only Cancel ends the procedure.
          const bool cancel = loop.event() == EventAccepted && loop.control() == 4;
          if (loop.EndEvent(cancel ? -1 : 1)) break;
        }
      },
      25000));
  ASSERT_TRUE(testing::WaitUntil([&] { return stubborn.load() != nullptr; }));

  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Runtime::StopProcedures(std::chrono::milliseconds(300)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(Runtime::RunningThreads(), 1);

  stubborn.load()->Post(EventAccepted, 4);
  StopProceduresOrGiveUp(std::chrono::seconds(5));
  EXPECT_EQ(Runtime::RunningThreads(), 0);
}

TEST_F(RuntimeThreadsTest, TheGuiThreadAnswersAProcedureBoxWhileItWaitsForClosedown) {
  Runtime::MarkGuiThread();
  presenter_.ScriptAnswers({ButtonNo});
  std::atomic<bool> asking{false};
  ButtonFlags answer = 0;
  ASSERT_TRUE(Runtime::StartThread(
      [&] {
        Window window(ProgressDefinition());
        window.Open();
        EventLoop loop(window);
        while (loop.NextEvent()) {
          if (loop.event() == EventOpenWindow) {
            asking = true;
            answer = Runtime::MessageBox({"Stop now?", "Processing Records", MessageIcon::kQuestion,
                                          ButtonYes + ButtonNo, ButtonYes, 0});
          }
          if (loop.EndEvent(0)) break;
        }
      },
      25000));
  ASSERT_TRUE(testing::WaitUntil([&] { return asking.load(); }));

  StopProceduresOrGiveUp(std::chrono::seconds(3));
  EXPECT_EQ(answer, ButtonNo);
  EXPECT_EQ(presenter_.unanswered_boxes(), 0);
}

TEST_F(RuntimeThreadsTest, AWindowOpenedAfterClosedownBeganIsToldToClose) {
  std::vector<EventCode> seen;
  ASSERT_TRUE(Runtime::StartThread(
      [&] {
        // The procedure was still starting when close-down came.
        (void)testing::WaitUntil([] { return Runtime::ClosingDown(); }, std::chrono::seconds(2));
        Window window(ProgressDefinition());
        window.Open();
        seen = RunToEnd(window);
      },
      25000));
  StopProceduresOrGiveUp(std::chrono::seconds(3));
  EXPECT_EQ(seen, (std::vector<EventCode>{EventOpenWindow, EventCloseDown}));
}

}  // namespace
}  // namespace morlan
