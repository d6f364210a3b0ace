// Levels: the result of every framework operation that can fail.
#pragma once

#include <cstdint>

namespace morlan {

using Level = std::uint8_t;

inline constexpr Level FatalityNone = 0;       // carry on; success
inline constexpr Level FatalityAsk = 1;        // an entry shown as a Yes/No question
inline constexpr Level FatalityProgram = 2;    // program error; handled like a halt
inline constexpr Level FatalityHalt = 3;       // stop; ends an event loop when a handler returns it
inline constexpr Level FatalityCancelled = 4;  // the user did not answer Yes
inline constexpr Level FatalityNotify = 5;     // the operation did not happen, or was dealt with

}  // namespace morlan
