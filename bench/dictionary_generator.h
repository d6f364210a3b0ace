// Generated QDL dictionaries for the benchmarks. The lines follow the shape of real dictionaries:
// file declarations with their keys, records and groups, field declarations of every type (with
// and without the type words the rewrite looks for), comments, blank lines, tabs, runs of spaces
// and mixed case. Lines are mostly 10 to 120 characters long, a few up to 255, none longer, and
// none ends with a blank, so a line-by-line copy gives back the same bytes.
//
// The output depends only on the seed: the same seed gives the same lines on every platform.
// Threading: an instance is not synchronised; use one per thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace morlan {

class DictionaryGenerator {
 public:
  static constexpr std::int64_t kDefaultBytes = std::int64_t{100} * 1024 * 1024;
  static constexpr std::size_t kMaxLine = 255;

  explicit DictionaryGenerator(std::uint64_t seed = 1);

  // Replaces `line` with the next line, without a terminator.
  void NextLine(std::string& line);

  // Writes lines, each ended by LF, to a new file `path` (replacing one that exists) until it
  // holds at least `bytes` bytes. On failure prints why to stderr and returns false; the file
  // may then be incomplete.
  static bool WriteFile(const std::string& path, std::int64_t bytes, std::uint64_t seed = 1);

 private:
  enum class Part { kFileHeader, kKeys, kRecordHeader, kFields, kRecordEnd, kFileEnd, kGap };

  std::uint64_t Random();
  // Uniform in [0, n).
  std::uint32_t Below(std::uint32_t n);
  bool Chance(std::uint32_t percent) { return Below(100) < percent; }
  template <std::size_t N>
  const char* Pick(const char* const (&names)[N]) {
    return names[Below(static_cast<std::uint32_t>(N))];
  }

  // Appends each of `attributes`, in order, with the chance `percent`.
  template <std::size_t N>
  void AppendSome(std::string& line, const char* const (&attributes)[N], std::uint32_t percent) {
    for (const char* attribute : attributes) {
      if (Chance(percent)) line += attribute;
    }
  }

  void FileHeader(std::string& line);
  void Key(std::string& line);
  void Field(std::string& line);
  void Comment(std::string& line, bool indented);
  // Appends the separator between a label and its statement: a run of spaces, or a tab.
  void Gap(std::string& line);
  // Post-processing shared by every line: now and then lower-case it, or add a trailing comment;
  // then cut it to kMaxLine and drop trailing blanks.
  void Finish(std::string& line);

  std::uint64_t state_;
  Part part_ = Part::kFileHeader;
  int remaining_ = 0;    // keys or fields left in the current part
  int group_depth_ = 0;  // open GROUPs inside the current record
  std::string prefix_;   // the current file's prefix, "CUS"
};

}  // namespace morlan
