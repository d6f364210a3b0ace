// Where a data file reports what happens to it. The file manager registers itself as the sink of
// its file.
#pragma once

#include <cstdint>
#include <span>

namespace morlan {

// Operation codes a driver reports.
inline constexpr std::uint32_t kNotifyClose = 7;      // the file was closed
inline constexpr std::uint32_t kNotifyDestroy = 104;  // the file object is going away

// Words of a notification's parameter block.
inline constexpr std::size_t kNotificationWords = 16;

class FileNotificationSink {
 public:
  virtual ~FileNotificationSink() = default;

  // Called on the thread that performed `operation`, after it has taken effect. `parameters`
  // holds kNotificationWords words; their meaning depends on the operation (for kNotifyDestroy,
  // word 9 (index 8) is 0 when the sink should release everything it keeps for the file).
  // Returns true when the sink dealt with it.
  virtual bool DriverNotify(std::uint32_t operation, std::span<const std::uint32_t> parameters) = 0;

  // Called once a batch of notifications is over; returns true.
  virtual bool DriverNotifyDone() = 0;
};

}  // namespace morlan
