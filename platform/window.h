// A window model: prepared from a window definition, then opened, changed, closed and freed. The
// model is the source of truth for every control property, so reading one never waits for the
// display; changes reach the presenter as snapshots, coalesced until the owning thread next waits
// for an event (or Flush).
//
// What a person does reaches the model through events: the presenter posts each event with the
// change it reports (see Event), and the event loop hands it to TakeInput on the model's thread,
// which applies the change to the control and to the field bound to it, before the event is
// delivered. So an entry's text, a check's state and a list's selection are in the model (and in
// the bound field) by the time the handler sees the event that reports them.
//
// Bound fields (BindField) work both ways: Display reads the field into the control, and an
// accepted input writes the field. An entry bound to a number field (byte, short, long, real)
// refuses a text that is not a number, and a number the field cannot hold as given (out of its
// range, or with a fraction for a whole-number field): the model and the field keep their old
// value, the entry keeps the focus, the presenter is told to show them again
// (ControlSnapshot::restored), and the event is delivered as rejected (26) instead of accepted.
// A blank entry stores zero. A text field takes any text, cut at its width
// (texts are cut, never refused); the entry then shows what the field holds.
//
// Lists get their rows from a ListSource, asked only for the page on screen: the row count once
// per refresh and the cells of the visible rows, never every row.
//
// Threads: a window belongs to the thread that opens it, until it closes; its events go to that
// thread's queue and only that thread's event loop runs over it. A window may therefore be
// prepared on one thread and opened on another (start-up prepares the error window on the main
// thread, and a procedure thread may open it), and opened again later on yet another. Passing it
// from thread to thread is the callers' business: one thread at a time, with the hand-over
// ordered (a thread start, a join, a lock). Opening a window that is open on another thread is
// refused: Open answers false and nothing changes, and an event loop over it on any thread but
// its owner's is over at once.
//
// Threading: Post, is_open and open_here may be called from any thread; everything else belongs
// to the owning thread, or while the window is closed to the one thread that has it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/codes.h"
#include "common/field_ref.h"
#include "platform/event.h"
#include "platform/event_queue.h"
#include "platform/runtime.h"
#include "platform/window_definition.h"
#include "platform/window_snapshot.h"

namespace morlan {

class Window final {
 public:
  // The rows of a list, fetched a page at a time: how many rows there are, the text of a cell
  // (row and column 1-based), and whether the contents may have changed since the last fetch
  // (empty: always fetch afresh). Called on the window's thread, from Display and when the page
  // moves.
  struct ListSource {
    std::function<int()> count;
    std::function<std::string(int row, int column)> cell;
    std::function<bool()> changed;
  };

  explicit Window(const WindowDefinition& definition);
  // Frees the window; closes it first when it is open.
  ~Window();

  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  int id() const { return id_; }
  const WindowDefinition& definition() const { return definition_; }

  // Shows the window on the calling thread, which owns it from now on, and queues its
  // open-window event (515) there. True when the window is open on the calling thread
  // afterwards: opening a window already open here does nothing; opening one open on another
  // thread is refused (false).
  bool Open();
  // Hides the window for good; any event loop over it ends. Closing a closed window does
  // nothing.
  void Close();
  // Once open, posts from any thread reach the window.
  bool is_open() const { return open_.load(); }
  // Open, and owned by the calling thread.
  bool open_here() const { return is_open() && owner_.load() == Runtime::CurrentThreadId(); }

  // Queues an event for this window on its owner's queue. Any thread.
  void Post(EventCode code, int control = 0);
  // Queues `event` (with any change it carries) for this window; its window id is set here.
  void Post(Event event);
  // The queue of the thread that opened the window last (nullptr before the first Open).
  std::shared_ptr<EventQueue> queue() const;

  // --- Properties. Control 0 is the window itself. Unknown controls are ignored on writes
  // and read as empty. ---

  std::string_view caption() const { return caption_; }
  void SetCaption(std::string_view caption);

  std::string_view text(int control) const;
  void SetText(int control, std::string_view text);
  // The icon an image control shows: a name of icon_names.h, a decimal number, or empty.
  void SetIcon(int control, std::string_view icon);
  std::string_view icon(int control) const;

  // Hides or shows a control, or with control 0 the whole window.
  void Hide(int control);
  void Show(int control);
  bool hidden(int control) const;
  // Greys a control out, or back in: a person cannot click, focus or type into a disabled
  // control (UserInput does nothing for it), while the program still can. Control 0 is ignored.
  void Disable(int control);
  void Enable(int control);
  bool disabled(int control) const;

  // Moves the focus to `control`. With control 0 every control is validated again and, as all
  // of them accept, the completed event (549) follows. A program's Select posts no selected
  // event (257); that event reports the person moving the focus.
  void Select(int control);
  int focused_control() const { return focused_; }
  // Makes `control` the button that Enter presses (0: none).
  void SetDefaultButton(int control);
  int default_button() const { return default_button_; }

  // Binds a thermometer (or any control with a value) to a byte the caller owns; Display reads
  // it, nothing writes it. The byte must outlive the binding.
  void BindByte(int control, const std::uint8_t* variable);
  // Binds `control` to a field of a record buffer or a plain variable (FieldRef(type, address,
  // size)), both ways: Display shows the field (an entry its text, a check its state, non-zero
  // checked, a list the row it numbers, a thermometer its value), and what a person accepts is
  // written to it (rules above). The field must outlive the binding; an invalid FieldRef unbinds.
  void BindField(int control, FieldRef field);
  // Gives a list control its rows and shows their first page.
  void SetListSource(int control, ListSource source);
  // Refreshes `control` (0: every control) from its bound fields and variables, and fetches the
  // page of every list whose source may have changed.
  void Display(int control = 0);
  // Thermometer position, check state, a list's selected row (1-based, 0 none).
  int value(int control) const;
  // Sets the value without a binding; a bound field is written as well.
  void SetValue(int control, int value);

  // Lists. Columns come from the control's format (one when it has none).
  int column_count(int control) const;
  const std::vector<ListColumn>* columns(int control) const;
  // Selects row `row` (1-based; 0: none, out of range: the nearest row) and moves the page so
  // that it shows the row. No event follows. A page the person scrolls may leave the selected row
  // off screen, as a refresh (Display) leaves the page where it is.
  void SelectRow(int control, int row);
  int selected_row(int control) const { return value(control); }
  // The page shown: its first row (1-based) and how many rows it holds.
  int first_row(int control) const;
  int page_rows(int control) const;
  // Rows in the list as its source last answered.
  int row_count(int control) const;

  ControlType type(int control) const;
  void SetAlertKey(int control, int index, int key);
  int alert_key(int control, int index) const;
  // Non-zero while the controls are being validated again after Select(0).
  bool accept_all() const { return accept_all_; }

  // The window's size, in dialog units: the definition's until the person resizes the window.
  int width() const { return width_; }
  int height() const { return height_; }

  // The window's timer: timer events (523) every `hundredths` while the loop is idle; 0 stops it.
  void SetTimer(int hundredths);
  int timer() const { return timer_; }

  // The complete visible state.
  WindowSnapshot Snapshot() const;
  // Hands pending changes to the presenter now.
  void Flush();

  // For the event loop: when the next timer event is due (-1: none), and that it was delivered.
  std::int64_t next_timer_due() const { return timer_ > 0 ? next_timer_ : -1; }
  void TimerDelivered(std::int64_t now);
  void AcceptAllDone() { accept_all_ = false; }
  // For the event loop: applies the change `event` carries (see Event) to the model and the bound
  // field. Answers whether the event is to be delivered: false for a change-only event
  // (EventNone). An entry's input that is refused turns the event into rejected (26).
  bool TakeInput(Event& event);

 private:
  struct Control {
    ControlSnapshot state;
    const std::uint8_t* bound = nullptr;
    FieldRef field;
    ListSource list;
    bool list_fetched = false;
    std::vector<std::pair<int, int>> alert_keys;  // (index, key)
  };

  Control* Find(int control);
  const Control* Find(int control) const;
  void Changed() { dirty_ = true; }
  // Shows `c`'s bound field or byte; true when something changed.
  bool ShowBound(Control& c);
  // Fetches `c`'s page when the source may have changed or `force`; with `follow_selection` the
  // page moves to show the selected row.
  void FetchPage(Control& c, bool force, bool follow_selection);
  // Moves `c`'s page so that it starts at `first`, kept inside the list.
  void MovePage(Control& c, int first);
  // Applies an entry's accepted text; false when refused.
  bool AcceptText(Control& c, const std::string& text);
  void WriteValue(Control& c, int value);

  const int id_;
  const WindowDefinition definition_;
  std::atomic<ThreadId> owner_{0};  // the thread that has claimed the window; 0 while closed
  std::atomic<bool> open_{false};   // set once its queue takes its events
  mutable std::mutex queue_mutex_;  // guards queue_, which Post reads from any thread
  std::shared_ptr<EventQueue> queue_;
  std::string caption_;
  std::vector<Control> controls_;
  bool visible_ = true;
  bool dirty_ = false;
  bool accept_all_ = false;
  int focused_ = 0;
  int default_button_ = 0;
  int width_ = 0;
  int height_ = 0;
  int timer_ = 0;
  std::int64_t next_timer_ = 0;
};

}  // namespace morlan
