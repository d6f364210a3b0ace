#include "platform/headless_presenter.h"

namespace morlan {

void HeadlessPresenter::WindowOpened(const WindowSnapshot& snapshot) {
  std::lock_guard lock(mutex_);
  windows_[snapshot.id] = snapshot;
  history_.push_back(snapshot);
}

void HeadlessPresenter::WindowChanged(const WindowSnapshot& snapshot) {
  std::lock_guard lock(mutex_);
  windows_[snapshot.id] = snapshot;
  history_.push_back(snapshot);
}

void HeadlessPresenter::WindowClosed(int window_id) {
  std::lock_guard lock(mutex_);
  windows_.erase(window_id);
  closed_.push_back(window_id);
}

ButtonFlags HeadlessPresenter::ShowMessageBox(const MessageBoxRequest& request) {
  std::lock_guard lock(mutex_);
  boxes_.push_back(request);
  if (answers_.empty()) return request.default_button;
  const ButtonFlags answer = answers_.front();
  answers_.pop_front();
  return answer;
}

void HeadlessPresenter::Halt(int exit_code, std::string_view text) {
  std::lock_guard lock(mutex_);
  halts_.push_back({exit_code, std::string(text)});
}

void HeadlessPresenter::ScriptAnswers(std::vector<ButtonFlags> answers) {
  std::lock_guard lock(mutex_);
  answers_.assign(answers.begin(), answers.end());
}

std::vector<MessageBoxRequest> HeadlessPresenter::message_boxes() const {
  std::lock_guard lock(mutex_);
  return boxes_;
}

std::vector<struct HeadlessPresenter::Halt> HeadlessPresenter::halts() const {
  std::lock_guard lock(mutex_);
  return halts_;
}

std::optional<WindowSnapshot> HeadlessPresenter::window(int window_id) const {
  std::lock_guard lock(mutex_);
  const auto it = windows_.find(window_id);
  if (it == windows_.end()) return std::nullopt;
  return it->second;
}

std::vector<WindowSnapshot> HeadlessPresenter::window_history() const {
  std::lock_guard lock(mutex_);
  return history_;
}

std::vector<int> HeadlessPresenter::closed_windows() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

void HeadlessPresenter::Clear() {
  std::lock_guard lock(mutex_);
  answers_.clear();
  boxes_.clear();
  halts_.clear();
  windows_.clear();
  history_.clear();
  closed_.clear();
}

}  // namespace morlan
