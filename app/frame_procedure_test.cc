// The frame's one command of its own: "Fix QDL" starts one run at a time, and is usable again
// however the run ends.
#include "app/frame_procedure.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/dictionary.h"
#include "app/fix_procedure.h"
#include "gtest/gtest.h"
#include "platform/event.h"
#include "platform/event_queue.h"
#include "platform/runtime.h"
#include "platform/user_action.h"
#include "testing/dictionary_fixture.h"
#include "testing/read_hook_file.h"

namespace morlan {
namespace {

using testing::DictionaryFixture;
using testing::kFrameId;
using testing::kProgressId;
using testing::PatientPresenter;
using testing::ReadHookFile;

class FrameProcedureTest : public DictionaryFixture {
 protected:
  bool FrameGreyed() const {
    const std::optional<WindowSnapshot> frame = presenter_.window(OpenWindow(kFrameId));
    return frame && PatientPresenter::Greyed(*frame, kMenuFixQdl);
  }

  // Progress windows opened, one per run started.
  std::size_t Runs() const {
    std::vector<int> ids;
    for (const WindowSnapshot& s : Shown(kProgressId)) {
      if (ids.empty() || ids.back() != s.id) ids.push_back(s.id);
    }
    return ids.size();
  }
};

TEST_F(FrameProcedureTest, FixQdlIsGreyedWhileARunIsInProgressAndEnabledAfter) {
  dir_.Write(kInputFileName, SampleInput());
  bool greyed_during_run = false;
  bool second_start_taken = true;
  ReadHookFile& input = HookedInput([&](int reads) {
    if (reads != 5) return;
    // The frame shows the greyed command once its thread has dealt with the click.
    greyed_during_run = testing::WaitUntil([&] { return FrameGreyed(); });
    second_start_taken = presenter_.Perform(OpenWindow(kFrameId), UserAction::Click(kMenuFixQdl));
  });
  SetUpGlobals(&input);
  RunFrame({UserAction::Click(kMenuFixQdl)});

  EXPECT_TRUE(greyed_during_run);
  EXPECT_FALSE(second_start_taken);
  EXPECT_EQ(Runs(), 1u);
  const std::vector<WindowSnapshot> frame = Shown(kFrameId);
  ASSERT_FALSE(frame.empty());
  EXPECT_FALSE(PatientPresenter::Greyed(frame.back(), kMenuFixQdl));
  EXPECT_EQ(Output(), SampleOutput());
}

TEST_F(FrameProcedureTest, AStartThatReachedTheFrameBeforeTheGreyingIsRefused) {
  dir_.Write(kInputFileName, SampleInput());
  SetUpGlobals();
  int starts = 0;
  // A second click that was on its way before the command was shown greyed.
  ThreadStarter starter = [&](std::function<void()> procedure, std::size_t stack_bytes) {
    ++starts;
    const std::optional<WindowSnapshot> frame = presenter_.window(OpenWindow(kFrameId));
    if (frame && frame->queue) {
      frame->queue->Post(Event{.code = EventAccepted, .control = kMenuFixQdl, .window = frame->id});
    }
    return Runtime::StartThread(std::move(procedure), stack_bytes);
  };
  RunFrame({UserAction::Click(kMenuFixQdl)}, starter);

  EXPECT_EQ(starts, 1);
  EXPECT_EQ(Runs(), 1u);
  EXPECT_EQ(Output(), SampleOutput());
}

TEST_F(FrameProcedureTest, AThreadThatCannotBeStartedIsReportedAndTheCommandEnabledAgain) {
  dir_.Write(kInputFileName, SampleInput());
  SetUpGlobals();
  int starts = 0;
  ThreadStarter starter = [&](std::function<void()> procedure, std::size_t stack_bytes) {
    if (++starts == 1) return false;
    return Runtime::StartThread(std::move(procedure), stack_bytes);
  };
  RunFrame({UserAction::Click(kMenuFixQdl), UserAction::Click(kMenuFixQdl)}, starter);

  ASSERT_EQ(Captions(), std::vector<std::string>{"Procedure not started"});
  EXPECT_NE(presenter_.message_boxes()[0].text.find(kFixProcedureName), std::string::npos);
  EXPECT_EQ(starts, 2);
  EXPECT_EQ(Runs(), 1u);
  EXPECT_EQ(Output(), SampleOutput());
}

}  // namespace
}  // namespace morlan
