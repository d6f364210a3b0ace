// Key codes of the windowing runtime: the code of the last key or mouse button, as the event
// loop's key code answers it and as alert keys name keys.
//
// A key is its base code plus the modifier bits held with it (kKeyShift, kKeyControl, kKeyAlt).
// Letters are their upper-case character code, digits their character code; the named keys
// below cover what the framework and its presenters use. Mouse buttons are codes of their own:
// 2 is the left button, and bit 128 added to a button marks a double click, so 130 is a double
// click of the left button. A window that starts clears a pending left-button code (2 or 130), so
// the click that opened it is not read as the new window's input.
#pragma once

namespace morlan {

inline constexpr int kKeyNone = 0;

inline constexpr int kKeyMouseLeft = 2;
inline constexpr int kKeyMouseRight = 3;
inline constexpr int kKeyMouseDouble = 128;  // added to a mouse button
inline constexpr int kKeyMouseLeftDouble = kKeyMouseLeft + kKeyMouseDouble;

inline constexpr int kKeyBackspace = 8;
inline constexpr int kKeyTab = 9;
inline constexpr int kKeyEnter = 13;
inline constexpr int kKeyEscape = 27;
inline constexpr int kKeySpace = 32;
inline constexpr int kKeyPageUp = 33;
inline constexpr int kKeyPageDown = 34;
inline constexpr int kKeyEnd = 35;
inline constexpr int kKeyHome = 36;
inline constexpr int kKeyLeft = 37;
inline constexpr int kKeyUp = 38;
inline constexpr int kKeyRight = 39;
inline constexpr int kKeyDown = 40;
inline constexpr int kKeyInsert = 45;
inline constexpr int kKeyDelete = 46;
// F1 to F12 are kKeyF1 + 0 .. kKeyF1 + 11.
inline constexpr int kKeyF1 = 112;
inline constexpr int kKeyF2 = kKeyF1 + 1;
inline constexpr int kKeyF3 = kKeyF1 + 2;
inline constexpr int kKeyF4 = kKeyF1 + 3;
inline constexpr int kKeyF5 = kKeyF1 + 4;
inline constexpr int kKeyF6 = kKeyF1 + 5;
inline constexpr int kKeyF7 = kKeyF1 + 6;
inline constexpr int kKeyF8 = kKeyF1 + 7;
inline constexpr int kKeyF9 = kKeyF1 + 8;
inline constexpr int kKeyF10 = kKeyF1 + 9;
inline constexpr int kKeyF11 = kKeyF1 + 10;
inline constexpr int kKeyF12 = kKeyF1 + 11;

// Modifier bits, added to a key's base code.
inline constexpr int kKeyShift = 0x100;
inline constexpr int kKeyControl = 0x200;
inline constexpr int kKeyAlt = 0x400;

// The key without its modifier bits.
inline constexpr int KeyBase(int key) { return key & 0xFF; }

}  // namespace morlan
