// The preview of a report's pages before they are printed, as a process window uses it: the
// window hands it the list of page files the report fills, and asks it at the end of a completed
// run whether to print them.
//
// Threading: belongs to the thread of the process window that uses it.
#pragma once

#include <cstdint>
#include <vector>

#include "common/fixed_text.h"

namespace morlan {

// One page of a report as a file.
struct PreviewPage final {
  FixedText<128> FILENAME;
};

class ReportPreview {
 public:
  virtual ~ReportPreview() = default;

  // --- Virtual operations, in slot order ---

  // Takes the page list the report fills and the preview shows (not owned; it lives until the
  // window's Kill).
  virtual void SetUp(std::vector<PreviewPage>* pages) = 0;
  // Shows the pages at `zoom`: 1 when the person asks for them to be printed.
  virtual std::uint8_t Display(std::int16_t zoom, std::uint8_t first, std::uint8_t second,
                               std::uint8_t third) = 0;
  // The window is being killed.
  virtual void Kill() = 0;
};

}  // namespace morlan
