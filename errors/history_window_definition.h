// The definition of the error history window, prepared once at start-up and opened by every run
// of the history (coordinates in dialog units):
//   ?IMAGE (300)   icon at (2, 4), 26 x 28
//   ?LIST  (200)   list at (32, 4), 286 x 71: "Message" (217 wide) and "Category" (42 wide)
//   ?BUTTON8 (100) .. ?BUTTON1 (107)   buttons of 36 x 14 in one row at y 80, ?BUTTON1 at x 4,
//                  each next one 40 further right; hidden until a run shows them
// so that button position k (1 to 8), control 99 + k, counts from the right.
#pragma once

#include <string_view>

#include "platform/window_definition.h"

namespace morlan {

inline constexpr std::string_view kHistoryWindowId = "ERRORHISTORY";
inline constexpr std::string_view kHistoryWindowCaption = "Error";
inline constexpr int kHistoryImageControl = 300;
inline constexpr int kHistoryListControl = 200;
// Control of button position 1 (the rightmost); position k is this + k - 1.
inline constexpr int kHistoryFirstButton = 100;
inline constexpr int kHistoryButtonPositions = 8;
inline constexpr std::string_view kHistoryListFormat =
    "217L(2)|M~Message~S(255)@s255@42L(2)|M~Category~L(1)@s255@";

WindowDefinition HistoryWindowDefinition();

}  // namespace morlan
