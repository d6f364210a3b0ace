#include "platform/user_input.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "platform/event_queue.h"

namespace morlan {

namespace {

// Process-wide, so an action number never repeats for a window, whichever presenter or
// translator made it.
std::uint32_t NewActionNumber() {
  static std::atomic<std::uint32_t> last{0};
  std::uint32_t n = ++last;
  if (n == 0) n = ++last;  // 0 means "no action"
  return n;
}

bool IsFocusable(ControlType type) {
  return type == ControlType::kEntry || type == ControlType::kButton ||
         type == ControlType::kCheck || type == ControlType::kList;
}

}  // namespace

UserInput::UserInput(const WindowSnapshot& snapshot)
    : window_(snapshot.id),
      queue_(snapshot.queue),
      visible_(snapshot.visible),
      is_frame_(snapshot.is_frame),
      focused_(snapshot.focused_control),
      model_focused_(snapshot.focused_control),
      default_button_(snapshot.default_button),
      width_(snapshot.width),
      height_(snapshot.height) {
  controls_.reserve(snapshot.controls.size());
  for (const ControlSnapshot& c : snapshot.controls) {
    Shown shown;
    shown.model = c;
    shown.text = c.text;
    shown.value = c.value;
    shown.first_row = c.first_row;
    shown.page_rows = c.page_rows;
    controls_.push_back(std::move(shown));
  }
}

void UserInput::Apply(const WindowSnapshot& snapshot) {
  queue_ = snapshot.queue;
  visible_ = snapshot.visible;
  default_button_ = snapshot.default_button;
  width_ = snapshot.width;
  height_ = snapshot.height;
  // Only what the model itself changed replaces what the person sees. A refused input drops the
  // rest of the person's action, a focus move with it, so the model's focus is taken back too.
  bool refused = false;
  for (const ControlSnapshot& next : snapshot.controls) {
    Shown* c = Find(next.number);
    if (c == nullptr) continue;
    const bool restored = next.restored != c->model.restored;
    refused = refused || restored;
    if (restored || next.text != c->model.text) {
      c->text = next.text;
      c->typed = false;
    }
    if (restored || next.value != c->model.value) c->value = next.value;
    if (next.first_row != c->model.first_row) c->first_row = next.first_row;
    if (next.page_rows != c->model.page_rows) c->page_rows = next.page_rows;
    c->model = next;
  }
  if (refused || snapshot.focused_control != model_focused_) focused_ = snapshot.focused_control;
  model_focused_ = snapshot.focused_control;
}

UserInput::Shown* UserInput::Find(int control) {
  for (Shown& c : controls_) {
    if (c.model.number == control) return &c;
  }
  return nullptr;
}

const UserInput::Shown* UserInput::Find(int control) const {
  return const_cast<UserInput*>(this)->Find(control);
}

bool UserInput::CanFocus(const Shown& c) const {
  return IsFocusable(c.model.type) && !c.model.hidden && !c.model.disabled;
}

void UserInput::Post(Event event) {
  if (queue_ == nullptr) return;
  event.window = window_;
  event.action = action_;
  ++posted_;
  queue_->Post(std::move(event));
}

void UserInput::AcceptFocusedEntry(int key, bool always) {
  Shown* c = Find(focused_);
  if (c == nullptr || c->model.type != ControlType::kEntry) return;
  if (!c->typed && !always) return;
  c->typed = false;
  Post({.code = EventAccepted,
        .control = focused_,
        .change = InputChange::kText,
        .key = key,
        .text = c->text});
}

void UserInput::MoveFocus(int control, int key) {
  if (control == focused_) return;
  AcceptFocusedEntry(key, false);
  focused_ = control;
  Post({.code = EventSelected, .control = control, .change = InputChange::kFocus, .key = key});
}

bool UserInput::Type(int control, std::string_view text) {
  Shown* c = Find(control);
  if (!visible_ || c == nullptr || c->model.type != ControlType::kEntry || c->model.hidden ||
      c->model.disabled) {
    return false;
  }
  action_ = NewActionNumber();
  MoveFocus(control, 0);
  c = Find(control);
  c->text = text;
  c->typed = true;
  return true;
}

bool UserInput::Focus(int control, int key) {
  const Shown* c = Find(control);
  if (!visible_ || c == nullptr || !CanFocus(*c)) return false;
  if (control == focused_) return true;
  action_ = NewActionNumber();
  MoveFocus(control, key);
  return true;
}

bool UserInput::Click(int control, int button) {
  Shown* c = Find(control);
  if (!visible_ || c == nullptr || c->model.hidden || c->model.disabled) return false;
  action_ = NewActionNumber();
  Event event;
  event.code = EventAccepted;
  event.control = control;
  event.key = button;
  switch (c->model.type) {
    case ControlType::kMenuItem:
      // A command: the focus stays where it is.
      Post(std::move(event));
      return true;
    case ControlType::kButton:
      MoveFocus(control, button);
      Post(std::move(event));
      return true;
    case ControlType::kCheck:
      MoveFocus(control, button);
      c = Find(control);
      c->value = c->value != 0 ? 0 : 1;
      event.change = InputChange::kValue;
      event.value = c->value;
      Post(std::move(event));
      return true;
    case ControlType::kEntry:
    case ControlType::kList:
      MoveFocus(control, button);
      return true;
    case ControlType::kText:
    case ControlType::kThermometer:
    case ControlType::kImage:
    case ControlType::kMenu:
      return false;
  }
  return false;
}

bool UserInput::Check(int control, bool checked) {
  const Shown* c = Find(control);
  if (c == nullptr || c->model.type != ControlType::kCheck) return false;
  if ((c->value != 0) == checked) return false;
  return Click(control);
}

bool UserInput::PickRow(int control, int row) {
  Shown* c = Find(control);
  if (!visible_ || c == nullptr || c->model.type != ControlType::kList || c->model.hidden ||
      c->model.disabled) {
    return false;
  }
  if (row < 1 || row > c->model.total_rows) return false;
  action_ = NewActionNumber();
  MoveFocus(control, kKeyMouseLeft);
  c = Find(control);
  if (c->value == row) return true;
  c->value = row;
  Post({.code = EventNewSelection,
        .control = control,
        .change = InputChange::kValue,
        .value = row,
        .key = kKeyMouseLeft});
  return true;
}

bool UserInput::ActivateRow(int control, int row) {
  if (!PickRow(control, row)) return false;
  Post({.code = EventAccepted, .control = control, .key = kKeyMouseLeftDouble});
  return true;
}

bool UserInput::Tab(bool backwards, int key) {
  const int n = static_cast<int>(controls_.size());
  if (n == 0) return false;
  int at = -1;
  for (int i = 0; i < n; ++i) {
    if (controls_[static_cast<std::size_t>(i)].model.number == focused_) at = i;
  }
  for (int step = 1; step <= n; ++step) {
    int i = backwards ? at - step : at + step;
    i = ((i % n) + n) % n;
    const Shown& c = controls_[static_cast<std::size_t>(i)];
    if (!CanFocus(c)) continue;
    MoveFocus(c.model.number, key);
    return true;
  }
  return false;
}

bool UserInput::PressKey(int key) {
  if (!visible_) return false;
  action_ = NewActionNumber();
  const Shown* focused = Find(focused_);
  if (focused != nullptr && key != 0 &&
      std::find(focused->model.alert_keys.begin(), focused->model.alert_keys.end(), key) !=
          focused->model.alert_keys.end()) {
    // What was typed reaches the model first: the key's handler (the history key, say) then
    // decides what the entry holds, and the person sees that, whatever was typed.
    AcceptFocusedEntry(key, false);
    Post({.code = EventAlertKey, .control = focused_, .key = key});
    return true;
  }
  if (key == kKeyEscape) {
    // A stray Escape must not end the program: only dialogs close on it.
    if (is_frame_) return false;
    Post({.code = EventCloseWindow, .key = key});
    return true;
  }
  if (key == kKeyTab || key == kKeyTab + kKeyShift) return Tab(key != kKeyTab, key);
  if (key != kKeyEnter) return false;

  // Enter accepts what was typed, then presses the default button from anywhere in the window.
  AcceptFocusedEntry(key, true);
  int press = 0;
  const Shown* button = Find(default_button_);
  if (button != nullptr && !button->model.hidden && !button->model.disabled) {
    press = default_button_;
  }
  if (press == 0 && focused != nullptr &&
      (focused->model.type == ControlType::kButton || focused->model.type == ControlType::kList)) {
    press = focused_;
  }
  if (press == 0) return true;
  Post({.code = EventAccepted, .control = press, .key = key});
  return true;
}

bool UserInput::Scroll(int control, int first_row, int page_rows) {
  Shown* c = Find(control);
  if (c == nullptr || c->model.type != ControlType::kList) return false;
  first_row = std::max(first_row, 1);
  if (page_rows <= 0) page_rows = c->page_rows;
  if (first_row == c->first_row && page_rows == c->page_rows) return false;
  c->first_row = first_row;
  c->page_rows = page_rows;
  action_ = NewActionNumber();
  Post({.code = EventNone,
        .control = control,
        .change = InputChange::kPage,
        .value = first_row,
        .extra = page_rows});
  return true;
}

bool UserInput::Resize(int width, int height) {
  if (width == width_ && height == height_) return false;
  width_ = width;
  height_ = height;
  action_ = NewActionNumber();
  Post({.code = EventSized, .change = InputChange::kSize, .value = width, .extra = height});
  return true;
}

bool UserInput::CloseBox() {
  action_ = NewActionNumber();
  Post({.code = EventCloseWindow, .key = kKeyMouseLeft});
  return true;
}

bool UserInput::Activate(bool active) {
  action_ = NewActionNumber();
  Post({.code = active ? EventGainFocus : EventLoseFocus});
  return true;
}

bool UserInput::Perform(const UserAction& action) {
  switch (action.kind) {
    case UserAction::Kind::kType:
      return Type(action.control, action.text);
    case UserAction::Kind::kKey:
      return PressKey(action.value);
    case UserAction::Kind::kClick:
      return Click(action.control, action.value);
    case UserAction::Kind::kCheck:
      return Check(action.control, action.value != 0);
    case UserAction::Kind::kPickRow:
      return PickRow(action.control, action.value);
    case UserAction::Kind::kActivateRow:
      return ActivateRow(action.control, action.value);
    case UserAction::Kind::kFocus:
      return Focus(action.control, kKeyMouseLeft);
    case UserAction::Kind::kScroll:
      return Scroll(action.control, action.value, action.extra);
    case UserAction::Kind::kResize:
      return Resize(action.value, action.extra);
    case UserAction::Kind::kCloseBox:
      return CloseBox();
    case UserAction::Kind::kActivate:
      return Activate(action.value != 0);
    case UserAction::Kind::kWait:
      return true;
  }
  return false;
}

std::string_view UserInput::text(int control) const {
  const Shown* c = Find(control);
  return c != nullptr ? std::string_view(c->text) : std::string_view();
}

int UserInput::value(int control) const {
  const Shown* c = Find(control);
  return c != nullptr ? c->value : 0;
}

int UserInput::first_row(int control) const {
  const Shown* c = Find(control);
  return c != nullptr ? c->first_row : 1;
}

int UserInput::page_rows(int control) const {
  const Shown* c = Find(control);
  return c != nullptr ? c->page_rows : 0;
}

}  // namespace morlan
