// The dictionary fix written plainly, for tests that need the correct output of a whole file
// without trusting the program's own rule: a line with "!" is only lower-cased; a line with one
// of STRING, DECIMAL, LONG or BYTE gets ",NAME('" + its first word (up to the first space, at
// most 32 characters) + "')" after its trailing spaces; every line is lower-cased (A-Z only),
// cut to 255 characters and written without trailing spaces, ended by LF.
//
// Input lines are taken as the text-line driver gives them: split at LF, a CR before the LF
// dropped, no line longer than 255 characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace morlan::testing {

inline std::string ReferenceRewriteLine(std::string_view line) {
  const std::size_t end = line.find_last_not_of(' ');
  const std::string_view clipped = end == std::string_view::npos ? "" : line.substr(0, end + 1);
  std::string out(clipped);
  const bool comment = line.find('!') != std::string_view::npos;
  bool declares = false;
  for (const char* word : {"STRING", "DECIMAL", "LONG", "BYTE"}) {
    if (line.find(word) != std::string_view::npos) declares = true;
  }
  if (!comment && declares) {
    std::string_view label = line.substr(0, line.find(' '));
    if (label.size() > 32) label = label.substr(0, 32);
    out += ",NAME('";
    out += label;
    out += "')";
  }
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (out.size() > 255) out.resize(255);
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// The whole output for `input`, the bytes of a dictionary file.
inline std::string ReferenceRewrite(std::string_view input) {
  std::string out;
  out.reserve(input.size() + input.size() / 8);
  std::size_t start = 0;
  while (start < input.size()) {
    std::size_t lf = input.find('\n', start);
    const std::size_t stop = lf == std::string_view::npos ? input.size() : lf;
    std::string_view line = input.substr(start, stop - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    out += ReferenceRewriteLine(line);
    out += '\n';
    start = stop + 1;
  }
  return out;
}

}  // namespace morlan::testing
