// A presenter that passes everything on to another presenter and runs a hook before it passes
// on a halt: start-up puts the desktop's drag setting back there, so that a fatal error ends the
// program with the setting restored, as a normal exit does.
//
// Threading: as the presenter it wraps; the hook may run on any thread (a procedure's thread
// halts the program) and must be thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>

#include "platform/presenter.h"

namespace morlan {

class HaltHookPresenter final : public Presenter {
 public:
  // `inner` must outlive this presenter.
  HaltHookPresenter(Presenter& inner, std::function<void()> before_halt)
      : inner_(inner), before_halt_(std::move(before_halt)) {}

  void WindowOpened(const WindowSnapshot& snapshot) override { inner_.WindowOpened(snapshot); }
  void WindowChanged(const WindowSnapshot& snapshot) override { inner_.WindowChanged(snapshot); }
  void WindowClosed(int window_id) override { inner_.WindowClosed(window_id); }
  ButtonFlags ShowMessageBox(const MessageBoxRequest& request) override {
    return inner_.ShowMessageBox(request);
  }
  // The hook, then the inner presenter's halt.
  void Halt(int exit_code, std::string_view text) override;
  bool PumpsEvents() const override { return inner_.PumpsEvents(); }
  void PumpUntilWoken(std::int64_t deadline_hundredths) override {
    inner_.PumpUntilWoken(deadline_hundredths);
  }
  void Wake() override { inner_.Wake(); }
  void BeforeWait(int window_id) override { inner_.BeforeWait(window_id); }
  void SetWaitCursor(bool on) override { inner_.SetWaitCursor(on); }
  void Beep(int frequency, int duration) override { inner_.Beep(frequency, duration); }
  FrameActions& frame_actions() override { return inner_.frame_actions(); }

 private:
  Presenter& inner_;
  std::function<void()> before_halt_;
};

}  // namespace morlan
