// Where the error manager writes its log: one line per reported message, each written between an
// Open and a Close.
//
// Results: every operation returns 0 on success and 5 on failure. A failure never reaches the
// user; the error manager carries on as if the line had been written.
//
// Threading: implementations must accept calls from several threads at once (the error manager
// serves every procedure thread).
#pragma once

#include <cstdint>
#include <string_view>

namespace morlan {

class ErrorLogInterface {
 public:
  // Ends one use of the log. The log is really closed when the last use ends, or at once when
  // `force` is set.
  virtual std::uint8_t Close(bool force) = 0;
  // Begins one use of the log, opening it first (creating it when missing) when it is not open
  // yet; `force` opens it whatever the count of uses says.
  virtual std::uint8_t Open(bool force) = 0;
  // Appends `text` as one line. Fails when the log is not open.
  virtual std::uint8_t AppendLine(std::string_view text) = 0;

 protected:
  // Not deleted through the interface: the error manager only borrows it.
  ~ErrorLogInterface() = default;
};

}  // namespace morlan
