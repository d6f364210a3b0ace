// The event loop over one window, run on the window's own thread: events are delivered one at a
// time, and each is ended with a code that says how the runtime goes on:
//   0  default handling: the close-window (513) and close-down (514) events close the window,
//      an accepted control with a standard action carries it out;
//   1  dealt with: nothing more happens;
//  -1  leave the loop.
// EndEvent answers whether the loop is over (left, or the window closed). An event the handler
// leaves without an end gets the default handling when the next one is asked for.
//
// Timer events (523) are made from the window's timer interval, only when no other event for
// the window waits. While nothing is queued the loop waits on its thread's queue: on the GUI
// thread inside the presenter, which keeps the toolkit going, decided when the wait begins.
//
//   EventLoop loop(window);
//   while (loop.NextEvent()) {
//     ... handle loop.event() ...
//     if (loop.EndEvent(code)) break;
//   }
//
// Before an event is delivered, the change it carries (what a person typed, checked, picked; the
// focus; a list's page; the window's size) is applied to the window model and its bound fields
// (Window::TakeInput), and the key or mouse button it carries becomes the thread's key code.
// Events that only carry a change are applied and not delivered. When the model refuses an
// entry's input, the event is delivered as rejected (26) and the rest of the same person's action
// is dropped (Enter in a refused entry does not press the default button).
//
// Before the loop waits, the presenter hears that the window is idle (Presenter::BeforeWait).
//
// Loops nest: a loop started while another runs on the same thread (a modal window) becomes the
// thread's current loop until it ends. The event queries are those of the current loop. While a
// modal loop runs, only its own window's events are delivered (with those for window 0, which go
// to the innermost loop): the outer windows' posted events wait, and their timers make no events
// until their own loops run again, so a timer-driven batch never runs inside a modal window.
//
// Threading: a loop belongs to the thread that made it, and runs only over a window open on that
// thread (see Window): over a window that is closed or open on another thread it is over at once.
#pragma once

#include <cstdint>

#include "platform/event.h"
#include "platform/window.h"

namespace morlan {

class EventLoop final {
 public:
  explicit EventLoop(Window& window);
  ~EventLoop();

  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Waits for the next event of the window and makes it current. False when the loop is over.
  bool NextEvent();
  // Ends the current event with 0, 1 or -1 (above). True when the loop is over.
  bool EndEvent(int code);
  bool over() const { return over_ || !window_.open_here(); }

  Window& window() { return window_; }
  EventCode event() const { return current_.code; }
  // The control of the current event; 0 for an event of the window itself.
  int control() const { return current_.control; }
  // The control last accepted in this loop.
  int accepted_control() const { return accepted_; }
  int focused_control() const { return window_.focused_control(); }

  // The thread's current (innermost) loop, or nullptr.
  static EventLoop* Current();

  // The code of the last key or mouse button on this thread (key_codes.h). Set from the event
  // that carries one, on this thread as the event is taken, and by the program.
  static int key_code();
  static void set_key_code(int code);

 private:
  void DefaultHandling();
  // Applies the change the current event carries; false when it is not to be delivered.
  bool TakeInput();

  Window& window_;
  EventLoop* outer_;
  Event current_;
  int accepted_ = 0;
  std::uint32_t refused_action_ = 0;  // the person's action whose input the model refused
  bool over_ = false;
  bool in_event_ = false;
};

}  // namespace morlan
