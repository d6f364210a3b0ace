// An event of the windowing runtime: its code, the control it concerns (0 for the window
// itself) and the window it is for.
#pragma once

#include "common/codes.h"

namespace morlan {

struct Event {
  EventCode code = 0;
  int control = 0;
  int window = 0;  // id of the window; 0 for the thread's current window
};

}  // namespace morlan
