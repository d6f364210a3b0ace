// The runtime's key codes (key_codes.h) for Qt's keys.
#pragma once

#include <Qt>

namespace morlan {

// The code of `key` pressed with `modifiers`: letters, digits and the named keys of key_codes.h,
// plus the Shift, Control and Alt bits. 0 for a key without a code (a modifier alone, a
// punctuation character), which then means nothing to the window.
int KeyCodeOf(int key, Qt::KeyboardModifiers modifiers);

}  // namespace morlan
