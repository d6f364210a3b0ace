// The frame's standard menu actions under Qt. Cut, copy and paste act on the entry field that has
// the keyboard focus. Printer set-up, window arrangement and help are not carried out yet: they
// do nothing (windows are separate top-level windows, so there is no workspace to tile or
// cascade).
//
// Threading: meant for the GUI thread's event loop; a call from another thread is carried out on
// the GUI thread without waiting.
#pragma once

#include <QObject>
#include <functional>

#include "platform/frame_actions.h"

namespace morlan {

class QtFrameActions final : public FrameActions {
 public:
  // `gui` lives on the GUI thread and outlives this object.
  explicit QtFrameActions(QObject* gui) : gui_(gui) {}

  void Cut() override;
  void Copy() override;
  void Paste() override;

 private:
  void OnGuiThread(std::function<void()> action);

  QObject* const gui_;
};

}  // namespace morlan
