// One thing a person does in a window, as a value: type into an entry, press a key, click a
// control, check a check, pick or activate a list row, move the focus, scroll a list, resize or
// close the window, switch away from it and back. UserInput::Perform turns it into the events the
// window would get; the headless presenter runs lists of them as a test's script.
//
//   presenter.ScriptFor("ENTRYFORM", {UserAction::Type(5, "12"), UserAction::Enter()});
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/key_codes.h"

namespace morlan {

struct UserAction {
  enum class Kind : std::uint8_t {
    kType,         // replace the text of entry `control` with `text` (focusing it first)
    kKey,          // press key `value` in the focused control
    kClick,        // click `control` with mouse button `value`
    kCheck,        // make check `control` checked (`value` 1) or not (0)
    kPickRow,      // select row `value` of list `control`
    kActivateRow,  // double-click row `value` of list `control`
    kFocus,        // move the focus to `control`
    kScroll,       // list `control` now shows `extra` rows from row `value`
    kResize,       // the window is now `value` wide and `extra` high
    kCloseBox,     // the window's close box
    kActivate,     // the window gains (`value` 1) or loses (0) the focus
    kWait,         // nothing this time: lets a timer event or a posted event come first
  };

  Kind kind = Kind::kWait;
  int control = 0;
  int value = 0;
  int extra = 0;
  std::string text;

  static UserAction Type(int control, std::string text) {
    return {Kind::kType, control, 0, 0, std::move(text)};
  }
  static UserAction Key(int key) { return {Kind::kKey, 0, key, 0, {}}; }
  static UserAction Enter() { return Key(kKeyEnter); }
  static UserAction Escape() { return Key(kKeyEscape); }
  static UserAction Tab() { return Key(kKeyTab); }
  static UserAction Click(int control, int button = kKeyMouseLeft) {
    return {Kind::kClick, control, button, 0, {}};
  }
  static UserAction Check(int control, bool checked) {
    return {Kind::kCheck, control, checked ? 1 : 0, 0, {}};
  }
  static UserAction PickRow(int control, int row) { return {Kind::kPickRow, control, row, 0, {}}; }
  static UserAction ActivateRow(int control, int row) {
    return {Kind::kActivateRow, control, row, 0, {}};
  }
  static UserAction Focus(int control) { return {Kind::kFocus, control, 0, 0, {}}; }
  static UserAction Scroll(int control, int first_row, int page_rows) {
    return {Kind::kScroll, control, first_row, page_rows, {}};
  }
  static UserAction Resize(int width, int height) { return {Kind::kResize, 0, width, height, {}}; }
  static UserAction CloseBox() { return {Kind::kCloseBox, 0, 0, 0, {}}; }
  static UserAction Activate(bool active) { return {Kind::kActivate, 0, active ? 1 : 0, 0, {}}; }
  static UserAction Wait() { return {}; }
};

}  // namespace morlan
