// A driver double for runs over files too large to make: it wraps a file and reports the file's
// size and the bytes of every read multiplied by a factor, and a record count of the test's
// choice (0: the driver cannot count, so progress runs on bytes). Everything else is the wrapped
// file's, faults included (it is a FaultInjectingFile).
#pragma once

#include <cstdint>

#include "platform/fault_injecting_file.h"

namespace morlan::testing {

class ScaledFile final : public FaultInjectingFile {
 public:
  ScaledFile(DataFile& inner, std::int64_t factor, std::int64_t record_count = 0)
      : FaultInjectingFile(inner), factor_(factor), record_count_(record_count) {}

  std::int64_t bytes_read() const override { return FaultInjectingFile::bytes_read() * factor_; }
  std::int64_t Size() override { return FaultInjectingFile::Size() * factor_; }
  std::int64_t RecordCount() override {
    FaultInjectingFile::RecordCount();  // leaves the error state as the driver does
    return record_count_;
  }

 private:
  std::int64_t factor_;
  std::int64_t record_count_;
};

}  // namespace morlan::testing
