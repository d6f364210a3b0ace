// The pieces the benchmark programs share: the command line "[directory [megabytes]]", status
// reporting, a line-by-line copy through TextLineFile, and the timed comparison of two ways of
// writing a generated dictionary into a file, with its printed report.
//
// Threading: everything here uses the calling thread's RuntimeErrorState; the programs run on
// one thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "common/codes.h"
#include "common/record_layout.h"
#include "platform/runtime_error_state.h"
#include "platform/text_line_file.h"

namespace morlan {

class BenchHarness {
 public:
  using Clock = std::chrono::steady_clock;

  // Each way of a comparison runs this often, alternating with the other; its best time counts.
  static constexpr int kRuns = 5;

  // One way of writing a copy of an input file.
  struct Way {
    // Names the way's output file and the way in messages: "driver".
    std::string name;
    // Copies `from` to `to`, which does not exist when called. Returns the number of lines, or
    // -1 after printing why to stderr.
    std::function<std::int64_t(const std::string& from, const std::string& to)> write;
  };

  struct Result {
    std::int64_t bytes = 0;  // size of the input
    std::int64_t lines = 0;  // lines each way wrote
    double first_seconds = 0;
    double second_seconds = 0;
  };

  // Parses "[directory [megabytes]]" (default: the current directory and
  // DictionaryGenerator::kDefaultBytes) and returns run(directory, bytes). A size that is not a
  // positive number of megabytes, or too large to count in bytes, prints the usage and returns 2.
  static int Main(int argc, char** argv,
                  int (*run)(const std::filesystem::path& directory, std::int64_t bytes));

  // If the thread's error state holds a failure, prints "<what> <name> failed: <code> <text>
  // <driver text>" to stderr and returns true; otherwise returns false.
  static bool Failed(const char* what, const std::string& name);

  // The layout of the copies: one 255-character text field "LINE".
  static RecordLayout LineLayout();

  // Reads `in` from its current position to its end. Copies each record into `target` (at least
  // in.record_size() bytes) and calls add(), which returns false after printing why it failed.
  // Returns the number of lines, or -1 after printing why to stderr. A template so the per-line
  // call stays inline in the timed loops.
  template <typename Add>
  static std::int64_t CopyLines(TextLineFile& in, char* target, Add add) {
    const char* source = in.record();
    const std::size_t size = in.record_size();
    std::int64_t lines = 0;
    for (;;) {
      in.Next();
      if (RuntimeErrorState::code() == StatusNoRecord) return lines;
      if (Failed("read", in.name())) return -1;
      std::memcpy(target, source, size);
      if (!add()) return -1;
      ++lines;
    }
  }

  // The driver's way: `from` read with Next until 33 and appended to the new file `to` with
  // Add, both through TextLineFile with LineLayout(). Returns the number of lines, or -1 after
  // printing why to stderr.
  static std::int64_t TextLineCopy(const std::string& from, const std::string& to);

  // Generates a dictionary of at least `bytes` bytes as "morlan-bench-<tag>-input.qdl" in
  // `directory` and reads it once, so the timed runs find it in the page cache. Then runs
  // `first` and `second` alternately kRuns times, each into "morlan-bench-<tag>-<name>.qdl",
  // and keeps each one's best time. Both must write the same number of lines and give back the
  // input byte for byte. Removes all three files before returning. On success fills `result`
  // and returns true; on failure prints why to stderr and returns false.
  static bool Compare(const std::filesystem::path& directory, std::int64_t bytes,
                      const std::string& tag, const Way& first, const Way& second, Result& result);

  // Prints "input: B bytes, L lines", then each way's best time as "<label>: S s, M MB/s" (with
  // ", N ns/line" when `per_line`), and last "ratio: X" with `ratio` to two decimals.
  static void Print(const Result& result, const char* first_label, const char* second_label,
                    bool per_line, double ratio);
};

}  // namespace morlan
