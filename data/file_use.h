// Kinds of use of a file (FileManager::UseFile), as the use scopes of the FileUsageTracker weigh
// them: a scope keeps the strongest kind it has seen. A nested procedure whose first use is weaker
// than kForm has the outer procedure's record, position and auto-number state kept and put back
// when it closes the file; from kForm on, the nested procedure's record stays.
#pragma once

#include <cstdint>

namespace morlan {

enum class FileUse : std::uint8_t {
  kPassing = 1,    // a passing use, weaker than any other
  kRecords = 2,    // the record operations of the file and relation managers
  kForm = 3,       // a window manager working on its primary file
  kUntracked = 4,  // performs a deferred open, and is not recorded in the use scopes
};

}  // namespace morlan
