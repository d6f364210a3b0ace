// What a message box shows: text ("|" starts a new line), caption, icon, buttons (a sum of
// Button flags), the button preselected, and a style passed through to the presenter.
#pragma once

#include <string>

#include "common/codes.h"

namespace morlan {

enum class MessageIcon { kNone, kExclamation, kQuestion };

struct MessageBoxRequest {
  std::string text;
  std::string caption;
  MessageIcon icon = MessageIcon::kNone;
  ButtonFlags buttons = ButtonOk;
  ButtonFlags default_button = ButtonOk;
  int style = 0;
};

}  // namespace morlan
