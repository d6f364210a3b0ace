// Start-up and shutdown around the frame: the order of set-up and tear-down as the fix run sees
// it, the desktop drag setting, a fatal halt, and closing the frame while a run is in progress.
#include "app/program.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/dictionary.h"
#include "app/fix_procedure.h"
#include "app/frame_procedure.h"
#include "app/globals.h"
#include "data/file_manager.h"
#include "gtest/gtest.h"
#include "platform/drag_setting.h"
#include "platform/runtime.h"
#include "platform/user_action.h"
#include "testing/dictionary_fixture.h"
#include "testing/read_hook_file.h"
#include "testing/read_only_folder.h"
#include "testing/temp_dir.h"

namespace morlan {
namespace {

using testing::DictionaryFixture;
using testing::kFrameId;
using testing::kProgressId;
using testing::ReadHookFile;

class ProgramTest : public DictionaryFixture {
 protected:
  // The drag setting calls as (action, value) pairs.
  static std::vector<std::pair<unsigned, std::uint32_t>> DragCalls(
      const RecordingDragSetting& drag) {
    std::vector<std::pair<unsigned, std::uint32_t>> calls;
    for (const RecordingDragSetting::Call& call : drag.calls()) {
      calls.emplace_back(call.action, call.value);
      if (call.action == kSpiSetDragFullWindows) {
        EXPECT_EQ(call.flags, kSpifUpdateIniFileAndSendChange);
      }
    }
    return calls;
  }

  static bool AllGlobalsKilled() {
    return InpFileManager == nullptr && OutFileManager == nullptr && InpRelations == nullptr &&
           OutRelations == nullptr;
  }
};

using Calls = std::vector<std::pair<unsigned, std::uint32_t>>;

TEST_F(ProgramTest, ARunUsesTheGlobalsWithTheDragSettingOffAndShutdownKillsThemAfterwards) {
  dir_.Write(kInputFileName, SampleInput());
  RecordingDragSetting drag(1);
  int reads_with_setting_off = 0;
  ReadHookFile& input = HookedInput([&](int) {
    if (drag.value() == 0) ++reads_with_setting_off;
  });
  UseDictionaryFiles(&input, nullptr);
  EXPECT_TRUE(RunSequence(drag, {UserAction::Click(kMenuFixQdl)}));

  EXPECT_EQ(Output(), SampleOutput());
  EXPECT_EQ(reads_with_setting_off, input.reads());
  EXPECT_EQ(DragCalls(drag), (Calls{{kSpiGetDragFullWindows, 0},
                                    {kSpiSetDragFullWindows, 0},
                                    {kSpiSetDragFullWindows, 1}}));
  EXPECT_TRUE(AllGlobalsKilled());
  EXPECT_TRUE(presenter_.halts().empty());
}

TEST_F(ProgramTest, ADragSettingThatWasOffIsNeverChanged) {
  RecordingDragSetting drag(0);
  EXPECT_TRUE(RunSequence(drag, {}));
  EXPECT_EQ(DragCalls(drag), (Calls{{kSpiGetDragFullWindows, 0}}));
  EXPECT_TRUE(AllGlobalsKilled());
}

TEST_F(ProgramTest, AnIncompatibleRuntimeEndsWithZeroAndRunsNothing) {
  RecordingDragSetting drag(1);
  EXPECT_EQ(RunProgram(drag, Runtime::kVersion + 1), 0);
  EXPECT_TRUE(drag.calls().empty());
  EXPECT_TRUE(presenter_.window_history().empty());
  EXPECT_EQ(InpFileManager, nullptr);
}

TEST_F(ProgramTest, AFatalHaltPutsTheDragSettingBackFirst) {
  dir_.Write(kInputFileName, SampleInput());
  const testing::ReadOnlyFolder folder(dir_.path().string());
  if (!folder.made()) GTEST_SKIP() << "cannot make a folder read-only here";
  RecordingDragSetting drag(1);
  std::uint32_t setting_at_halt = 99;
  presenter_.on_halt = [&] { setting_at_halt = drag.value(); };
  EXPECT_TRUE(RunSequence(drag, {UserAction::Click(kMenuFixQdl)}));

  EXPECT_EQ(Captions(), std::vector<std::string>{"File Creation Error"});
  ASSERT_EQ(presenter_.halts().size(), 1u);
  EXPECT_EQ(setting_at_halt, 1u);
  // Put back once: the normal end finds it done.
  EXPECT_EQ(DragCalls(drag), (Calls{{kSpiGetDragFullWindows, 0},
                                    {kSpiSetDragFullWindows, 0},
                                    {kSpiSetDragFullWindows, 1}}));
  EXPECT_FALSE(OutputExists());
}

TEST_F(ProgramTest, ClosingTheFrameMidRunStopsTheRunBeforeTheGlobalsAreKilled) {
  dir_.Write(kInputFileName, SampleInput());
  // A tenth of a second a read: batches of 8 lines. The person closes the frame while line 19
  // is handled; close-down reaches the run, which stops after that batch.
  int reads_with_globals_gone = 0;
  ReadHookFile& input = HookedInput([&](int reads) {
    clock_.Advance(10);
    if (InpFileManager == nullptr || OutFileManager == nullptr) ++reads_with_globals_gone;
    if (reads == 20) {
      EXPECT_TRUE(presenter_.Perform(OpenWindow(kFrameId), UserAction::Click(kMenuExit)));
      // The batch goes on meanwhile; held here until close-down has reached the run's window,
      // so that it is seen right after this batch.
      EXPECT_TRUE(testing::WaitUntil([] { return Runtime::ClosingDown(); }));
    }
  });
  UseDictionaryFiles(&input, nullptr);
  RecordingDragSetting drag(0);
  presenter_.ScriptFor(kFrameId, {UserAction::Click(kMenuFixQdl)});
  {
    testing::Watchdog watchdog("the main sequence to end");
    EXPECT_TRUE(RunMainSequence(drag));
  }

  EXPECT_EQ(Runtime::RunningThreads(), 0);
  EXPECT_EQ(reads_with_globals_gone, 0);
  EXPECT_EQ(Output(), Lines(SampleOutput(), 24));
  EXPECT_TRUE(Captions().empty());
  EXPECT_TRUE(AllGlobalsKilled());
  EXPECT_FALSE(InpFile().IsOpen());
  EXPECT_FALSE(OutFile().IsOpen());
}

// The real program on a machine without a display: it says why in one line and ends with 0,
// through the module tear-downs of objects that were never set up. Its arguments change nothing.
TEST(ProgramWithoutDisplayTest, SaysWhyInOneLineAndEndsWithZero) {
  testing::TempDir dir;
  dir.Write(kInputFileName, "A STRING(2)\n");
  const std::string command = "cd '" + dir.path().string() +
                              "' && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "
                              "timeout 20 '" MORLAN_PROGRAM "' --help -platform offscreen 2>&1";
  FILE* program = ::popen(command.c_str(), "r");
  ASSERT_NE(program, nullptr);
  std::string said;
  char chunk[256];
  while (std::fgets(chunk, sizeof chunk, program) != nullptr) said += chunk;
  const int status = ::pclose(program);

  ASSERT_TRUE(WIFEXITED(status)) << said;
  EXPECT_EQ(WEXITSTATUS(status), 0) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_NE(said.find("DISPLAY"), std::string::npos) << said;
  EXPECT_FALSE(std::filesystem::exists(dir.File(kOutputFileName)));
  EXPECT_FALSE(std::filesystem::exists(dir.File("morlan.INI")));
}

}  // namespace
}  // namespace morlan
