#include "platform/window.h"

#include <algorithm>
#include <atomic>

#include "platform/runtime.h"

namespace morlan {

namespace {

int NextWindowId() {
  static std::atomic<int> last{0};
  return ++last;
}

}  // namespace

Window::Window(const WindowDefinition& definition)
    : id_(NextWindowId()),
      definition_(definition),
      caption_(definition.caption),
      timer_(definition.timer) {
  controls_.reserve(definition.controls.size());
  for (const ControlDefinition& d : definition.controls) {
    Control c;
    c.state.number = d.number;
    c.state.type = d.type;
    c.state.name = d.name;
    c.state.text = d.text;
    c.state.message = d.message;
    c.state.format = d.format;
    c.state.range_low = d.range_low;
    c.state.range_high = d.range_high;
    c.state.parent = d.parent;
    c.state.hidden = d.hidden;
    c.state.x = d.x;
    c.state.y = d.y;
    c.state.width = d.width;
    c.state.height = d.height;
    controls_.push_back(std::move(c));
  }
}

Window::~Window() { Close(); }

bool Window::Open() {
  const ThreadId me = Runtime::CurrentThreadId();
  ThreadId owner = 0;
  if (!owner_.compare_exchange_strong(owner, me)) return owner == me;
  std::shared_ptr<EventQueue> queue = EventQueue::ForCurrentThread();
  {
    std::lock_guard lock(queue_mutex_);
    queue_ = queue;
  }
  dirty_ = false;
  next_timer_ = Runtime::clock().Now() + timer_;
  // The queue takes the window's events before the presenter can show it and post to it, and
  // before other threads see it open.
  queue->WindowOpened(id_);
  open_ = true;
  if (Presenter* p = Runtime::presenter()) p->WindowOpened(Snapshot());
  return true;
}

void Window::Close() {
  if (!open_.exchange(false)) return;
  dirty_ = false;
  queue()->WindowClosed(id_);
  if (Presenter* p = Runtime::presenter()) p->WindowClosed(id_);
  owner_ = 0;  // last: another thread may claim it from now on
}

std::shared_ptr<EventQueue> Window::queue() const {
  std::lock_guard lock(queue_mutex_);
  return queue_;
}

void Window::Post(EventCode code, int control) {
  const std::shared_ptr<EventQueue> queue = this->queue();
  if (queue == nullptr) return;  // never opened: no thread waits for its events
  queue->Post(Event{code, control, id_});
}

Window::Control* Window::Find(int control) {
  for (Control& c : controls_) {
    if (c.state.number == control) return &c;
  }
  return nullptr;
}

const Window::Control* Window::Find(int control) const {
  return const_cast<Window*>(this)->Find(control);
}

void Window::SetCaption(std::string_view caption) {
  if (caption_ == caption) return;
  caption_ = caption;
  Changed();
}

std::string_view Window::text(int control) const {
  if (control == 0) return caption_;
  const Control* c = Find(control);
  return c != nullptr ? std::string_view(c->state.text) : std::string_view();
}

void Window::SetText(int control, std::string_view text) {
  if (control == 0) return SetCaption(text);
  Control* c = Find(control);
  if (c == nullptr || c->state.text == text) return;
  c->state.text = text;
  Changed();
}

void Window::SetIcon(int control, std::string_view icon) {
  Control* c = Find(control);
  if (c == nullptr) return;
  c->icon = icon;
  Changed();
}

void Window::Hide(int control) {
  if (control == 0) {
    if (visible_) Changed();
    visible_ = false;
    return;
  }
  Control* c = Find(control);
  if (c == nullptr || c->state.hidden) return;
  c->state.hidden = true;
  Changed();
}

void Window::Show(int control) {
  if (control == 0) {
    if (!visible_) Changed();
    visible_ = true;
    return;
  }
  Control* c = Find(control);
  if (c == nullptr || !c->state.hidden) return;
  c->state.hidden = false;
  Changed();
}

bool Window::hidden(int control) const {
  if (control == 0) return !visible_;
  const Control* c = Find(control);
  return c != nullptr && c->state.hidden;
}

void Window::Select(int control) {
  if (control != 0) {
    if (Find(control) == nullptr || focused_ == control) return;
    focused_ = control;
    Changed();
    return;
  }
  // No control of ours refuses its input, so validating them all again ends at once.
  accept_all_ = true;
  Post(EventCompleted);
}

void Window::SetDefaultButton(int control) {
  if (default_button_ == control || (control != 0 && Find(control) == nullptr)) return;
  default_button_ = control;
  Changed();
}

void Window::BindByte(int control, const std::uint8_t* variable) {
  Control* c = Find(control);
  if (c != nullptr) c->bound = variable;
}

void Window::SetListSource(int control, ListSource source) {
  Control* c = Find(control);
  if (c != nullptr) c->list = std::move(source);
}

void Window::Display(int control) {
  for (Control& c : controls_) {
    if (control != 0 && c.state.number != control) continue;
    if (c.bound != nullptr && c.state.value != *c.bound) {
      c.state.value = *c.bound;
      Changed();
    }
    if (c.list.count) {
      const int n = c.list.count();
      std::vector<std::string> rows;
      rows.reserve(static_cast<std::size_t>(std::max(n, 0)));
      for (int i = 0; i < n; ++i) rows.push_back(c.list.row(i));
      if (rows != c.state.rows) {
        c.state.rows = std::move(rows);
        Changed();
      }
    }
  }
}

int Window::value(int control) const {
  const Control* c = Find(control);
  return c != nullptr ? c->state.value : 0;
}

ControlType Window::type(int control) const {
  const Control* c = Find(control);
  return c != nullptr ? c->state.type : ControlType::kText;
}

void Window::SetAlertKey(int control, int index, int key) {
  Control* c = Find(control);
  if (c == nullptr) return;
  for (auto& entry : c->alert_keys) {
    if (entry.first == index) {
      entry.second = key;
      return;
    }
  }
  c->alert_keys.emplace_back(index, key);
}

int Window::alert_key(int control, int index) const {
  const Control* c = Find(control);
  if (c == nullptr) return 0;
  for (const auto& entry : c->alert_keys) {
    if (entry.first == index) return entry.second;
  }
  return 0;
}

void Window::SetTimer(int hundredths) {
  timer_ = std::max(hundredths, 0);
  next_timer_ = Runtime::clock().Now() + timer_;
}

void Window::TimerDelivered(std::int64_t now) { next_timer_ = now + timer_; }

WindowSnapshot Window::Snapshot() const {
  WindowSnapshot s;
  s.id = id_;
  s.definition_id = definition_.id;
  s.caption = caption_;
  s.is_frame = definition_.is_frame;
  s.visible = visible_;
  s.x = definition_.x;
  s.y = definition_.y;
  s.width = definition_.width;
  s.height = definition_.height;
  s.focused_control = focused_;
  s.default_button = default_button_;
  s.controls.reserve(controls_.size());
  for (const Control& c : controls_) s.controls.push_back(c.state);
  s.queue = queue();
  return s;
}

void Window::Flush() {
  if (!dirty_ || !is_open()) return;
  dirty_ = false;
  if (Presenter* p = Runtime::presenter()) p->WindowChanged(Snapshot());
}

}  // namespace morlan
