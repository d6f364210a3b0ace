// A part of a window that a window controller keeps informed: it sees every event of the window,
// refreshes and redraws itself with it, and is killed with it. A controller holds components by
// reference in the order they were added (WindowController::AddComponent); it never owns them.
//
// Threading: a component belongs to the thread of the controller that holds it and is called
// only there, from inside that controller's event loop or its Init and Kill.
#pragma once

#include <cstdint>

#include "common/levels.h"

namespace morlan {

class WindowComponent {
 public:
  virtual ~WindowComponent() = default;

  // --- Virtual operations, in slot order ---

  // The controller is being killed: release what the component holds. Called once, after the
  // component has left the controller's list.
  virtual void Kill() = 0;
  // Refresh the component's values. `force` is non-zero when the refresh must happen even if
  // nothing seems to have changed (the window got the focus back, say).
  virtual void Reset(std::uint8_t force) = 0;
  // Asked after every event while the controller's AUTOREFRESH is set: true when the window must
  // be refreshed. The first component answering true triggers one Reset(0) of the whole window.
  virtual bool NeedsReset() = 0;
  // Register the alert keys the component reacts to with the window.
  virtual void RegisterAlerts() = 0;
  // Sees every event of the window, after the controller's own handlers have let it through.
  // The event is the one current in the thread's event loop (EventLoop::Current()). Returns 0 to
  // let the handling go on; non-zero stops it there (later components do not see the event and
  // no automatic refresh follows): 5 marks the event as dealt with, 3 ends the event loop.
  virtual Level TakeEvent() = 0;
  // Write the component's values back where they belong.
  virtual void Update() = 0;
  // Show the component's current values. Called after every component's Reset.
  virtual void Redraw() = 0;
};

}  // namespace morlan
