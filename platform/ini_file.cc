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

// Plain bytes in and out (no character-set conversion), and the template's implementation
// compiled here rather than taken from a shared library.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

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

// ASCII case-insensitive equality, the parser's own rule for names.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
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
class Parsed {
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
      if (SameName(entry.pItem, section)) return entry.pItem;
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

// `text` with `entry` of `section` set to `value` in `*out`; false when the text cannot be
// edited safely.
bool Edit(std::string_view text, const std::string& section, const std::string& entry,
          std::string_view value, std::string* out) {
  const Parsed parsed(text);
  if (!parsed.ok()) return false;
  const std::string_view eol = LineEnd(text);
  std::string line = entry + "=";
  line.append(value);
  out->assign(text);

  const CSimpleIniA::TKeyVal* entries = parsed.Section(section);
  if (entries == nullptr) {
    if (!text.empty() && text.back() != '\n' && text.back() != '\r') out->append(eol);
    out->append("[").append(section).append("]").append(eol);
    out->append(line).append(eol);
    return true;
  }

  if (const char* old = parsed.Value(section, entry); old != nullptr) {
    const std::ptrdiff_t offset = parsed.FileOffset(old);
    if (offset < 0) return false;
    out->replace(static_cast<std::size_t>(offset), std::strlen(old), value);
    return true;
  }

  // A new entry goes on the line after the section's last entry, or after its header when it
  // has none, so that comments and blank lines in front of the next section stay there.
  const char* header = parsed.SectionName(section);
  if (header == nullptr) return false;
  std::ptrdiff_t end = parsed.FileOffset(header);
  if (end < 0) return false;
  end += static_cast<std::ptrdiff_t>(std::strlen(header));
  for (const auto& [name, old] : *entries) {
    const std::ptrdiff_t offset = parsed.FileOffset(old);
    if (offset < 0) return false;
    end = std::max(end, offset + static_cast<std::ptrdiff_t>(std::strlen(old)));
  }
  std::size_t pos = static_cast<std::size_t>(end);
  while (pos < text.size() && text[pos] != '\n' && text[pos] != '\r') ++pos;
  if (pos == text.size()) {
    out->append(eol).append(line).append(eol);
    return true;
  }
  pos += text.compare(pos, 2, "\r\n") == 0 ? 2 : 1;
  line.append(eol);
  out->insert(pos, line);
  return true;
}

}  // namespace

std::string IniFile::Read(std::string_view file, std::string_view section, std::string_view entry,
                          std::string_view default_value) {
  section = Trim(section);
  entry = Trim(entry);
  // Names the parser could never have read cannot be in the file.
  if (file.empty() || !UsableSection(section) || !UsableEntry(entry)) {
    return std::string(default_value);
  }
  const std::lock_guard<std::mutex> lock(IniMutex());
  std::string text;
  if (LoadText(std::string(file), &text) != LoadResult::kOk) return std::string(default_value);
  const Parsed parsed(text);
  const char* value =
      parsed.ok() ? parsed.Value(std::string(section), std::string(entry)) : nullptr;
  return value != nullptr ? std::string(value) : std::string(default_value);
}

bool IniFile::Write(std::string_view file, std::string_view section, std::string_view entry,
                    std::string_view value) {
  section = Trim(section);
  entry = Trim(entry);
  if (file.empty() || !UsableSection(section) || !UsableEntry(entry) || !UsableValue(value)) {
    return false;
  }
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
  std::string edited;
  const std::string section_name(section);
  const std::string entry_name(entry);
  if (!Edit(text, section_name, entry_name, value, &edited)) return false;
  if (edited == text) return true;
  // Odd neighbours can swallow an added line (a lone "[" takes the next line into its header),
  // so the edit must read back before it may replace the file.
  const Parsed check(edited);
  const char* read_back = check.ok() ? check.Value(section_name, entry_name) : nullptr;
  if (read_back == nullptr || Trim(read_back) != Trim(value)) return false;
  return ReplaceFile(name, edited);
}

}  // namespace morlan
