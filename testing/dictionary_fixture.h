// A test fixture for the dictionary fix run end to end: each test runs in a folder of its own
// (the current directory, where the program finds its files), with the module set-ups done, a
// headless presenter whose scripted person uses the frame only while no run is in progress, and
// a manual clock. Tests set the global objects up as start-up does (SetUpGlobals), or run the
// whole main sequence. Afterwards every run has ended, the objects are killed and the runtime
// and the current directory are put back.
//
// Threading: set-up and teardown run on the test's thread, which is the GUI thread.
#pragma once

#include <unistd.h>

#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/dictionary.h"
#include "app/fix_message_table.h"
#include "app/frame_procedure.h"
#include "app/globals.h"
#include "app/program.h"
#include "gtest/gtest.h"
#include "platform/drag_setting.h"
#include "platform/fault_injecting_file.h"
#include "platform/headless_presenter.h"
#include "platform/manual_clock.h"
#include "platform/runtime.h"
#include "platform/runtime_error_state.h"
#include "platform/user_action.h"
#include "platform/window_snapshot.h"
#include "testing/bounded_wait.h"
#include "testing/read_hook_file.h"
#include "testing/temp_dir.h"

namespace morlan::testing {

inline constexpr char kFrameId[] = "P1$APPFRAME";
inline constexpr char kProgressId[] = "P1$PROGRESSWINDOW";

// A person who, in the frame, waits while "Fix QDL" is greyed (a run is in progress) before
// doing the next thing, as someone watching the progress window would.
class PatientPresenter final : public HeadlessPresenter {
 public:
  void BeforeWait(int window_id) override {
    const std::optional<WindowSnapshot> shown = window(window_id);
    if (shown && shown->definition_id == kFrameId && Greyed(*shown, kMenuFixQdl)) return;
    HeadlessPresenter::BeforeWait(window_id);
  }

  // Runs `on_halt` (when set) as the halt comes in, then records it.
  void Halt(int exit_code, std::string_view text) override {
    if (on_halt) on_halt();
    HeadlessPresenter::Halt(exit_code, text);
  }

  static bool Greyed(const WindowSnapshot& window, int control) {
    for (const ControlSnapshot& c : window.controls) {
      if (c.number == control) return c.disabled;
    }
    return false;
  }

  std::function<void()> on_halt;  // set before the run
};

class DictionaryFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    char cwd[PATH_MAX];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    home_ = cwd;
    ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
    Runtime::InstallPresenter(&presenter_);
    Runtime::InstallClock(&clock_);
    Runtime::Start();
    RuntimeErrorState::SetOk();
    modules_.emplace();
  }

  void TearDown() override {
    EXPECT_TRUE(WaitUntil([] { return Runtime::RunningThreads() == 0; }))
        << "a fix run outlived its test";
    if (Runtime::RunningThreads() != 0) GiveUp("a fix run outlived its test");
    KillDictionary();
    UseDictionaryFiles(nullptr, nullptr);
    AppIni.Kill();
    AppErrors.Kill();
    modules_.reset();
    Runtime::Reset();
    EXPECT_EQ(::chdir(home_.c_str()), 0);
  }

  // AppErrors and the dictionary objects as start-up sets them up; over other file objects
  // when given.
  void SetUpGlobals(DataFile* inp = nullptr, DataFile* out = nullptr) {
    AppErrors.InitStandard();
    AppErrors.LoadMessageTable(FixMessageTable::Bytes());
    UseDictionaryFiles(inp, out);
    InitDictionary();
  }

  // Wrappers over the bound files for SetUpGlobals, kept until the objects have been killed
  // at the end of the test (a wrapper local to the test would be gone by then): a reader whose
  // hook runs after every read of INP, and an INP or OUT whose operations can be made to fail.
  ReadHookFile& HookedInput(std::function<void(int reads)> hook) {
    hooked_input_ = std::make_unique<ReadHookFile>(InpFile(), std::move(hook));
    return *hooked_input_;
  }
  FaultInjectingFile& FaultyInput() {
    faulty_input_ = std::make_unique<FaultInjectingFile>(InpFile());
    return *faulty_input_;
  }
  FaultInjectingFile& FaultyOutput() {
    faulty_output_ = std::make_unique<FaultInjectingFile>(OutFile());
    return *faulty_output_;
  }

  // Runs the frame on this thread: the person does each of `actions` (choosing Fix QDL, say)
  // once no run is in progress, then chooses Exit.
  std::uint8_t RunFrame(std::vector<UserAction> actions, ThreadStarter starter = {}) {
    actions.push_back(UserAction::Click(kMenuExit));
    presenter_.ScriptFor(kFrameId, std::move(actions));
    Watchdog watchdog("the frame to close");
    return Main(std::move(starter));
  }

  // Runs the whole main sequence on this thread: the person does each of `actions` in the
  // frame once no run is in progress, then chooses Exit. Answers what RunMainSequence answered.
  bool RunSequence(DragSetting& drag, std::vector<UserAction> actions) {
    actions.push_back(UserAction::Click(kMenuExit));
    presenter_.ScriptFor(kFrameId, std::move(actions));
    Watchdog watchdog("the main sequence to end");
    return RunMainSequence(drag);
  }

  std::string SampleInput() const { return Source("examples/VRSQ1.qdl"); }
  std::string SampleOutput() const { return Source("examples/expected/VRSQ2.qdl"); }
  std::string Output() const { return dir_.Read(kOutputFileName); }
  bool OutputExists() const { return std::filesystem::exists(dir_.File(kOutputFileName)); }

  // The captions of the message boxes shown so far, in order.
  std::vector<std::string> Captions() const {
    std::vector<std::string> captions;
    for (const MessageBoxRequest& box : presenter_.message_boxes()) captions.push_back(box.caption);
    return captions;
  }

  // Every state the presenter was shown of the windows made from `definition_id`, in order.
  std::vector<WindowSnapshot> Shown(const std::string& definition_id) const {
    std::vector<WindowSnapshot> shown;
    for (WindowSnapshot& s : presenter_.window_history()) {
      if (s.definition_id == definition_id) shown.push_back(std::move(s));
    }
    return shown;
  }

  // The open window last made from `definition_id`, or 0.
  int OpenWindow(const std::string& definition_id) const {
    const std::vector<WindowSnapshot> shown = Shown(definition_id);
    for (auto s = shown.rbegin(); s != shown.rend(); ++s) {
      if (presenter_.window(s->id)) return s->id;
    }
    return 0;
  }

  // The person clicks `control` in the progress window now (from any thread).
  bool Press(int control) {
    const int window = OpenWindow(kProgressId);
    return window != 0 && presenter_.Perform(window, UserAction::Click(control));
  }

  static std::string Text(const WindowSnapshot& window, int control) {
    for (const ControlSnapshot& c : window.controls) {
      if (c.number == control) return c.text;
    }
    return "<no control " + std::to_string(control) + ">";
  }
  static int Value(const WindowSnapshot& window, int control) {
    for (const ControlSnapshot& c : window.controls) {
      if (c.number == control) return c.value;
    }
    return -1;
  }

  // The lines of `text`, each with its LF.
  static std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      end = end == std::string::npos ? text.size() : end + 1;
      lines.push_back(text.substr(start, end - start));
      start = end;
    }
    return lines;
  }
  // The first `count` lines of `text`.
  static std::string Lines(const std::string& text, std::size_t count) {
    std::string first;
    const std::vector<std::string> lines = SplitLines(text);
    for (std::size_t i = 0; i < count && i < lines.size(); ++i) first += lines[i];
    return first;
  }

  static std::string Source(const std::string& file) {
    std::ifstream in(std::string(MORLAN_SOURCE_DIR) + "/" + file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  TempDir dir_;
  PatientPresenter presenter_;
  ManualClock clock_{1000};

 private:
  std::string home_;
  std::optional<ModuleInitialisers> modules_;
  std::unique_ptr<ReadHookFile> hooked_input_;
  std::unique_ptr<FaultInjectingFile> faulty_input_;
  std::unique_ptr<FaultInjectingFile> faulty_output_;
};

}  // namespace morlan::testing
