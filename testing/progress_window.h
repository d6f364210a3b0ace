// The progress window the platform tests run: thermometer 1, texts 2 and 3, Cancel 4.
#pragma once

#include "platform/window_definition.h"

namespace morlan::testing {

inline WindowDefinition ProgressWindowDefinition(const char* caption, int timer = 0) {
  WindowDefinition d;
  d.id = "P1$PROGRESSWINDOW";
  d.caption = caption;
  d.width = 142;
  d.height = 59;
  d.timer = timer;
  d.controls = {
      {1, "?PROGRESS:THERMOMETER", ControlType::kThermometer, "", "", 15, 15, 111, 12},
      {2, "?PROGRESS:USERSTRING", ControlType::kText, "", "", 15, 3, 111, 10},
      {3, "?PROGRESS:PCTTEXT", ControlType::kText, "", "", 15, 30, 111, 10},
      {4, "?PROGRESS:CANCEL", ControlType::kButton, "Cancel", "", 45, 42, 50, 15},
  };
  return d;
}

}  // namespace morlan::testing
