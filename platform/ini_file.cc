#include "platform/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// Plain bytes in and out (no character-set conversion), and the template's implementation
// compiled here rather than taken from a shared library.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include "common/text_compare.h"
#include "platform/write_all.h"

namespace morlan {
namespace {

std::mutex& IniMutex() {
  static std::mutex mutex;
  return mutex;
}

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// A section put in front of the file text before parsing (see Parsed). Its name holds control
// characters, which no requested name may, so it never answers a request; it also collects the
// entries in front of the file's first section header.
constexpr std::string_view kAnchorName = "\x01morlan-anchor\x01";
constexpr std::string_view kAnchorLine = "[\x01morlan-anchor\x01]\n";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A name the parser could have read from a "[name]" line.
bool UsableSection(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    if (IsControl(c) || c == ']') return false;
  }
  return true;
}

// A name the parser could have read from a "name=value" line.
bool UsableEntry(std::string_view name) {
  if (name.empty() || name.front() == ';' || name.front() == '#' || name.front() == '[') {
    return false;
  }
  for (char c : name) {
    if (IsControl(c) || c == '=') return false;
  }
  return true;
}

bool UsableValue(std::string_view value) {
  return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// Where two settings name the same entry: names match as the parser matches them, ignoring ASCII
// letter case. Neither name can hold a line feed, so it separates them.
std::string NameKey(std::string_view section, std::string_view entry) {
  std::string key;
  key.reserve(section.size() + entry.size() + 1);
  for (char c : section) key.push_back(AsciiUpper(c));
  key.push_back('\n');
  for (char c : entry) key.push_back(AsciiUpper(c));
  return key;
}

enum class LoadResult { kOk, kMissing, kUnusable };

// Reads the whole of `name` into `text`.
LoadResult LoadText(const std::string& name, std::string* text) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? LoadResult::kMissing : LoadResult::kUnusable;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<std::uint64_t>(st.st_size) > IniFile::kMaxFileSize) {
    ::close(fd);
    return LoadResult::kUnusable;
  }
  text->clear();
  text->reserve(static_cast<std::size_t>(st.st_size));
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || text->size() + static_cast<std::size_t>(n) > IniFile::kMaxFileSize) {
      ::close(fd);
      return LoadResult::kUnusable;
    }
    if (n == 0) break;
    text->append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return LoadResult::kOk;
}

// Replaces the file `name` with `content`: a temporary file in the same directory, flushed to
// disk, renamed over it. A symbolic link is followed so that the link stays a link.
bool ReplaceFile(const std::string& name, std::string_view content) {
  std::string target = name;
  struct stat st;
  if (::lstat(name.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(name.c_str(), resolved) != nullptr) target = resolved;
  }
  const bool existed = ::stat(target.c_str(), &st) == 0;

  // O_EXCL with the mode 0666 lets the umask shape a new file's permissions as for any other
  // file the program creates; the pid and a counter keep the name unique, the retry covers
  // leftovers of a crashed run.
  static unsigned counter = 0;
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  bool ok = WriteAll(fd, content) == 0;
  if (ok && existed) ok = ::fchmod(fd, st.st_mode & 07777) == 0;
  if (ok) ok = ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

// The file text parsed by SimpleIni.
//
// SimpleIni parses a private copy of its input in place: every section name, entry name and
// value it reports points into that copy, at the offset the text had in the input (it only
// ends strings with NULs and compacts comment lines, which come before what they describe).
// The anchor section in front of the text tells where the copy starts, so FileOffset maps a
// reported string back to the file and a write can edit exactly those bytes. Every use checks
// that the bytes at the offset are the reported string before trusting it.
class Parsed final {
 public:
  explicit Parsed(std::string_view text) : text_(text) {
    if (text.starts_with(kUtf8Bom)) bom_ = kUtf8Bom.size();
    std::string input(kAnchorLine);
    input.append(text.substr(bom_));
    if (ini_.LoadData(input.data(), input.size()) < 0) return;
    CSimpleIniA::TNamesDepend sections;
    ini_.GetAllSections(sections);
    for (const auto& section : sections) {
      if (section.pItem == kAnchorName) origin_ = section.pItem - 1;
    }
  }

  bool ok() const { return origin_ != nullptr; }

  // The value of `entry` in `section`, nullptr when there is none.
  const char* Value(const std::string& section, const std::string& entry) const {
    return ini_.GetValue(section.c_str(), entry.c_str(), nullptr);
  }

  // The entries of `section`, nullptr when it does not exist.
  const CSimpleIniA::TKeyVal* Section(const std::string& section) const {
    return ini_.GetSection(section.c_str());
  }

  // Where the header of `section` holds its name, nullptr when it does not exist.
  const char* SectionName(std::string_view section) const {
    CSimpleIniA::TNamesDepend sections;
    ini_.GetAllSections(sections);
    for (const auto& entry : sections) {
      // The parser's own rule for names: ASCII letter case ignored.
      if (EqualsNoCase(entry.pItem, section)) return entry.pItem;
    }
    return nullptr;
  }

  // Offset in the file text of the string `s` reported by the parser; -1 when it does not lie
  // there after all.
  std::ptrdiff_t FileOffset(const char* s) const {
    const std::ptrdiff_t offset =
        (s - origin_) - static_cast<std::ptrdiff_t>(kAnchorLine.size() - bom_);
    const std::size_t length = std::strlen(s);
    if (offset < static_cast<std::ptrdiff_t>(bom_) ||
        static_cast<std::size_t>(offset) + length > text_.size() ||
        text_.compare(static_cast<std::size_t>(offset), length, s) != 0) {
      return -1;
    }
    return offset;
  }

 private:
  std::string_view text_;
  std::size_t bom_ = 0;
  CSimpleIniA ini_{/*a_bIsUtf8=*/false, /*a_bMultiKey=*/false, /*a_bMultiLine=*/false};
  const char* origin_ = nullptr;
};

// The line end the file uses: that of its first line, LF for a file without one.
std::string_view LineEnd(std::string_view text) {
  const std::size_t lf = text.find('\n');
  return lf != std::string_view::npos && lf > 0 && text[lf - 1] == '\r' ? "\r\n" : "\n";
}

// Edits of one write that may be tried before giving up: each leaves out what the one before
// could not read back.
constexpr int kEditAttempts = 4;

// One setting to make, with its names trimmed.
struct Change final {
  std::string section;
  std::string entry;
  std::string value;
};

// `text` (parsed as `parsed`) with every change made, in `*out`; false when the text cannot be
// edited safely. The changes name distinct entries. `(*places)[i]` tells where change i went:
// changes at one place stand or fall together when odd neighbours swallow what is added there.
bool Edit(std::string_view text, const Parsed& parsed, const std::vector<Change>& changes,
          std::string* out, std::vector<std::size_t>* places) {
  const std::string_view eol = LineEnd(text);

  // Bytes of the text replaced (a value) or inserted (added lines, length 0), in text order once
  // sorted. A value never spans a line end and added lines go behind one, so none overlap; at the
  // end of the text a value comes before lines added behind it.
  struct Splice final {
    std::size_t at;
    std::size_t length;
    bool insertion;
    std::string bytes;
  };
  std::vector<Splice> splices;
  // Sections the file has: the splice that takes their added entries, by NameKey(section, "").
  std::unordered_map<std::string, std::size_t> insertions;
  // Sections the file lacks, added at the end in the order first named: header and lines.
  std::vector<std::pair<std::string, std::string>> added;
  std::unordered_map<std::string, std::size_t> added_index;
  // Place 0 is the end of the file; place 1 + k is splice k.
  places->clear();

  std::string section_name;
  std::string section_key;
  const CSimpleIniA::TKeyVal* entries = nullptr;
  for (const Change& change : changes) {
    std::string line = change.entry + "=";
    line.append(change.value).append(eol);
    // A list names one section many times in a row: look it up once.
    if (change.section != section_name) {
      section_name = change.section;
      entries = parsed.Section(section_name);
      section_key = NameKey(section_name, "");
    }
    if (entries == nullptr) {
      const auto [it, fresh] = added_index.try_emplace(section_key, added.size());
      if (fresh) added.emplace_back(change.section, std::string());
      added[it->second].second.append(line);
      places->push_back(0);
      continue;
    }

    if (const char* old = parsed.Value(change.section, change.entry); old != nullptr) {
      const std::ptrdiff_t offset = parsed.FileOffset(old);
      if (offset < 0) return false;
      places->push_back(1 + splices.size());
      splices.push_back({static_cast<std::size_t>(offset), std::strlen(old), false, change.value});
      continue;
    }

    // A new entry goes on the line after the section's last entry, or after its header when it
    // has none, so that comments and blank lines in front of the next section stay there.
    auto it = insertions.find(section_key);
    if (it == insertions.end()) {
      const char* header = parsed.SectionName(change.section);
      if (header == nullptr) return false;
      std::ptrdiff_t end = parsed.FileOffset(header);
      if (end < 0) return false;
      end += static_cast<std::ptrdiff_t>(std::strlen(header));
      for (const auto& [name, value] : *entries) {
        const std::ptrdiff_t offset = parsed.FileOffset(value);
        if (offset < 0) return false;
        end = std::max(end, offset + static_cast<std::ptrdiff_t>(std::strlen(value)));
      }
      std::size_t pos = static_cast<std::size_t>(end);
      while (pos < text.size() && text[pos] != '\n' && text[pos] != '\r') ++pos;
      Splice insertion{pos, 0, true, std::string()};
      if (pos == text.size()) {
        insertion.bytes = eol;  // the last line has no line end yet
      } else {
        insertion.at += text.compare(pos, 2, "\r\n") == 0 ? 2 : 1;
      }
      it = insertions.emplace(section_key, splices.size()).first;
      splices.push_back(std::move(insertion));
    }
    splices[it->second].bytes.append(line);
    places->push_back(1 + it->second);
  }

  std::stable_sort(splices.begin(), splices.end(), [](const Splice& a, const Splice& b) {
    return a.at != b.at ? a.at < b.at : !a.insertion && b.insertion;
  });
  out->clear();
  std::size_t copied = 0;
  for (const Splice& splice : splices) {
    out->append(text.substr(copied, splice.at - copied));
    out->append(splice.bytes);
    copied = splice.at + splice.length;
  }
  out->append(text.substr(copied));
  for (const auto& [section, lines] : added) {
    if (!out->empty() && out->back() != '\n' && out->back() != '\r') out->append(eol);
    out->append("[").append(section).append("]").append(eol);
    out->append(lines);
  }
  return true;
}

// The changes that `edited` does not read back as made.
std::vector<std::size_t> NotReadBack(std::string_view edited, const std::vector<Change>& changes) {
  std::vector<std::size_t> failed;
  const Parsed check(edited);
  for (std::size_t i = 0; i < changes.size(); ++i) {
    const char* value = check.ok() ? check.Value(changes[i].section, changes[i].entry) : nullptr;
    if (value == nullptr || Trim(value) != Trim(changes[i].value)) failed.push_back(i);
  }
  return failed;
}

}  // namespace

struct IniFile::Snapshot::Data final {
  explicit Data(std::string file_text) : text(std::move(file_text)), parsed(text) {}

  const std::string text;
  const Parsed parsed;  // refers to `text`
};

IniFile::Snapshot::Snapshot(std::string_view file) {
  if (file.empty()) return;
  std::string text;
  {
    const std::lock_guard<std::mutex> lock(IniMutex());
    if (LoadText(std::string(file), &text) != LoadResult::kOk) return;
  }
  auto data = std::make_unique<Data>(std::move(text));
  if (data->parsed.ok()) data_ = std::move(data);
}

IniFile::Snapshot::Snapshot(Snapshot&&) noexcept = default;
IniFile::Snapshot& IniFile::Snapshot::operator=(Snapshot&&) noexcept = default;
IniFile::Snapshot::~Snapshot() = default;

std::string IniFile::Snapshot::Read(std::string_view section, std::string_view entry,
                                    std::string_view default_value) const {
  section = Trim(section);
  entry = Trim(entry);
  // Names the parser could never have read cannot be in the file.
  if (data_ == nullptr || !UsableSection(section) || !UsableEntry(entry)) {
    return std::string(default_value);
  }
  const char* value = data_->parsed.Value(std::string(section), std::string(entry));
  return value != nullptr ? std::string(value) : std::string(default_value);
}

std::string IniFile::Read(std::string_view file, std::string_view section, std::string_view entry,
                          std::string_view default_value) {
  // Names the parser could never have read cannot be in the file: no need to read it.
  if (!UsableSection(Trim(section)) || !UsableEntry(Trim(entry))) {
    return std::string(default_value);
  }
  return Snapshot(file).Read(section, entry, default_value);
}

bool IniFile::Write(std::string_view file, std::string_view section, std::string_view entry,
                    std::string_view value) {
  const Setting setting{section, entry, value};
  return Write(file, std::span<const Setting>(&setting, 1));
}

bool IniFile::Write(std::string_view file, std::span<const Setting> settings) {
  if (file.empty()) return false;
  bool all = true;
  // Refused settings are left out; a later setting of an entry takes the place of an earlier one.
  std::vector<Change> changes;
  std::unordered_map<std::string, std::size_t> index;
  index.reserve(settings.size());
  for (const Setting& setting : settings) {
    const std::string_view section = Trim(setting.section);
    const std::string_view entry = Trim(setting.entry);
    if (!UsableSection(section) || !UsableEntry(entry) || !UsableValue(setting.value)) {
      all = false;
      continue;
    }
    const auto [it, fresh] = index.try_emplace(NameKey(section, entry), changes.size());
    if (fresh) {
      changes.push_back({std::string(section), std::string(entry), std::string(setting.value)});
    } else {
      changes[it->second].value.assign(setting.value);
    }
  }
  if (changes.empty()) return all;

  const std::lock_guard<std::mutex> lock(IniMutex());
  const std::string name(file);
  std::string text;
  switch (LoadText(name, &text)) {
    case LoadResult::kOk:
      break;
    case LoadResult::kMissing:
      text.clear();
      break;
    case LoadResult::kUnusable:
      return false;
  }
  // The parser stops at a NUL byte: an entry written behind one could never be read back.
  if (text.find('\0') != std::string::npos) return false;
  const Parsed parsed(text);
  if (!parsed.ok()) return false;

  // Odd neighbours can swallow an added line (a lone "[" takes the next line into its header), so
  // the edit must read back before it may replace the file. What does not is left out, with
  // everything added at the same place, and the rest is tried again.
  std::string edited;
  std::vector<std::size_t> places;
  for (int attempt = 0; attempt < kEditAttempts; ++attempt) {
    if (!Edit(text, parsed, changes, &edited, &places)) return false;
    if (edited == text) return all;
    const std::vector<std::size_t> failed = NotReadBack(edited, changes);
    if (failed.empty()) return ReplaceFile(name, edited) && all;
    all = false;
    std::vector<bool> failed_place(places.size() + 1, false);
    for (std::size_t i : failed) failed_place[places[i]] = true;
    std::vector<Change> kept;
    for (std::size_t i = 0; i < changes.size(); ++i) {
      if (!failed_place[places[i]]) kept.push_back(std::move(changes[i]));
    }
    changes = std::move(kept);
    if (changes.empty()) return false;
  }
  return false;
}

}  // namespace morlan
