// A copy of a window model's visible state, handed to the presenter whenever the window
// changes. Being a plain value, it crosses threads without sharing anything with the model.
//
// Lists carry only the page of rows on screen (first_row .. first_row + page_rows - 1, fewer at
// the end), never every row, so a list of 100,000 rows costs no more to show than one of 10. The
// presenter tells the model when the page it shows changes (an event carrying the new page, see
// Event and UserInput); the model fetches the new page and sends it back.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/control_type.h"
#include "platform/list_format.h"

namespace morlan {

class EventQueue;

struct ControlSnapshot {
  int number = 0;
  ControlType type = ControlType::kText;
  std::string name;     // "?PROGRESS:CANCEL"
  std::string text;     // caption or content
  std::string message;  // one-line description (menu entries)
  // Thermometer position; check state (0 or 1); a list's selected row (1-based, 0 none).
  int value = 0;
  int range_low = 0;
  int range_high = 100;
  int parent = 0;  // menu the entry belongs to, 0 for the menu bar or the window
  bool hidden = false;
  bool disabled = false;                    // greyed: the person cannot use it
  int x = 0, y = 0, width = 0, height = 0;  // dialog units
  // An image's icon (icon_names.h): a named icon, a decimal number, or empty for none.
  std::string icon;
  // Keys that post the alert-key event (15) while this control has the focus.
  std::vector<int> alert_keys;
  // Counts the times the model put its own text or value back over what the person entered (an
  // input it refused, or stored in another form). A presenter that shows the person's input
  // until the model's text changes shows text and value again whenever this changes.
  int restored = 0;

  // Lists.
  std::string format;               // the column format as written (list_format.h)
  std::vector<ListColumn> columns;  // parsed; at least one for a list
  int total_rows = 0;
  int first_row = 1;  // the page's first row (1-based)
  int page_rows = 0;  // rows the page holds (the presenter's visible row count)
  // The page: one entry per row from first_row, each with one text per column.
  std::vector<std::vector<std::string>> rows;
};

struct WindowSnapshot {
  int id = 0;
  std::string definition_id;  // "P1$PROGRESSWINDOW"
  std::string caption;
  bool is_frame = false;
  bool visible = true;
  int x = -1, y = -1;         // -1: placed by the presenter
  int width = 0, height = 0;  // dialog units; the person's last resize once there was one
  int focused_control = 0;
  int default_button = 0;  // the button Enter presses; 0 none
  std::vector<ControlSnapshot> controls;
  // Where the presenter posts what the person does (UserInput posts there).
  std::shared_ptr<EventQueue> queue;
};

}  // namespace morlan
