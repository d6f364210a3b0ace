// A headless morlan for the crash test: the whole program as start-up runs it (module set-ups,
// main sequence, frame), on the steady clock, in the current directory, with a person who
// chooses "Fix QDL", waits while the run is in progress and then chooses Exit. The parent kills
// it at random moments and looks at the files it leaves.
//
// Exit code 0 when the run completed without a message, 1 otherwise (the parent's measured
// run needs to know the output is whole).
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "app/frame_procedure.h"
#include "app/program.h"
#include "platform/drag_setting.h"
#include "platform/headless_presenter.h"
#include "platform/runtime.h"
#include "platform/steady_clock.h"
#include "platform/user_action.h"
#include "platform/window_snapshot.h"

namespace {

// Acts in the frame only while "Fix QDL" is not greyed, that is while no run is in progress.
class WaitingPresenter final : public morlan::HeadlessPresenter {
 public:
  void BeforeWait(int window_id) override {
    const std::optional<morlan::WindowSnapshot> shown = window(window_id);
    if (shown && shown->definition_id == "P1$APPFRAME") {
      for (const morlan::ControlSnapshot& c : shown->controls) {
        if (c.number == morlan::kMenuFixQdl && c.disabled) return;
      }
    }
    HeadlessPresenter::BeforeWait(window_id);
  }
};

}  // namespace

int main() {
  morlan::ModuleInitialisers modules;
  morlan::SteadyClock clock;
  morlan::Runtime::InstallClock(&clock);
  WaitingPresenter presenter;
  morlan::Runtime::InstallPresenter(&presenter);
  presenter.ScriptFor("P1$APPFRAME", {morlan::UserAction::Click(morlan::kMenuFixQdl),
                                      morlan::UserAction::Click(morlan::kMenuExit)});
  morlan::RecordingDragSetting drag(0);
  morlan::RunProgram(drag);
  morlan::Runtime::Reset();
  int failures = 0;
  for (const morlan::MessageBoxRequest& box : presenter.message_boxes()) {
    std::fprintf(stderr, "crash child: \"%s\": %s\n", box.caption.c_str(), box.text.c_str());
    ++failures;
  }
  return failures == 0 ? 0 : 1;
}
