// Something the toolbar's buttons can act on (a browse list, a form): the toolbar router keeps a
// list of targets and passes each toolbar press to the one that is current.
//
// Threading: a target belongs to the thread of the window that shows it, as its router does.
#pragma once

#include <atomic>
#include <cstdint>

namespace morlan {

class ToolbarTarget {
 public:
  virtual ~ToolbarTarget() = default;

  // --- Virtual operations, in slot order ---

  // Show the toolbar buttons this target uses, in the states it wants them.
  virtual void ShowButtons() = 0;
  // This target has been made the current one.
  virtual void BecomeTarget() = 0;
  // True when the target wants to be the current one (its control has the focus, say).
  virtual bool WantsToBeTarget() = 0;
  // Carry out a toolbar press. `request` is the navigation request shared with the window
  // controller (never null): the target reads what was asked and may change or clear it.
  virtual void TakeRequest(std::atomic<std::int32_t>* request) = 0;
};

}  // namespace morlan
