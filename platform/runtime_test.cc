// The runtime's threads: which thread pumps the presenter, windows that change threads, and
// close-down while procedures run. The presenter here pumps like a toolkit's, so a wait that
// should have pumped, or a wake that never came, shows up in its records.
#include "platform/runtime.h"

#include <atomic>
#include <future>
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

}  // namespace
}  // namespace morlan
