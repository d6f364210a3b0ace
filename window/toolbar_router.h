// Routes the presses of a window's toolbar to the current one of its targets (a browse list, a
// form). A window controller keeps the router as its TOOLBAR: it passes every accepted control
// to TakeToolbarEvent and retargets the router when a list gets a new selection.
//
// The current target is chosen by SelectTarget; until then, and after a SelectTarget that found
// no target, the router may have none, and the operations that act on the current target then do
// nothing.
//
// Threading: a router belongs to the thread of the window whose controller holds it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "window/toolbar_target.h"

namespace morlan {

class ToolbarRouter {
 public:
  struct Target final {
    std::int32_t ID = 0;
    ToolbarTarget* ITEM = nullptr;  // not owned
  };

  ToolbarRouter() = default;
  virtual ~ToolbarRouter() = default;

  ToolbarRouter(const ToolbarRouter&) = delete;
  ToolbarRouter& operator=(const ToolbarRouter&) = delete;

  // --- Virtual operations, in slot order ---

  // The current target shows its buttons; nothing without a current target.
  virtual void DisplayButtons();
  // Drops the target list (the targets themselves are not touched) and the current target.
  virtual void Kill();
  // A toolbar press: the current target takes `request` (the navigation request, which it may
  // read and change). Nothing when the list is empty, no target is current or `request` is
  // null.
  virtual void TakeToolbarEvent(std::atomic<std::int32_t>* request);

  // --- Non-virtual operations ---

  // Starts with a new empty target list and no current target.
  void Init();
  // Appends a target with number `id` (not 0). Does not change the current target. Nothing
  // before Init, after Kill, or for a null target.
  void AddTarget(std::int32_t id, ToolbarTarget* target);
  // `id` not 0: the first target with that number becomes current and is told so; an unknown id
  // leaves the current target as it was (which is told again, when there is one). `id` 0: every
  // target in list order is asked whether it wants to be current, and the last one answering yes
  // becomes current; when none does, the current target stays.
  void SelectTarget(std::int32_t id);
  // The current target, or nullptr.
  ToolbarTarget* current() const;

  // --- Fields ---

  // The targets, in the order added; null before Init and after Kill.
  std::unique_ptr<std::vector<Target>> LIST;

 private:
  // Index into LIST of the current target; -1 for none.
  int current_ = -1;
};

}  // namespace morlan
