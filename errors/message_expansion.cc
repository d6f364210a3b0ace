#include "errors/message_expansion.h"

#include <algorithm>
#include <array>

#include "common/text_compare.h"

namespace morlan {
namespace {

constexpr std::string_view kPrevious = "%Previous";

struct Placeholder final {
  std::string_view name;
  std::string_view PlaceholderValues::*value;
};

// Longer names ahead of the shorter ones they begin with; %Previous, the exact-case one, last.
constexpr std::array<Placeholder, 11> kPlaceholders = {{
    {"%FileErrorCode", &PlaceholderValues::file_error_code},
    {"%FileError", &PlaceholderValues::file_error},
    {"%File", &PlaceholderValues::file},
    {"%ErrorCode", &PlaceholderValues::error_code},
    {"%ErrorText", &PlaceholderValues::error_text},
    {"%Error", &PlaceholderValues::error},
    {"%Message", &PlaceholderValues::message},
    {"%Field", &PlaceholderValues::field},
    {"%Procedure", &PlaceholderValues::procedure},
    {"%Category", &PlaceholderValues::category},
    {kPrevious, &PlaceholderValues::previous},
}};

// Appends as much of `text` as still fits.
void Append(std::string& out, std::string_view text) {
  out.append(text.substr(0, std::min(text.size(), kMessageExpansionCapacity - out.size())));
}

}  // namespace

bool AsksForPrevious(std::string_view message) {
  return message.find(kPrevious) != std::string_view::npos;
}

std::string ExpandPlaceholders(std::string_view message, const PlaceholderValues& values) {
  message = message.substr(0, std::min(message.size(), kMessageExpansionCapacity));
  std::string out;
  std::size_t at = 0;
  // One pass over the message: what a value brings in is copied, never looked at again, and the
  // output stops growing once it is full.
  while (at < message.size() && out.size() < kMessageExpansionCapacity) {
    const std::size_t mark = message.find('%', at);
    const std::size_t plain_end = mark == std::string_view::npos ? message.size() : mark;
    Append(out, message.substr(at, plain_end - at));
    at = plain_end;
    // The plain text may have filled the result: nothing more fits, not even a lone "%".
    if (at == message.size() || out.size() == kMessageExpansionCapacity) break;

    const std::string_view rest = message.substr(at);
    const Placeholder* found = nullptr;
    for (const Placeholder& placeholder : kPlaceholders) {
      if (rest.size() < placeholder.name.size()) continue;
      const std::string_view candidate = rest.substr(0, placeholder.name.size());
      const bool match = placeholder.name == kPrevious ? candidate == kPrevious
                                                       : EqualsNoCase(candidate, placeholder.name);
      if (!match) continue;
      found = &placeholder;
      break;
    }
    if (found == nullptr) {
      out.push_back('%');
      ++at;
      continue;
    }
    Append(out, values.*(found->value));
    at += found->name.size();
  }
  return out;
}

}  // namespace morlan
