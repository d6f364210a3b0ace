// A window model: prepared from a window definition, then opened, changed, closed and freed. The
// model is the source of truth for every control property, so reading one never waits for the
// display; changes reach the presenter as snapshots, coalesced until the owning thread next waits
// for an event (or Flush).
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
#include "platform/event_queue.h"
#include "platform/runtime.h"
#include "platform/window_definition.h"
#include "platform/window_snapshot.h"

namespace morlan {

class Window final {
 public:
  // Rows of a virtual list: how many there are, and the text of row i (0-based).
  struct ListSource {
    std::function<int()> count;
    std::function<std::string(int row)> row;
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
  // The queue of the thread that opened the window last (nullptr before the first Open).
  std::shared_ptr<EventQueue> queue() const;

  // --- Properties. Control 0 is the window itself. Unknown controls are ignored on writes
  // and read as empty. ---

  std::string_view caption() const { return caption_; }
  void SetCaption(std::string_view caption);

  std::string_view text(int control) const;
  void SetText(int control, std::string_view text);
  void SetIcon(int control, std::string_view icon);

  // Hides or shows a control, or with control 0 the whole window.
  void Hide(int control);
  void Show(int control);
  bool hidden(int control) const;

  // Moves the focus to `control`. With control 0 every control is validated again and, as all
  // of them accept, the completed event (549) follows.
  void Select(int control);
  int focused_control() const { return focused_; }
  // Makes `control` the button that Enter presses (0: none).
  void SetDefaultButton(int control);
  int default_button() const { return default_button_; }

  // Binds a thermometer (or any control with a value) to a byte the caller owns; Display reads
  // it. The byte must outlive the binding.
  void BindByte(int control, const std::uint8_t* variable);
  // Gives a list control its rows.
  void SetListSource(int control, ListSource source);
  // Refreshes `control` (0: every control) from its bound variables.
  void Display(int control = 0);
  int value(int control) const;

  ControlType type(int control) const;
  void SetAlertKey(int control, int index, int key);
  int alert_key(int control, int index) const;
  // Non-zero while the controls are being validated again after Select(0).
  bool accept_all() const { return accept_all_; }

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

 private:
  struct Control {
    ControlSnapshot state;
    const std::uint8_t* bound = nullptr;
    ListSource list;
    std::vector<std::pair<int, int>> alert_keys;  // (index, key)
    std::string icon;
  };

  Control* Find(int control);
  const Control* Find(int control) const;
  void Changed() { dirty_ = true; }

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
  int timer_ = 0;
  std::int64_t next_timer_ = 0;
};

}  // namespace morlan
