#include "platform/qt/qt_key_code.h"

#include <array>

#include "platform/key_codes.h"

namespace morlan {

namespace {

struct KeyPair {
  int qt;
  int code;
};

constexpr std::array<KeyPair, 17> kNamedKeys = {{
    {Qt::Key_Backspace, kKeyBackspace},
    {Qt::Key_Tab, kKeyTab},
    {Qt::Key_Return, kKeyEnter},
    {Qt::Key_Enter, kKeyEnter},
    {Qt::Key_Escape, kKeyEscape},
    {Qt::Key_Space, kKeySpace},
    {Qt::Key_PageUp, kKeyPageUp},
    {Qt::Key_PageDown, kKeyPageDown},
    {Qt::Key_End, kKeyEnd},
    {Qt::Key_Home, kKeyHome},
    {Qt::Key_Left, kKeyLeft},
    {Qt::Key_Up, kKeyUp},
    {Qt::Key_Right, kKeyRight},
    {Qt::Key_Down, kKeyDown},
    {Qt::Key_Insert, kKeyInsert},
    {Qt::Key_Delete, kKeyDelete},
    {Qt::Key_Backtab, kKeyTab | kKeyShift},
}};

int BaseCode(int key) {
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
    return key;  // their character codes, as the runtime's
  }
  if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return kKeyF1 + (key - Qt::Key_F1);
  for (const KeyPair& pair : kNamedKeys) {
    if (pair.qt == key) return pair.code;
  }
  return kKeyNone;
}

}  // namespace

int KeyCodeOf(int key, Qt::KeyboardModifiers modifiers) {
  int code = BaseCode(key);
  if (code == kKeyNone) return kKeyNone;
  if (modifiers.testFlag(Qt::ShiftModifier)) code |= kKeyShift;
  if (modifiers.testFlag(Qt::ControlModifier)) code |= kKeyControl;
  if (modifiers.testFlag(Qt::AltModifier)) code |= kKeyAlt;
  return code;
}

}  // namespace morlan
