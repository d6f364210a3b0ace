// Names of the icons an image control can show (Window::SetIcon). A presenter maps each named
// icon to its toolkit's standard one. Any other name is either a whole decimal number, which
// names an icon by number (the presenter decides what it shows, a generic icon when it knows
// none), or the name of an image the presenter may be able to load. An empty name shows nothing.
#pragma once

#include <string_view>

namespace morlan {

inline constexpr std::string_view kIconExclamation = "*exclamation";
inline constexpr std::string_view kIconQuestion = "*question";
inline constexpr std::string_view kIconInformation = "*information";
inline constexpr std::string_view kIconHand = "*hand";  // a stop sign: errors
inline constexpr std::string_view kIconApplication = "*application";

// True when `name` is a whole decimal number ("32515"), which names an icon by number.
constexpr bool IsIconNumber(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace morlan
