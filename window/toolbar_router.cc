#include "window/toolbar_router.h"

namespace morlan {

void ToolbarRouter::Init() {
  LIST = std::make_unique<std::vector<Target>>();
  current_ = -1;
}

void ToolbarRouter::Kill() {
  LIST.reset();
  current_ = -1;
}

void ToolbarRouter::AddTarget(std::int32_t id, ToolbarTarget* target) {
  if (LIST == nullptr || target == nullptr || id == 0) return;
  LIST->push_back(Target{id, target});
}

ToolbarTarget* ToolbarRouter::current() const {
  if (LIST == nullptr || current_ < 0) return nullptr;
  return (*LIST)[static_cast<std::size_t>(current_)].ITEM;
}

// The list may hold targets while none is current (none selected yet, or an unknown id was
// selected): every call on the current target checks for one.
void ToolbarRouter::DisplayButtons() {
  if (ToolbarTarget* target = current()) target->ShowButtons();
}

void ToolbarRouter::TakeToolbarEvent(std::atomic<std::int32_t>* request) {
  if (LIST == nullptr || LIST->empty() || request == nullptr) return;
  if (ToolbarTarget* target = current()) target->TakeRequest(request);
}

void ToolbarRouter::SelectTarget(std::int32_t id) {
  if (LIST == nullptr) return;
  if (id != 0) {
    for (std::size_t i = 0; i < LIST->size(); ++i) {
      if ((*LIST)[i].ID != id) continue;
      current_ = static_cast<int>(i);
      break;
    }
    if (ToolbarTarget* target = current()) target->BecomeTarget();
    return;
  }
  for (std::size_t i = 0; i < LIST->size(); ++i) {
    if ((*LIST)[i].ITEM->WantsToBeTarget()) current_ = static_cast<int>(i);
  }
}

}  // namespace morlan
