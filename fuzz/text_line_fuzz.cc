// Fuzz target for the text-line file: arbitrary bytes become a file, which is read line by line to
// its end, read again from a remembered position, and then appended to.
//
// Input: the first byte chooses the record size (bits 0-2: 1, 2, 3, 4, 8, 16, 80 or 255
// characters), whether the rest is expanded (bit 3) and which line is read again (bits 4-7);
// the rest is the file. Expanded, a byte FF followed by a count c stands for (c + 1) * 1024
// copies of the byte before it (up to a file of 320 KiB), so that lines and files longer than the
// driver's 256 KiB read buffer are reachable from small inputs.
//
// Checked against a model of the file's lines built here from the bytes (LF ends a line, one CR
// before it or at the end of the file belongs to the terminator, a last line needs none):
// - every read consumes exactly its line and terminator, and the counts add up to the file size;
// - a line that fits becomes the record, padded with blanks, and no record holds a line feed;
// - a longer line fails with 90, naming its line number, leaves the record as it was, and the
//   next read goes on with the line after it;
// - the end gives 33; Position names a line's start, and Reget there reads that line again and
//   goes on after it;
// - an Add leaves every byte of the file as it was and appends one line (after an LF when the
//   last line had none).
// A breach traps, so the fuzzer (and the corpus replay in the normal test suite) reports it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/codes.h"
#include "common/record_layout.h"
#include "fuzz/fuzz_support.h"
#include "platform/data_file.h"
#include "platform/runtime_error_state.h"
#include "platform/text_line_file.h"

namespace morlan {
namespace {

using fuzzing::ReadWholeFile;
using fuzzing::Require;
using fuzzing::Trap;
using fuzzing::WriteWholeFile;

constexpr std::uint32_t kRecordSizes[] = {1, 2, 3, 4, 8, 16, 80, 255};
// Expansion stops growing the file here.
constexpr std::size_t kMaxExpandedSize = std::size_t{320} << 10;

// The scratch folder, fixed for the process.
const std::string& ScratchFolder() {
  static const std::string folder = fuzzing::ScratchFolder("text-line-fuzz");
  ::mkdir(folder.c_str(), 0700);
  return folder;
}

std::string Expand(std::string_view input) {
  std::string out;
  for (std::size_t i = 0; i < input.size(); ++i) {
    if (input[i] != '\xFF' || i + 1 == input.size()) {
      out.push_back(input[i]);
      continue;
    }
    const std::size_t count = (static_cast<unsigned char>(input[++i]) + std::size_t{1}) * 1024;
    const char repeated = out.empty() ? 'a' : out.back();
    if (out.size() + count <= kMaxExpandedSize) out.append(count, repeated);
  }
  return out;
}

// One line of the file as the driver's contract describes it.
struct Line final {
  std::size_t start;     // offset of its first byte
  std::size_t consumed;  // its bytes with the terminator
  std::string_view text;
};

std::vector<Line> ModelLines(std::string_view content) {
  std::vector<Line> lines;
  for (std::size_t pos = 0; pos < content.size();) {
    const std::size_t lf = content.find('\n', pos);
    const std::size_t end = lf == std::string_view::npos ? content.size() : lf;
    std::string_view text = content.substr(pos, end - pos);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    const std::size_t consumed = end - pos + (lf == std::string_view::npos ? 0 : 1);
    lines.push_back({pos, consumed, text});
    pos += consumed;
  }
  return lines;
}

// Reads the next record and checks it against `line`, the `index`-th line (from 0) when
// `numbered`, else at a position the driver cannot number.
void CheckRead(TextLineFile& file, const Line& line, std::size_t index, bool numbered) {
  const std::uint32_t capacity = file.record_size();
  char before[256];  // the largest record size
  std::memcpy(before, file.record(), capacity);
  file.Next();
  const std::string_view record(file.record(), capacity);
  Require(file.bytes_read() == static_cast<std::int64_t>(line.consumed));
  Require(std::memchr(record.data(), '\n', record.size()) == nullptr);
  if (line.text.size() > capacity) {
    Require(RuntimeErrorState::code() == StatusDriverError);
    Require(record == std::string_view(before, capacity));
    const std::string named = numbered ? "Line " + std::to_string(index + 1) + " is longer than "
                                       : "The line at byte " + std::to_string(line.start) + " ";
    Require(RuntimeErrorState::driver_text().starts_with(named));
    return;
  }
  Require(RuntimeErrorState::code() == StatusOk);
  Require(record.substr(0, line.text.size()) == line.text);
  Require(record.find_first_not_of(' ', line.text.size()) == std::string_view::npos);
  Require(file.Position(nullptr) == std::to_string(line.start));
}

void CheckAppend(TextLineFile& file, const std::string& content) {
  file.Open(kAccessReadWrite | kShareDenyNone);
  Require(RuntimeErrorState::code() == StatusOk);
  std::memset(file.record(), ' ', file.record_size());
  file.record()[0] = 'x';
  file.Add();
  Require(RuntimeErrorState::code() == StatusOk);
  file.Close();
  Require(RuntimeErrorState::code() == StatusOk);
  const std::string_view added =
      !content.empty() && content.back() != '\n' ? std::string_view("\nx\n") : "x\n";
  const std::string after = ReadWholeFile(file.name());
  Require(after.size() == content.size() + added.size());
  Require(std::memcmp(after.data(), content.data(), content.size()) == 0);
  Require(std::string_view(after).substr(content.size()) == added);
}

}  // namespace
}  // namespace morlan

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace morlan;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const unsigned options = input.empty() ? 0 : static_cast<unsigned char>(input[0]);
  const std::string_view rest = input.empty() ? input : input.substr(1);
  const std::string content = (options & 8) != 0 ? Expand(rest) : std::string(rest);
  const std::vector<Line> lines = ModelLines(content);

  const std::string name = ScratchFolder() + "/lines.txt";
  WriteWholeFile(name, content);
  // One object per record size for the whole run: its buffers are allocated once, as a program
  // that opens a file again would have them.
  static std::unique_ptr<TextLineFile> files[std::size(kRecordSizes)];
  std::unique_ptr<TextLineFile>& slot = files[options & 7];
  if (!slot) {
    RecordLayout layout;
    layout.AddField("F1", FieldType::kText, kRecordSizes[options & 7]);
    slot = std::make_unique<TextLineFile>(name, std::move(layout));
  }
  TextLineFile& file = *slot;

  file.Open(kAccessRead | kShareDenyNone);
  Require(RuntimeErrorState::code() == StatusOk);
  std::int64_t total = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    CheckRead(file, lines[i], i, true);
    total += file.bytes_read();
  }
  file.Next();
  Require(RuntimeErrorState::code() == StatusNoRecord);
  Require(total == static_cast<std::int64_t>(content.size()));
  file.Close();

  if (!lines.empty()) {
    // Opened again: Reget to a line's start reads that line, and reading goes on after it,
    // numbering lines only when it started at offset 0.
    file.Open(kAccessRead | kShareDenyNone);
    const std::size_t again = (options >> 4) % lines.size();
    const Line& line = lines[again];
    const std::uint32_t capacity = file.record_size();
    const std::string before(file.record(), capacity);
    file.Reget(nullptr, std::to_string(line.start));
    Require(file.bytes_read() == static_cast<std::int64_t>(line.consumed));
    if (line.text.size() > capacity) {
      Require(RuntimeErrorState::code() == StatusDriverError);
      Require(std::string_view(file.record(), capacity) == before);
    } else {
      Require(RuntimeErrorState::code() == StatusOk);
      Require(std::string_view(file.record(), line.text.size()) == line.text);
    }
    for (std::size_t i = again + 1; i < lines.size(); ++i) {
      CheckRead(file, lines[i], i, line.start == 0);
    }
    file.Next();
    Require(RuntimeErrorState::code() == StatusNoRecord);
    file.Close();
  }
  CheckAppend(file, content);
  ::unlink(name.c_str());
  ::rmdir(ScratchFolder().c_str());
  return 0;
}
