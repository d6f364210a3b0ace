#include "platform/headless_presenter.h"

namespace morlan {

void HeadlessPresenter::WindowOpened(const WindowSnapshot& snapshot) {
  std::lock_guard lock(mutex_);
  windows_[snapshot.id] = snapshot;
  history_.push_back(snapshot);
  Person& person = people_[snapshot.id];
  person = Person{};
  person.input = UserInput(snapshot);
  const auto pending = pending_scripts_.find(snapshot.definition_id);
  if (pending == pending_scripts_.end()) return;
  person.scripted = true;
  person.script.assign(pending->second.front().begin(), pending->second.front().end());
  pending->second.pop_front();
  if (pending->second.empty()) pending_scripts_.erase(pending);
}

void HeadlessPresenter::WindowChanged(const WindowSnapshot& snapshot) {
  std::lock_guard lock(mutex_);
  windows_[snapshot.id] = snapshot;
  history_.push_back(snapshot);
  const auto person = people_.find(snapshot.id);
  if (person != people_.end()) person->second.input.Apply(snapshot);
}

void HeadlessPresenter::WindowClosed(int window_id) {
  std::lock_guard lock(mutex_);
  windows_.erase(window_id);
  people_.erase(window_id);
  closed_.push_back(window_id);
}

void HeadlessPresenter::ScriptFor(std::string definition_id, std::vector<UserAction> actions) {
  std::lock_guard lock(mutex_);
  pending_scripts_[std::move(definition_id)].push_back(std::move(actions));
}

void HeadlessPresenter::ScriptWindow(int window_id, std::vector<UserAction> actions) {
  std::lock_guard lock(mutex_);
  const auto person = people_.find(window_id);
  if (person == people_.end()) return;
  person->second.scripted = true;
  person->second.dry_closes = 0;
  for (UserAction& action : actions) person->second.script.push_back(std::move(action));
}

bool HeadlessPresenter::Perform(int window_id, const UserAction& action) {
  std::lock_guard lock(mutex_);
  const auto person = people_.find(window_id);
  if (person == people_.end()) return false;
  return person->second.input.Perform(action);
}

void HeadlessPresenter::BeforeWait(int window_id) {
  std::lock_guard lock(mutex_);
  const auto found = people_.find(window_id);
  if (found == people_.end() || !found->second.scripted) return;
  Person& person = found->second;
  // An action that posts nothing (typing, which waits for the entry to be left, or a click on a
  // hidden control) would leave the loop waiting for ever: the next one comes at once.
  const std::uint64_t posted = person.input.events_posted();
  while (!person.script.empty()) {
    const UserAction action = std::move(person.script.front());
    person.script.pop_front();
    if (action.kind == UserAction::Kind::kWait) return;
    person.input.Perform(action);
    if (person.input.events_posted() != posted) return;
  }
  // The script ran dry and the window still waits: the person closes it, a few times at most.
  if (person.dry_closes == 0) ran_dry_.push_back(window_id);
  if (person.dry_closes >= kDryCloses) return;
  ++person.dry_closes;
  person.input.CloseBox();
}

std::vector<int> HeadlessPresenter::scripts_ran_dry() const {
  std::lock_guard lock(mutex_);
  return ran_dry_;
}

std::size_t HeadlessPresenter::actions_left() const {
  std::lock_guard lock(mutex_);
  std::size_t n = 0;
  for (const auto& [id, person] : people_) n += person.script.size();
  for (const auto& [definition, scripts] : pending_scripts_) {
    for (const auto& script : scripts) n += script.size();
  }
  return n;
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
  people_.clear();
  pending_scripts_.clear();
  ran_dry_.clear();
}

}  // namespace morlan
