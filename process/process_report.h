// A report printed while a process window runs: opened when the first record has been read,
// fed by the record process's steps, finished and closed when the window closes.
//
// Threading: belongs to the thread of the process window that uses it.
#pragma once

#include <vector>

#include "process/report_preview.h"

namespace morlan {

class ProcessReport {
 public:
  virtual ~ProcessReport() = default;

  // --- Virtual operations, in slot order ---

  virtual void Open() = 0;
  virtual void Close() = 0;
  // Ends the page being printed.
  virtual void EndPage() = 0;
  // From now on the pages go to files listed in `pages` (not owned) for a preview.
  virtual void SetPageList(std::vector<PreviewPage>* pages) = 0;
  // Whether the previewed pages are printed when the report closes.
  virtual void SetPrintPreviewed(bool print) = 0;
};

}  // namespace morlan
