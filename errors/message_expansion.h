// Filling the placeholders of a stored message: the text the error manager shows for an entry.
//
// Placeholders, tried at each "%" in this order so that a longer one is seen before a shorter one
// that begins it: %FileErrorCode, %FileError, %File, %ErrorCode, %ErrorText, %Error, %Message,
// %Field, %Procedure, %Category, %Previous. All but %Previous match without regard to ASCII
// letter case; %Previous only in that exact spelling, so "%PREVIOUS" stays as it is. Every
// occurrence is replaced; an empty value makes its placeholder disappear.
//
// Values are inserted as they are and never searched again: a file name holding "%Message" (or
// a quoted earlier message holding "%Previous") shows those characters, and the expansion ends
// after one pass over the message whatever the values hold.
//
// The message is cut to kMessageExpansionCapacity characters before expansion and the result to
// the same capacity after it.
//
// Pure: no state, no allocation beyond the result; safe from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace morlan {

inline constexpr std::size_t kMessageExpansionCapacity = 1999;

// The text that replaces each placeholder. The views must stay valid for the call only.
struct PlaceholderValues final {
  std::string_view file_error_code;  // %FileErrorCode
  std::string_view file_error;       // %FileError
  std::string_view file;             // %File
  std::string_view error_code;       // %ErrorCode
  std::string_view error_text;       // %ErrorText
  std::string_view error;            // %Error
  std::string_view message;          // %Message
  std::string_view field;            // %Field
  std::string_view procedure;        // %Procedure
  std::string_view category;         // %Category
  std::string_view previous;         // %Previous
};

// True when `message` holds "%Previous" in its exact spelling, so that a caller can skip finding
// the earlier text when nothing asks for it.
bool AsksForPrevious(std::string_view message);

// `message` with its placeholders replaced by `values`, at most kMessageExpansionCapacity
// characters.
std::string ExpandPlaceholders(std::string_view message, const PlaceholderValues& values);

}  // namespace morlan
