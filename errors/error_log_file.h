// The standard error log: appends lines to a text-line file, "KWTError.Log" in the process's
// current directory unless another name is given. Each line is one record of a single text field
// TXT of kLineCapacity characters: a longer line is cut, trailing blanks are not written.
//
// USAGE counts the Open calls not yet matched by a Close. The file is opened by the Open that
// finds USAGE at 0 (or a forced one) and closed by the Close that brings USAGE back from 1 (or a
// forced one); in between, Open and Close only count. A missing file is created by the open.
//
// Failures (each returns 5, with the runtime error state of the calling thread set):
//   Open: the file cannot be created or opened; USAGE stays as it was.
//   AppendLine: the log is not open (USAGE 0), or the driver refuses the line; the line is lost.
//   Close: closing reports a failure (a buffered line could not be written). The driver closes
//     the file even then, so USAGE drops to 0 and the next Open tries afresh.
// A Close without a matching Open returns 0 and leaves USAGE at 0.
//
// Threading: thread-safe; one mutex serialises the operations of one object. Two objects on the
// same file may be used at once: both open it shared, and every line is appended at the end.
// Destruction closes the file (Close(true)).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "errors/error_log_interface.h"
#include "platform/text_line_file.h"

namespace morlan {

class ErrorLogFile final : public ErrorLogInterface {
 public:
  static constexpr std::string_view kDefaultFileName = "KWTError.Log";
  static constexpr std::uint32_t kLineCapacity = 1024;
  // Read and write, shared with other processes for reading and writing.
  static constexpr std::uint8_t kOpenMode = 0x42;

  explicit ErrorLogFile(std::string file_name = std::string(kDefaultFileName));
  ~ErrorLogFile();

  ErrorLogFile(const ErrorLogFile&) = delete;
  ErrorLogFile& operator=(const ErrorLogFile&) = delete;

  std::uint8_t Close(bool force) override;
  std::uint8_t Open(bool force) override;
  std::uint8_t AppendLine(std::string_view text) override;

  std::int32_t usage() const;
  bool is_open() const;
  const std::string& file_name() const { return file_name_; }

 private:
  const std::string file_name_;
  mutable std::mutex mutex_;
  TextLineFile file_;      // guarded by mutex_
  std::int32_t USAGE = 0;  // guarded by mutex_
};

}  // namespace morlan
