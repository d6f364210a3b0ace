#include "app/halt_hook_presenter.h"

namespace morlan {

void HaltHookPresenter::Halt(int exit_code, std::string_view text) {
  if (before_halt_) before_halt_();
  inner_.Halt(exit_code, text);
}

}  // namespace morlan
