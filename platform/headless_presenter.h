// A presenter that shows nothing: tests and benchmarks install it. It records every message box
// and answers it from a script the test sets (or with the box's default button), records halts
// instead of ending the process, and keeps the latest state of every window.
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

namespace morlan {

class HeadlessPresenter : public Presenter {
 public:
  struct Halt {
    int exit_code = 0;
    std::string text;
  };

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
  FrameActions frame_actions_;
  FrameActions* custom_actions_ = nullptr;
};

}  // namespace morlan
