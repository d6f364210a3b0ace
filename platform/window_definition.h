// A window definition: what a window is made of before it is prepared. Positions and sizes are
// in dialog units. Controls carry numbers (negative for menu entries), names beginning with "?",
// types and captions; menu entries name the standard action the runtime carries out for them.
#pragma once

#include <string>
#include <vector>

#include "platform/control_type.h"

namespace morlan {

// What the runtime does by itself when a control is accepted and the handler leaves the
// default handling to it.
enum class StandardAction {
  kNone,
  kCloseWindow,
  kPrinterSetup,
  kCut,
  kCopy,
  kPaste,
  kTile,
  kCascade,
  kArrangeIcons,
  kHelpContents,
  kHelpSearch,
  kHelpOnHelp,
};

struct ControlDefinition {
  int number = 0;
  std::string name;  // "?PROGRESS:CANCEL"
  ControlType type = ControlType::kText;
  std::string text;     // caption; "&" marks a menu mnemonic
  std::string message;  // one-line description shown for menu entries
  int x = 0, y = 0, width = 0, height = 0;
  int range_low = 0;
  int range_high = 100;
  int parent = 0;  // number of the menu an entry belongs to; 0 for the menu bar or window
  bool hidden = false;
  StandardAction action = StandardAction::kNone;
  std::string format = {};  // a list's column format
};

struct WindowDefinition {
  std::string id;  // "P1$PROGRESSWINDOW"
  std::string caption;
  int x = -1, y = -1;  // -1: the presenter places the window
  int width = 0, height = 0;
  bool is_frame = false;  // an application frame with a menu bar
  int timer = 0;          // timer interval in hundredths of a second; 0: no timer
  std::vector<ControlDefinition> controls;
};

}  // namespace morlan
