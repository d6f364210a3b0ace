// Process-wide services of the windowing runtime: the presenter and clock in use, thread ids and
// procedure threads, message boxes, the halt, and the user's date and time formats.
//
// Set-up: Install a presenter and a clock before anything else uses the runtime (main installs
// the Qt presenter and a SteadyClock; tests install a HeadlessPresenter and usually a
// ManualClock). Without an installed presenter, message boxes answer their default button and a
// halt ends the process; without a clock, a SteadyClock is used.
//
// Threading: every operation is thread-safe. Install and Reset are meant for start-up, shutdown
// and test set-up, while no other thread uses the runtime.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/message_box_request.h"
#include "platform/presenter.h"

namespace morlan {

using ThreadId = std::int32_t;

class Runtime final {
 public:
  // Neither is owned; both must outlive their use.
  static void InstallPresenter(Presenter* presenter);
  static void InstallClock(Clock* clock);
  // Back to no presenter, the steady clock, no GUI thread and no close-down.
  static void Reset();

  static Presenter* presenter();
  static Clock& clock();

  // Runtime life. Start marks the calling thread as the GUI thread (whose event loop the
  // presenter pumps) and takes the user's date and time formats from the environment.
  // IsCompatible answers whether this runtime can run a program built for `version`.
  static constexpr int kVersion = 1;
  static void Start();
  static bool IsCompatible(int version);

  // Ends the running procedures, for the program's teardown: call it once the frame has
  // returned and before any global object is killed. Posts close-down (514) to every open window
  // of every thread, the caller's own included, and to every window that opens from then on
  // (right after its open-window event); then waits until every thread started by StartThread
  // has returned, or until `patience` has passed (real time, whatever clock is installed). On the
  // GUI thread the presenter keeps pumping meanwhile, since a procedure may be waiting for a
  // message box. True when every procedure thread returned. False when some still run: they may
  // still use the global objects, so the caller must not destroy them (end the process
  // instead). Any thread; close-down lasts until Reset.
  static bool StopProcedures(std::chrono::milliseconds patience);
  // True once close-down has begun.
  static bool ClosingDown();
  // The runtime's own close-down: StopProcedures with kCloseDownPatience.
  static constexpr std::chrono::seconds kCloseDownPatience{30};
  static bool CloseDown();

  // Marks the calling thread as the GUI thread (Start does it). Event queues ask at every wait
  // and every post, so a thread's windows made before the mark follow it too.
  static void MarkGuiThread();
  static bool OnGuiThread();
  static bool IsGuiThread(ThreadId thread);

  // Small positive number of the calling thread, given out in order of first use (the thread
  // that starts the runtime is normally 1). Never reused within a process.
  static ThreadId CurrentThreadId();

  // Runs `procedure` on a new detached thread with a stack of at least `stack_bytes` (raised to
  // a safe minimum of kMinimumStackBytes for C++ code). False when the thread cannot be started.
  static constexpr std::size_t kMinimumStackBytes = 1024 * 1024;
  static bool StartThread(std::function<void()> procedure, std::size_t stack_bytes);
  // Number of threads started by StartThread that have not yet returned.
  static int RunningThreads();

  // Shows a modal message box through the presenter; returns the button pressed.
  static ButtonFlags MessageBox(const MessageBoxRequest& request);

  // Ends the whole program with `exit_code`; `text` says why. Returns only when the presenter
  // lets it (tests).
  static void Halt(int exit_code, std::string_view text);

  // The wait cursor while `on`, else the default one; a warning sound.
  static void SetWaitCursor(bool on);
  static void Beep(int frequency, int duration);

  // Today's date in the user's short date format and the time in the user's long time format,
  // from the clock's wall time and the LC_TIME locale.
  static std::string ShortDate();
  static std::string LongTime();
};

}  // namespace morlan
