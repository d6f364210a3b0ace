// The presenter that shows the runtime's windows and message boxes with Qt Widgets.
//
// Window updates from any thread are queued to the GUI thread (the thread that made the
// presenter, which runs the QApplication) and return at once; there each window is mirrored by a
// QtWindow, which turns what the person does into events on the window's own queue, the same
// events a scripted person gets from the headless presenter. Message boxes block
// their caller: on the GUI thread the box runs at once, from another thread the caller waits
// until the GUI thread has shown and closed it. The GUI thread must therefore keep pumping Qt
// (its event loop does so through PumpUntilWoken) and never block on a procedure thread.
//
// While an application frame is shown, every window that opens (on any thread) opens as a
// child in the frame's workspace, so the frame's Window menu arranges it; windows opened while
// no frame is shown are top-level windows, and stay so. When a frame closes, its children still
// open become top-level windows.
//
// Threading: every Presenter operation may be called from any thread. The constructor, the
// destructor and widget() belong to the GUI thread; DisplayUsable may be called anywhere. The
// presenter must outlive every call made to it; window ids that are still open when it goes are
// dropped with their widgets.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/presenter.h"
#include "platform/qt/qt_frame_actions.h"

class QAbstractEventDispatcher;
class QMdiArea;
class QObject;
class QTimer;
class QWidget;

namespace morlan {

class QtWindow;

class QtPresenter final : public Presenter {
 public:
  // Requires a QApplication; call on its thread.
  QtPresenter();
  ~QtPresenter() override;

  QtPresenter(const QtPresenter&) = delete;
  QtPresenter& operator=(const QtPresenter&) = delete;

  void WindowOpened(const WindowSnapshot& snapshot) override;
  void WindowChanged(const WindowSnapshot& snapshot) override;
  void WindowClosed(int window_id) override;

  // Buttons map to the standard buttons of the same name, kExclamation to the warning icon and
  // kQuestion to the question icon; "|" starts a new line and the caption is the title. Escape
  // or the close box answer Cancel, else No, else the default button, whichever the box has.
  // A request without buttons gets an OK button.
  ButtonFlags ShowMessageBox(const MessageBoxRequest& request) override;

  // Writes `text` (when not empty) to stderr, flushes stdio and ends the process at once with
  // std::_Exit: no static destructors run, since other threads (the GUI's among them) may still
  // be using what they would destroy.
  void Halt(int exit_code, std::string_view text) override;

  bool PumpsEvents() const override { return true; }
  // GUI thread only (returns at once elsewhere). Processes Qt events until Wake is called or the
  // deadline (Runtime::clock() scale) passes. A Wake since the last pump ends it at once.
  void PumpUntilWoken(std::int64_t deadline_hundredths) override;
  void Wake() override;

  // The override cursor; the toolkit's beep (frequency and duration are not adjustable).
  void SetWaitCursor(bool on) override;
  void Beep(int frequency, int duration) override;

  FrameActions& frame_actions() override { return *frame_actions_; }

  // GUI thread: the widget of window `window_id`, or nullptr when it is not shown (never
  // opened, closed, or its opening still queued).
  QtWindow* widget(int window_id) const;

  // Whether Qt will find a display, asked before the QApplication is made (without one, Qt
  // aborts the process). The answer follows the platform plugin Qt loads: QT_QPA_PLATFORM when
  // set (a list separated by ";" is tried in turn; "xcb" needs DISPLAY, "wayland" needs
  // WAYLAND_DISPLAY, any other plugin needs neither), else DISPLAY or WAYLAND_DISPLAY. True
  // when one can be used; otherwise false, with the one line to print on standard error in
  // `why` (when given). `environment` looks a variable up (nullptr when unset); the first form
  // reads the process's environment.
  using Environment = std::function<const char*(const char* name)>;
  static bool DisplayUsable(std::string* why = nullptr);
  static bool DisplayUsable(const Environment& environment, std::string* why);

 private:
  bool OnGuiThread() const;
  // The workspace of the shown frame made last, or nullptr when no frame is shown.
  QMdiArea* FrameWorkspace() const;
  // Takes the widget of window `window_id` down; a frame's children leave its workspace first.
  void Drop(int window_id);
  // Runs `task` on the GUI thread after everything queued before it; never waits.
  void Queue(std::function<void()> task);
  ButtonFlags ShowMessageBoxHere(const MessageBoxRequest& request);

  std::unique_ptr<QObject> gui_;  // lives on the GUI thread; queued tasks run in its context
  QAbstractEventDispatcher* const dispatcher_;
  std::unique_ptr<QTimer> deadline_timer_;
  std::atomic<bool> woken_{false};
  std::unique_ptr<QtFrameActions> frame_actions_;
  // GUI thread only.
  std::map<int, std::unique_ptr<QtWindow>> windows_;
  bool wait_cursor_ = false;
};

}  // namespace morlan
