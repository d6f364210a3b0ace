#include "platform/window.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <limits>

#include "common/fixed_text.h"
#include "platform/runtime.h"

namespace morlan {

namespace {

int NextWindowId() {
  static std::atomic<int> last{0};
  return ++last;
}

// Rows a list shows before the presenter tells the model its real page size: a row of text is
// about ten dialog units high; a list without a size gets a page of its own.
constexpr int kDialogUnitsPerRow = 10;
constexpr int kUnsizedPageRows = 10;

// The text a field shows in an entry: a text field clipped, a number in its shortest decimal
// form.
std::string FieldText(const FieldRef& field) {
  const FieldValue value = field.Get();
  if (value.is_text()) return std::string(ClipText(value.text()));
  char digits[64];
  const auto result = std::to_chars(digits, digits + sizeof digits, value.number());
  return std::string(digits, result.ptr);
}

// True when a number field of `type` holds `number` exactly as given.
bool Fits(FieldType type, double number) {
  if (!std::isfinite(number)) return false;
  double low = 0;
  double high = 0;
  switch (type) {
    case FieldType::kText:
    case FieldType::kReal:
      return true;
    case FieldType::kByte:
      low = std::numeric_limits<std::uint8_t>::lowest();
      high = std::numeric_limits<std::uint8_t>::max();
      break;
    case FieldType::kShort:
      low = std::numeric_limits<std::int16_t>::lowest();
      high = std::numeric_limits<std::int16_t>::max();
      break;
    case FieldType::kLong:
      low = std::numeric_limits<std::int32_t>::lowest();
      high = std::numeric_limits<std::int32_t>::max();
      break;
  }
  return number >= low && number <= high && std::trunc(number) == number;
}

int ToInt(double number) {
  if (!std::isfinite(number)) return 0;
  return static_cast<int>(std::clamp(number, static_cast<double>(std::numeric_limits<int>::min()),
                                     static_cast<double>(std::numeric_limits<int>::max())));
}

}  // namespace

Window::Window(const WindowDefinition& definition)
    : id_(NextWindowId()),
      definition_(definition),
      caption_(definition.caption),
      width_(definition.width),
      height_(definition.height),
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
    if (d.type == ControlType::kList) {
      c.state.columns = ListFormat::Parse(d.format).columns();
      c.state.page_rows =
          d.height > 0 ? std::max(1, d.height / kDialogUnitsPerRow) : kUnsizedPageRows;
    }
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
  Event event;
  event.code = code;
  event.control = control;
  Post(std::move(event));
}

void Window::Post(Event event) {
  const std::shared_ptr<EventQueue> queue = this->queue();
  if (queue == nullptr) return;  // never opened: no thread waits for its events
  event.window = id_;
  queue->Post(std::move(event));
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
  if (c == nullptr || c->state.icon == icon) return;
  c->state.icon = icon;
  Changed();
}

std::string_view Window::icon(int control) const {
  const Control* c = Find(control);
  return c != nullptr ? std::string_view(c->state.icon) : std::string_view();
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

void Window::Disable(int control) {
  Control* c = Find(control);
  if (c == nullptr || c->state.disabled) return;
  c->state.disabled = true;
  Changed();
}

void Window::Enable(int control) {
  Control* c = Find(control);
  if (c == nullptr || !c->state.disabled) return;
  c->state.disabled = false;
  Changed();
}

bool Window::disabled(int control) const {
  const Control* c = Find(control);
  return c != nullptr && c->state.disabled;
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

void Window::BindField(int control, FieldRef field) {
  Control* c = Find(control);
  if (c != nullptr) c->field = field;
}

void Window::SetListSource(int control, ListSource source) {
  Control* c = Find(control);
  if (c == nullptr) return;
  c->list = std::move(source);
  c->list_fetched = false;
  FetchPage(*c, true, true);
}

bool Window::ShowBound(Control& c) {
  int value = c.state.value;
  if (c.bound != nullptr) value = *c.bound;
  if (c.field.valid()) {
    switch (c.state.type) {
      case ControlType::kEntry:
      case ControlType::kText:
      case ControlType::kButton: {
        std::string text = FieldText(c.field);
        if (text == c.state.text) return false;
        c.state.text = std::move(text);
        return true;
      }
      case ControlType::kCheck: {
        const FieldValue v = c.field.Get();
        value = v.is_text() ? !ClipText(v.text()).empty() : v.number() != 0;
        break;
      }
      default:
        value = ToInt(c.field.Get().is_text() ? 0 : c.field.Get().number());
        break;
    }
  }
  if (value == c.state.value) return false;
  c.state.value = value;
  if (c.state.type == ControlType::kList) MovePage(c, c.state.first_row);
  return true;
}

void Window::FetchPage(Control& c, bool force, bool follow_selection) {
  if (!c.list.count || !c.list.cell) return;
  if (!force && c.list_fetched && c.list.changed && !c.list.changed()) return;
  c.list_fetched = true;
  ControlSnapshot& s = c.state;
  const int total = std::max(c.list.count(), 0);
  const int columns = std::max(static_cast<int>(s.columns.size()), 1);
  bool changed = total != s.total_rows;
  s.total_rows = total;
  if (s.value > total) {
    s.value = total;
    changed = true;
  }
  // A row the program selects is brought onto the page; the page stays inside the list.
  int first = s.first_row;
  if (follow_selection && s.value > 0 && s.value < first) first = s.value;
  if (follow_selection && s.value > 0 && s.value >= first + s.page_rows) {
    first = s.value - s.page_rows + 1;
  }
  first = std::clamp(first, 1, std::max(1, total - s.page_rows + 1));
  changed = changed || first != s.first_row;
  s.first_row = first;
  const int rows = std::clamp(total - first + 1, 0, s.page_rows);
  if (static_cast<int>(s.rows.size()) != rows) {
    s.rows.resize(static_cast<std::size_t>(rows));
    changed = true;
  }
  for (int r = 0; r < rows; ++r) {
    std::vector<std::string>& row = s.rows[static_cast<std::size_t>(r)];
    row.resize(static_cast<std::size_t>(columns));
    for (int col = 0; col < columns; ++col) {
      std::string cell = c.list.cell(first + r, col + 1);
      std::string& shown = row[static_cast<std::size_t>(col)];
      if (cell == shown) continue;
      shown = std::move(cell);
      changed = true;
    }
  }
  if (changed) Changed();
}

void Window::MovePage(Control& c, int first) {
  c.state.first_row = std::max(first, 1);
  FetchPage(c, true, true);
}

void Window::Display(int control) {
  for (Control& c : controls_) {
    if (control != 0 && c.state.number != control) continue;
    if (ShowBound(c)) Changed();
    FetchPage(c, false, false);
  }
}

int Window::value(int control) const {
  const Control* c = Find(control);
  return c != nullptr ? c->state.value : 0;
}

void Window::WriteValue(Control& c, int value) {
  if (c.state.value != value) Changed();
  c.state.value = value;
  if (c.field.valid()) c.field.Set(FieldValue::Number(value));
}

void Window::SetValue(int control, int value) {
  Control* c = Find(control);
  if (c == nullptr) return;
  if (c->state.type == ControlType::kList) return SelectRow(control, value);
  WriteValue(*c, value);
}

int Window::column_count(int control) const {
  const Control* c = Find(control);
  return c != nullptr ? static_cast<int>(c->state.columns.size()) : 0;
}

const std::vector<ListColumn>* Window::columns(int control) const {
  const Control* c = Find(control);
  return c != nullptr ? &c->state.columns : nullptr;
}

void Window::SelectRow(int control, int row) {
  Control* c = Find(control);
  if (c == nullptr || c->state.type != ControlType::kList) return;
  row = std::max(row, 0);
  // Before the list has a source its length is unknown; fetching it clamps the row.
  if (c->list.count && c->list.cell) row = std::min(row, c->state.total_rows);
  WriteValue(*c, row);
  MovePage(*c, c->state.first_row);
}

int Window::first_row(int control) const {
  const Control* c = Find(control);
  return c != nullptr ? c->state.first_row : 1;
}

int Window::page_rows(int control) const {
  const Control* c = Find(control);
  return c != nullptr ? c->state.page_rows : 0;
}

int Window::row_count(int control) const {
  const Control* c = Find(control);
  return c != nullptr ? c->state.total_rows : 0;
}

bool Window::AcceptText(Control& c, const std::string& text) {
  if (!c.field.valid()) {
    if (c.state.text != text) Changed();
    c.state.text = text;
    return true;
  }
  if (!c.field.is_text()) {
    double number = 0;
    const bool blank = ClipText(text).find_first_not_of(' ') == std::string_view::npos;
    if (!blank && (!ParseNumber(text, &number) || !Fits(c.field.type(), number))) {
      // The field keeps its value and the entry the focus; the presenter shows both again.
      ++c.state.restored;
      focused_ = c.state.number;
      Changed();
      return false;
    }
    c.field.Set(FieldValue::Number(number));
  } else {
    c.field.Set(FieldValue::Text(text));
  }
  std::string stored = FieldText(c.field);
  // Cut to the field's width, or a number written in its own form: show what was stored.
  if (stored != text) ++c.state.restored;
  c.state.text = std::move(stored);
  Changed();
  return true;
}

bool Window::TakeInput(Event& event) {
  Control* c = event.control != 0 ? Find(event.control) : nullptr;
  switch (event.change) {
    case InputChange::kNone:
      break;
    case InputChange::kFocus:
      if (c != nullptr && focused_ != event.control) {
        focused_ = event.control;
        Changed();
      }
      break;
    case InputChange::kSize:
      if (width_ != event.value || height_ != event.extra) Changed();
      width_ = std::max(event.value, 0);
      height_ = std::max(event.extra, 0);
      break;
    case InputChange::kText:
      if (c != nullptr && !AcceptText(*c, event.text)) event.code = EventRejected;
      break;
    case InputChange::kValue:
      if (c == nullptr) break;
      if (c->state.type == ControlType::kList) {
        SelectRow(event.control, event.value);
        break;
      }
      WriteValue(*c, event.value);
      break;
    case InputChange::kPage:
      if (c == nullptr || c->state.type != ControlType::kList) break;
      if (event.extra > 0 && event.extra != c->state.page_rows) {
        c->state.page_rows = event.extra;
        Changed();
      }
      // The person scrolled on purpose: the page may leave the selected row behind.
      c->state.first_row = std::max(event.value, 1);
      FetchPage(*c, true, false);
      Changed();
      break;
  }
  return event.code != EventNone;
}

ControlType Window::type(int control) const {
  const Control* c = Find(control);
  return c != nullptr ? c->state.type : ControlType::kText;
}

void Window::SetAlertKey(int control, int index, int key) {
  Control* c = Find(control);
  if (c == nullptr) return;
  bool found = false;
  for (auto& entry : c->alert_keys) {
    if (entry.first != index) continue;
    entry.second = key;
    found = true;
  }
  if (!found) c->alert_keys.emplace_back(index, key);
  c->state.alert_keys.clear();
  for (const auto& entry : c->alert_keys) {
    if (entry.second != 0) c->state.alert_keys.push_back(entry.second);
  }
  Changed();
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
  s.width = width_;
  s.height = height_;
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
