// The calling thread's error state: the status code of the last file or view operation (0 on
// success), its text, and the driver's own code and text when the driver had more to say (status
// 90). Every operation of a file or view leaves it set; callers read it at once, before the next
// operation on the same thread replaces it.
//
// Threading: the state is thread_local; each thread sees only its own operations.
// Cost: setting success touches three bytes and never allocates, so the per-record path can
// afford it; failures copy their texts into fixed thread-local buffers.
#pragma once

#include <cstddef>
#include <string_view>

#include "common/codes.h"

namespace morlan {

class RuntimeErrorState {
 public:
  // Capacity of each text; longer texts are cut.
  static constexpr std::size_t kTextCapacity = 255;

  // A copy of the whole state, taken before clean-up steps that run operations of their own
  // (closing a file after a failed write, rolling back) and put back afterwards, so the caller
  // sees the failure that mattered. Fixed size: saving never allocates.
  struct Saved {
    struct Text {
      char data[kTextCapacity];
      std::size_t size = 0;
      void Assign(std::string_view s);
      std::string_view view() const { return {data, size}; }
    };
    StatusCode code = StatusOk;
    Text text;
    Text driver_code;
    Text driver_text;
  };
  static Saved Save();
  static void Restore(const Saved& saved);

  static void SetOk();
  // `code` with its standard text; no driver code or text.
  static void Set(StatusCode code);
  static void Set(StatusCode code, std::string_view text);
  // Status 90 with the driver's own code and text.
  static void SetDriverError(std::string_view driver_code, std::string_view driver_text);

  static StatusCode code();
  static std::string_view text();
  static std::string_view driver_code();
  static std::string_view driver_text();

  // The standard text of a status code ("File not found" for 2, ...).
  static std::string_view StandardText(StatusCode code);
};

}  // namespace morlan
