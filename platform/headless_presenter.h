// A presenter that shows nothing: tests and benchmarks install it. It records every message box
// and answers it from a script the test sets (or with the box's default button), records halts
// instead of ending the process, and keeps the latest state of every window.
//
// A test drives its windows like a person, through the same translation of actions into events
// as a toolkit's presenter (UserInput):
// - a script for a window: ScriptFor(definition id) serves the next window opened from that
//   definition (scripts for one definition serve its openings in turn), ScriptWindow(id) an open
//   window. One action is performed each time the window's loop is about to wait
//   (BeforeWait), so the program has dealt with one action, and every event it caused, before the
//   next comes, as with a real person. Actions that post nothing (typing, a click on a hidden
//   control) are followed at once by the next. UserAction::Wait lets one timer event (or an
//   event another thread posts) come first; in a window with neither it would wait for ever.
// - Perform: one action now, in an open window, from any thread.
// A script that runs dry while its window still waits must not hang the test: the presenter then
// presses the close box for the person (posts close window, 513), at most kDryCloses times for
// one window, and records the window in scripts_ran_dry(). A window that never had a script is
// left alone.
//
// Threading: all operations are thread-safe.
#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/frame_actions.h"
#include "platform/presenter.h"
#include "platform/user_action.h"
#include "platform/user_input.h"

namespace morlan {

class HeadlessPresenter : public Presenter {
 public:
  struct Halt {
    int exit_code = 0;
    std::string text;
  };

  // Close-box presses for a window whose script ran dry, before the presenter gives up on it.
  static constexpr int kDryCloses = 3;

  void WindowOpened(const WindowSnapshot& snapshot) override;
  void WindowChanged(const WindowSnapshot& snapshot) override;
  void WindowClosed(int window_id) override;
  ButtonFlags ShowMessageBox(const MessageBoxRequest& request) override;
  void Halt(int exit_code, std::string_view text) override;
  FrameActions& frame_actions() override {
    return custom_actions_ != nullptr ? *custom_actions_ : frame_actions_;
  }
  // Lets a test see the standard actions the runtime carries out. Not owned; nullptr: inert.
  void SetFrameActions(FrameActions* actions) { custom_actions_ = actions; }

  // Answers for the next message boxes, in order; once used up, boxes get their default.
  void ScriptAnswers(std::vector<ButtonFlags> answers);

  // A person's actions (above): for the next window opened from `definition_id`, or appended to
  // the script of the open window `window_id`.
  void ScriptFor(std::string definition_id, std::vector<UserAction> actions);
  void ScriptWindow(int window_id, std::vector<UserAction> actions);
  // Performs `action` in the open window `window_id` now. False when the window is not open here
  // or the action did nothing.
  bool Perform(int window_id, const UserAction& action);
  // Ids of the windows whose script ran dry while they still waited, in order.
  std::vector<int> scripts_ran_dry() const;
  // Actions still waiting in scripts, for open windows and for definitions not yet opened.
  std::size_t actions_left() const;
  // Performs the window's next scripted action (above).
  void BeforeWait(int window_id) override;

  std::vector<MessageBoxRequest> message_boxes() const;
  std::vector<struct Halt> halts() const;
  // The latest state of a window, while it is open.
  std::optional<WindowSnapshot> window(int window_id) const;
  // Every state the presenter was given, in order (opened and changed).
  std::vector<WindowSnapshot> window_history() const;
  // Ids of windows opened and closed, in order.
  std::vector<int> closed_windows() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::deque<ButtonFlags> answers_;
  std::vector<MessageBoxRequest> boxes_;
  std::vector<struct Halt> halts_;
  std::map<int, WindowSnapshot> windows_;
  std::vector<WindowSnapshot> history_;
  std::vector<int> closed_;
  struct Person {
    UserInput input;
    bool scripted = false;
    std::deque<UserAction> script;
    int dry_closes = 0;
  };
  std::map<int, Person> people_;  // by window id, while open
  std::map<std::string, std::deque<std::vector<UserAction>>> pending_scripts_;
  std::vector<int> ran_dry_;
  FrameActions frame_actions_;
  FrameActions* custom_actions_ = nullptr;
};

}  // namespace morlan
