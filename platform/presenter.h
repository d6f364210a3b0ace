// The presenter shows the runtime's windows and message boxes to a person, or to nobody (the
// headless presenter of tests and benchmarks). Window models stay the source of truth on their
// own threads; the presenter only receives copies of their state.
//
// Threading: every operation may be called from any thread. Window updates return without
// waiting for the display; ShowMessageBox blocks its caller until the box is answered.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/codes.h"
#include "platform/message_box_request.h"
#include "platform/window_snapshot.h"

namespace morlan {

class FrameActions;

class Presenter {
 public:
  virtual ~Presenter() = default;

  // A window was opened, changed or closed. `snapshot` is the complete state after the change.
  virtual void WindowOpened(const WindowSnapshot& snapshot) = 0;
  virtual void WindowChanged(const WindowSnapshot& snapshot) = 0;
  virtual void WindowClosed(int window_id) = 0;

  // Shows a modal message box and returns the flag of the button pressed (one of
  // `request.buttons`; the default button when the box is dismissed otherwise).
  virtual ButtonFlags ShowMessageBox(const MessageBoxRequest& request) = 0;

  // Ends the whole program with `exit_code`. A presenter for tests records the call and returns;
  // callers must cope with a halt that comes back.
  virtual void Halt(int exit_code, std::string_view text) = 0;

  // Called by the GUI thread's event loop while its queue is empty: waits, keeping the toolkit
  // responsive, until Wake is called or `deadline_hundredths` (Clock::Now scale, -1 for none)
  // has passed. The headless presenter has nothing to pump and returns at once, letting the
  // loop wait on its own queue.
  virtual bool PumpsEvents() const { return false; }
  virtual void PumpUntilWoken(std::int64_t deadline_hundredths) { (void)deadline_hundredths; }
  // Ends the current PumpUntilWoken early. Any thread.
  virtual void Wake() {}

  // Called by the event loop over window `window_id`, on that window's thread, when nothing is
  // queued for the window and no timer event is due, just before the loop waits. It may post to
  // the window (the headless presenter performs a scripted person's next action here, so the
  // program reacts to one action before the next comes); it must not block. Any thread.
  virtual void BeforeWait(int window_id) { (void)window_id; }

  // The wait cursor while `on`, else the default cursor; a warning sound.
  virtual void SetWaitCursor(bool on) { (void)on; }
  virtual void Beep(int frequency, int duration) {
    (void)frequency;
    (void)duration;
  }

  // The frame's standard menu actions (printer set-up, clipboard, window arrangement, help).
  virtual FrameActions& frame_actions() = 0;
};

}  // namespace morlan
