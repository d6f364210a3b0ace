// Test helpers for the error history window: a headless presenter that notes what the person saw
// of a window each time it first waited for them after opening, and a fixture with an error manager
// (standard messages, unlimited history) that shows its history in a prepared history window.
//
// Threading: the presenter's records may be read from any thread.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "errors/error_manager.h"
#include "errors/history_window_definition.h"
#include "errors/prepared_history_window.h"
#include "platform/headless_presenter.h"
#include "platform/runtime.h"
#include "platform/runtime_error_state.h"
#include "platform/user_action.h"
#include "platform/window_snapshot.h"
#include "testing/bounded_wait.h"

namespace morlan::testing {

// Button positions count from the right: position 1 is control 100.
constexpr int Position(int k) { return kHistoryFirstButton + k - 1; }

class WatchingPresenter final : public HeadlessPresenter {
 public:
  void WindowOpened(const WindowSnapshot& snapshot) override {
    {
      std::lock_guard lock(mutex_);
      waited_[snapshot.id] = false;
    }
    HeadlessPresenter::WindowOpened(snapshot);
  }
  void BeforeWait(int window_id) override {
    if (std::optional<WindowSnapshot> shown = window(window_id)) {
      std::lock_guard lock(mutex_);
      if (!waited_[window_id]) seen_.push_back(*shown);
      waited_[window_id] = true;
    }
    HeadlessPresenter::BeforeWait(window_id);
  }

  // One per opening, in the order the windows first waited after it.
  std::vector<WindowSnapshot> first_seen() const {
    std::lock_guard lock(mutex_);
    return seen_;
  }
  WindowSnapshot last_seen() const {
    std::lock_guard lock(mutex_);
    return seen_.empty() ? WindowSnapshot{} : seen_.back();
  }

 private:
  mutable std::mutex mutex_;
  std::map<int, bool> waited_;  // by window id: waited since it last opened
  std::vector<WindowSnapshot> seen_;
};

inline const ControlSnapshot& ControlOf(const WindowSnapshot& window, int number) {
  static const ControlSnapshot none;
  for (const ControlSnapshot& c : window.controls) {
    if (c.number == number) return c;
  }
  return none;
}

// The captions of the shown buttons, left to right.
inline std::vector<std::string> ShownButtons(const WindowSnapshot& window) {
  std::vector<std::string> shown;
  for (int k = kHistoryButtonPositions; k >= 1; --k) {
    const ControlSnapshot& button = ControlOf(window, Position(k));
    if (!button.hidden) shown.push_back(button.text);
  }
  return shown;
}

class HistoryFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    Runtime::InstallPresenter(&presenter_);
    RuntimeErrorState::SetOk();
    errors_.InitStandard();
    errors_.SetHistoryView(&view_);
    errors_.HISTORYTHRESHOLD = -1;
  }

  void TearDown() override {
    EXPECT_TRUE(presenter_.scripts_ran_dry().empty()) << "a history window outlived its script";
    EXPECT_EQ(presenter_.actions_left(), 0u);
    errors_.Kill();
    Runtime::Reset();
  }

  // The person's actions in the next history window.
  void Person(std::vector<UserAction> actions) {
    presenter_.ScriptFor(std::string(kHistoryWindowId), std::move(actions));
  }

  // Three notifications, recorded only.
  void ReportThree() {
    errors_.Raise(ErrNoRecordsToProcess);
    errors_.AssignCategory(ErrChangedElsewhere, "Rec");
    errors_.Raise(ErrChangedElsewhere);
    errors_.SetFileName("VRSQ1.qdl");
    errors_.Raise(ErrKeyInvalid);
  }

  ButtonFlags RunBounded(std::string_view caption, int icon, ButtonFlags buttons,
                         ButtonFlags default_button) {
    Watchdog watchdog("the history window to close");
    return errors_.RunHistoryWindow(caption, icon, buttons, default_button);
  }

  WatchingPresenter presenter_;
  PreparedHistoryWindow view_;
  ErrorManager errors_;
};

}  // namespace morlan::testing
