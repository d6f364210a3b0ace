// A copy of a window model's visible state, handed to the presenter whenever the window
// changes. Being a plain value, it crosses threads without sharing anything with the model.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/control_type.h"

namespace morlan {

class EventQueue;

struct ControlSnapshot {
  int number = 0;
  ControlType type = ControlType::kText;
  std::string name;     // "?PROGRESS:CANCEL"
  std::string text;     // caption or content
  std::string message;  // one-line description (menu entries)
  int value = 0;        // thermometer position, list selection
  int range_low = 0;
  int range_high = 100;
  int parent = 0;  // menu the entry belongs to, 0 for the menu bar or the window
  bool hidden = false;
  int x = 0, y = 0, width = 0, height = 0;  // dialog units
  std::vector<std::string> rows;            // list rows, for list controls
  std::string format;                       // a list's column format
};

struct WindowSnapshot {
  int id = 0;
  std::string definition_id;  // "P1$PROGRESSWINDOW"
  std::string caption;
  bool is_frame = false;
  bool visible = true;
  int x = -1, y = -1;         // -1: placed by the presenter
  int width = 0, height = 0;  // dialog units
  int focused_control = 0;
  int default_button = 0;  // the button Enter presses; 0 none
  std::vector<ControlSnapshot> controls;
  // Where the presenter posts what the user does (accepted controls, close requests).
  std::shared_ptr<EventQueue> queue;
};

}  // namespace morlan
