// How a data file's driver reaches whoever manages the file: the manager implements this
// interface and registers itself as the file's notification sink (DataFile::SetNotificationSink),
// and the driver tells it of operations on the file through the two operations below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace morlan {

// Operation codes a driver reports.
inline constexpr std::uint32_t kNotifyClose = 7;      // the file was closed
inline constexpr std::uint32_t kNotifyDestroy = 104;  // the file object is going away

// Words of a notification's parameter block.
inline constexpr std::size_t kNotificationWords = 16;
// The word of a kNotifyDestroy block (word 9) that says what the callback keeps: 0 when the file
// object is going away, so that the callback must release everything it keeps for the file and
// never reach the file again; any other value when the driver keeps the file, and the callback
// keeps the file and what it holds for it.
inline constexpr std::size_t kDestroyReleaseWord = 8;

class FileCallbackInterface {
 public:
  virtual ~FileCallbackInterface() = default;

  // The driver reports `operation` on the file. Called on the thread that performed it, after it
  // has taken effect, without any lock of the driver held: the callback may use the file, and the
  // driver sets the operation's own result after the callback returns. `parameters` holds
  // kNotificationWords words, whose meaning depends on the operation (kDestroyReleaseWord for
  // kNotifyDestroy; zero otherwise unless a driver says so). Returns true when the callback dealt
  // with the operation.
  virtual bool DriverNotify(std::uint32_t operation, std::span<const std::uint32_t> parameters) = 0;

  // Called after every DriverNotify, once that notification is over. Returns true.
  virtual bool DriverNotifyDone() = 0;
};

}  // namespace morlan
