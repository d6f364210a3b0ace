// An extra step a process window runs for every record beside the record process's own, and once
// when the window closes.
//
// Threading: belongs to the thread of the process window that runs it.
#pragma once

#include "common/levels.h"

namespace morlan {

class RecordProcessor {
 public:
  virtual ~RecordProcessor() = default;

  // --- Virtual operations, in slot order ---

  // The record last read: 0 carry on; 3 stop the run (the window closes); 5 stop this batch
  // (the record is handed again at the next timer event).
  virtual Level TakeRecord() = 0;
  // The window is closing: 0 lets it close (and the report finish); anything else keeps it open.
  virtual Level TakeClose() = 0;
};

}  // namespace morlan
