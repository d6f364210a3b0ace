// The messages of the dictionary fix itself, beside the error manager's standard table: start-up
// loads them after the standard ones (ErrorManager::LoadMessageTable), in the same block format
// (errors/standard_message_table.h).
//
// Threading: the block is immutable and lives for the whole process.
#pragma once

#include <cstdint>
#include <span>

#include "common/error_ids.h"

namespace morlan {

// The old output file could not be removed, so the run ends before writing anything: appending
// to the old lines would leave a wrong dictionary reported as complete. %File and %ErrorText
// say which file and why.
inline constexpr ErrorId ErrOutputNotRemoved = 100;
// A procedure could not be started on a thread of its own; %Message names it.
inline constexpr ErrorId ErrProcedureNotStarted = 101;

class FixMessageTable {
 public:
  static constexpr int kEntryCount = 2;

  // The encoded block; it never moves.
  static std::span<const std::uint8_t> Bytes();
};

}  // namespace morlan
