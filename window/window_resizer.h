// Rearranges a window's controls when the window is resized.
//
// Threading: called on the thread of the window's controller.
#pragma once

namespace morlan {

class WindowResizer {
 public:
  virtual ~WindowResizer() = default;
  // The controller is being killed: stop handling the window's sized events and release the
  // resizer's lists. Not owned by the controller, so the resizer itself lives on.
  virtual void Release() = 0;
};

}  // namespace morlan
