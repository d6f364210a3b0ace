#include "app/program.h"

#include <atomic>
#include <cstdint>

#include "app/dictionary.h"
#include "app/fix_message_table.h"
#include "app/frame_procedure.h"
#include "app/globals.h"
#include "app/halt_hook_presenter.h"
#include "data/file_usage_tracker.h"
#include "errors/prepared_history_window.h"
#include "window/shared_requests.h"

namespace morlan {

namespace {

// The drag setting as start-up found it. Switched off for the run when it was on, and put back
// once: by the end of the main sequence or by a halt, whichever comes first, on any thread.
class DragSettingKeeper final {
 public:
  explicit DragSettingKeeper(DragSetting& drag) : drag_(drag) {}

  void SwitchOff() {
    // A setting that cannot be read stays 0: nothing is changed, nothing put back.
    drag_.Get(&saved_);
    if (saved_ == 1) drag_.Set(0, kSpifUpdateIniFileAndSendChange);
  }

  void Restore() {
    if (saved_ != 1 || restored_.exchange(true)) return;
    drag_.Set(1, kSpifUpdateIniFileAndSendChange);
  }

 private:
  DragSetting& drag_;
  std::uint32_t saved_ = 0;
  std::atomic<bool> restored_{false};
};

}  // namespace

ModuleInitialisers::ModuleInitialisers() {
  // 1: the dictionary objects are static objects of their own module.
  // 2
  BindDictionaryFiles();
  AppWordRanking.SetWeights();
  PendingRequest = 0;
  LastResponse = 0;
  NavigationRequest = 0;
  // 3
  FileUsageTracker::Instance().Clear();
  // 4
  history_window_ = std::make_unique<PreparedHistoryWindow>();
  AppErrors.SetHistoryView(history_window_.get());
}

ModuleInitialisers::~ModuleInitialisers() {
  // 4
  AppErrors.SetHistoryView(nullptr);
  history_window_.reset();
  // 1 before 3: a manager that still has to clean up unregisters from the tracker's lists.
  DestroyDictionary();
  // 3
  FileUsageTracker::Instance().Clear();
}

bool RunMainSequence(DragSetting& drag) {
  AppErrors.InitStandard();
  AppErrors.LoadMessageTable(FixMessageTable::Bytes());
  InitDictionary();
  AppWordRanking.Init();
  AppWordRanking.SetOption(WordRanking::kOptionNoCase, true);
  AppWordRanking.SetOption(WordRanking::kOptionWordOnly, false);
  AppIni.Init(kSettingsFileName);

  // Both live on the heap: a procedure that does not stop may still halt through the hook.
  auto drag_setting = std::make_unique<DragSettingKeeper>(drag);
  drag_setting->SwitchOff();
  Presenter* presenter = Runtime::presenter();
  std::unique_ptr<HaltHookPresenter> halt_hook;
  if (presenter != nullptr) {
    DragSettingKeeper* keeper = drag_setting.get();
    halt_hook = std::make_unique<HaltHookPresenter>(*presenter, [keeper] { keeper->Restore(); });
    Runtime::InstallPresenter(halt_hook.get());
  }

  Main();

  // A fix run may still be going: it stops between two batches, as cancelled, and closes its
  // files. Until its thread has returned it uses the global objects.
  if (!Runtime::StopProcedures(Runtime::kCloseDownPatience)) {
    drag_setting->Restore();
    Runtime::Halt(0, "A procedure did not stop in time; the program ends without shutting down.");
    // Should the halt come back, the procedure may still halt through the hook, which must stay.
    halt_hook.release();
    drag_setting.release();
    return false;
  }
  Runtime::InstallPresenter(presenter);

  AppIni.FinishHook();
  drag_setting->Restore();
  AppIni.Kill();
  AppWordRanking.Kill();
  KillDictionary();
  AppErrors.Kill();
  return true;
}

int RunProgram(DragSetting& drag, int runtime_version) {
  Runtime::Start();
  if (Runtime::IsCompatible(runtime_version)) RunMainSequence(drag);
  return 0;
}

}  // namespace morlan
