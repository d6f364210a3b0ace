#include "errors/history_window_definition.h"

#include <string>

namespace morlan {

namespace {

ControlDefinition Control(int number, std::string name, ControlType type, std::string text, int x,
                          int y, int width, int height) {
  ControlDefinition c;
  c.number = number;
  c.name = std::move(name);
  c.type = type;
  c.text = std::move(text);
  c.x = x;
  c.y = y;
  c.width = width;
  c.height = height;
  return c;
}

}  // namespace

WindowDefinition HistoryWindowDefinition() {
  WindowDefinition d;
  d.id = std::string(kHistoryWindowId);
  d.caption = std::string(kHistoryWindowCaption);
  d.width = 320;
  d.height = 96;
  d.controls.push_back(
      Control(kHistoryImageControl, "?IMAGE", ControlType::kImage, "", 2, 4, 26, 28));
  ControlDefinition list =
      Control(kHistoryListControl, "?LIST", ControlType::kList, "", 32, 4, 286, 71);
  list.format = std::string(kHistoryListFormat);
  d.controls.push_back(std::move(list));
  // ?BUTTON8 is control 100 at the right end of the row, ?BUTTON1 control 107 at its left end.
  for (int k = kHistoryButtonPositions; k >= 1; --k) {
    const std::string label = std::to_string(k);
    ControlDefinition button =
        Control(kHistoryFirstButton + kHistoryButtonPositions - k, "?BUTTON" + label,
                ControlType::kButton, "Button " + label, 4 + (k - 1) * 40, 80, 36, 14);
    button.hidden = true;
    d.controls.push_back(std::move(button));
  }
  return d;
}

}  // namespace morlan
