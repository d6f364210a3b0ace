// Fuzz target for the settings store: arbitrary file content, then a fetch and an update of one
// entry, and the reserved list loaded and written back twice.
//
// Input: three lines naming the section, the entry and the value (without their LFs; missing
// lines are empty), then the file's bytes.
//
// "The rest of the file unchanged" here means: the bytes the update changed form one stretch
// (after the longest common start and end of the old and new file) that, in the old file, lies
// within one line, the updated entry's (a value replaced in place; for an added entry or section
// the stretch is empty and only whole lines are inserted). A value replaced in place brings no
// line break. Every other entry named by a line of the old file reads the same before and after.
//
// Further checks:
// - after the update the entry reads back as the value without its outer blanks and tabs, or the
//   update was refused and the file is byte for byte as it was;
// - FetchField(1) is FetchRequired up to its first comma;
// - the list Init loads, written back by Kill and loaded again, is the same list, and writing it
//   back a second time leaves the file as it was.
// A breach traps, so the fuzzer (and the corpus replay in the normal test suite) reports it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/text_compare.h"
#include "fuzz/fuzz_support.h"
#include "platform/ini_file.h"
#include "settings/ini_store.h"

namespace morlan {
namespace {

using fuzzing::ReadWholeFile;
using fuzzing::Require;
using fuzzing::Trap;
using fuzzing::WriteWholeFile;

// Lists with more elements than this are not loaded and saved: each would cost a large file write
// per input for no new path.
constexpr unsigned kMaxListCount = 2000;
// Entries of the old file compared before and after the update, at most.
constexpr std::size_t kMaxComparedEntries = 200;

// The scratch folder, fixed for the process.
const std::string& ScratchFolder() {
  static const std::string folder = fuzzing::ScratchFolder("ini-fuzz");
  ::mkdir(folder.c_str(), 0700);
  return folder;
}

// Takes the next line (without its LF) off the front of `input`.
std::string_view TakeLine(std::string_view& input) {
  const std::size_t lf = input.find('\n');
  const std::string_view line = input.substr(0, lf);
  input.remove_prefix(lf == std::string_view::npos ? input.size() : lf + 1);
  return line;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

struct Name final {
  std::string_view section;
  std::string_view entry;
};

// The "[section]" and "entry=" names of the file's lines, roughly as a reader sees them; each is
// only used to ask the real reader, so a line misread here costs nothing.
std::vector<Name> NamesIn(std::string_view text) {
  std::vector<Name> names;
  std::string_view section;
  while (!text.empty() && names.size() < kMaxComparedEntries) {
    const std::size_t end = text.find_first_of("\r\n");
    const std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.starts_with('[')) {
      section = Trim(line.substr(1, line.find(']') - 1));
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals != std::string_view::npos) names.push_back({section, Trim(line.substr(0, equals))});
  }
  return names;
}

void CheckEditConfined(std::string_view before, std::string_view after) {
  std::size_t prefix = 0;
  while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) {
    ++prefix;
  }
  std::size_t suffix = 0;
  while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
    ++suffix;
  }
  const std::string_view removed = before.substr(prefix, before.size() - prefix - suffix);
  const std::string_view inserted = after.substr(prefix, after.size() - prefix - suffix);
  Require(!HasLineBreak(removed));
  if (!removed.empty()) Require(!HasLineBreak(inserted));
}

bool SameList(const std::vector<SectorEntry>& a, const std::vector<SectorEntry>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].FAMILY != b[i].FAMILY || a[i].ITEM != b[i].ITEM || a[i].TYPE != b[i].TYPE) {
      return false;
    }
  }
  return true;
}

// Whether the reserved list is small enough to load and save for every input.
bool SmallList(const std::string& file) {
  const std::string read =
      IniFile::Read(file, IniStore::kReservedSection, IniStore::kSectorsEntry, "");
  const std::string_view count = Trim(read);
  unsigned n = 0;
  const auto result = std::from_chars(count.data(), count.data() + count.size(), n);
  return result.ec != std::errc() || n <= kMaxListCount;
}

}  // namespace
}  // namespace morlan

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace morlan;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string_view section = TakeLine(input);
  const std::string_view entry = TakeLine(input);
  const std::string_view value = TakeLine(input);
  const std::string_view content = input;

  const std::string name = ScratchFolder() + "/settings.ini";
  const std::string copy = ScratchFolder() + "/before.ini";
  WriteWholeFile(name, content);
  WriteWholeFile(copy, content);
  const bool with_list = SmallList(name);

  IniStore store;
  if (with_list) {
    store.Init(name);
  } else {
    store.FILENAME = name;
  }
  // Loading the list writes nothing.
  Require(ReadWholeFile(name) == content);

  const std::string old_value = store.Fetch(section, entry);
  store.Update(section, entry, value);
  const std::string after = ReadWholeFile(name);
  const std::string new_value = store.Fetch(section, entry);
  if (after != content) Require(new_value == Trim(value));
  if (new_value != Trim(value)) Require(after == content && new_value == old_value);
  CheckEditConfined(content, after);

  const IniFile::Snapshot old_file(copy);
  const IniFile::Snapshot new_file(name);
  for (const Name& other : NamesIn(content)) {
    if (EqualsNoCase(other.section, Trim(section)) && EqualsNoCase(other.entry, Trim(entry))) {
      continue;
    }
    Require(old_file.Read(other.section, other.entry, "\x01") ==
            new_file.Read(other.section, other.entry, "\x01"));
  }

  const std::string required = store.FetchRequired(section, entry);
  Require(store.FetchField(section, entry, 1) == required.substr(0, required.find(',')));
  store.FetchField(section, entry, 2);
  store.FetchField(section, entry, 3);

  if (with_list) {
    const std::vector<SectorEntry> loaded = *store.SECTORS;
    store.Kill();
    IniStore again;
    again.Init(name);
    Require(SameList(loaded, *again.SECTORS));
    const std::string saved = ReadWholeFile(name);
    again.Kill();
    Require(ReadWholeFile(name) == saved);
  }
  ::unlink(name.c_str());
  ::unlink(copy.c_str());
  ::rmdir(ScratchFolder().c_str());
  return 0;
}
