// Entries of INI files: text files of "[section]" headers and "entry=value" lines, with comment
// lines starting with ";" or "#".
//
// Names: section and entry names match without regard to ASCII case, and blanks around a name
// are ignored. A file name without a directory is taken relative to the current working
// directory, as any relative name is.
//
// Reading: the value as written after the "=", with the blanks and tabs around it removed, or the
// default when the file, the section or the entry does not exist. When an entry appears twice
// in a section the later one counts. Lines before the first section header, lines that are
// neither a header nor an entry, and everything after a NUL byte are not read. A file that
// cannot be read at all (a directory, unreadable, larger than kMaxFileSize) reads as missing.
//
// Writing: replaces the value of an existing entry in place, or adds the entry after the last
// entry of its section, or adds the section with the entry at the end of the file, creating the
// file when it does not exist. Every other byte of the file stays as it was: comments, blank
// lines, spacing, line ends (added lines take the file's CRLF or LF), lines the reader skips. The
// new content goes to a temporary file in the same directory that is then renamed over the file,
// so a failed write leaves the file as it was; the file keeps its permissions, and a symbolic
// link is written through. A write that would not change the file does not touch it. Blanks and
// tabs at the ends of a value are written but, as above, not read back.
//
// A setting is refused: an empty entry name; a section name that is empty or holds a control
// character or "]"; an entry name holding a control character or "=", or starting with ";", "#"
// or "["; a value holding CR, LF or NUL (any of these would read back as something else); and an
// edit that would not read back (an odd neighbouring line can swallow an added one). A write to a
// file name that is empty, or to a file holding a NUL byte or that cannot be read, and any
// failure of the file system, change nothing.
//
// Threading: safe from any thread. One process-wide mutex serialises all reads and writes, so a
// read never sees a write half done. Other processes writing the same file are not coordinated.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace morlan {

class IniFile final {
 public:
  // Files larger than this are not INI files; they read as missing and are never written.
  static constexpr std::size_t kMaxFileSize = std::size_t{64} << 20;

  // One entry to set.
  struct Setting final {
    std::string_view section;
    std::string_view entry;
    std::string_view value;
  };

  // A file read and parsed once, for many reads at the cost of one. Later changes to the file are
  // not seen. Not synchronised: one thread at a time per snapshot.
  class Snapshot final {
   public:
    // Reads `file`; one that cannot be read reads as missing.
    explicit Snapshot(std::string_view file);
    Snapshot(Snapshot&&) noexcept;
    Snapshot& operator=(Snapshot&&) noexcept;
    ~Snapshot();

    // As IniFile::Read, on the file as it was when the snapshot was taken.
    std::string Read(std::string_view section, std::string_view entry,
                     std::string_view default_value) const;

   private:
    struct Data;
    std::unique_ptr<Data> data_;  // null: no file, or one that cannot be read
  };

  // The value of `entry` in `section` of `file`, or `default_value` when there is none.
  static std::string Read(std::string_view file, std::string_view section, std::string_view entry,
                          std::string_view default_value);

  // Sets `entry` in `section` of `file` to `value`. True on success; false when refused or
  // failed (see above), with the file unchanged.
  static bool Write(std::string_view file, std::string_view section, std::string_view entry,
                    std::string_view value);

  // Sets every entry of `settings` in one edit of `file`, with the same result as writing them
  // one after the other (a later setting of an entry wins) but reading, parsing and replacing the
  // file only once. True when every setting is written. A refused setting (see above) is left
  // out and the others are written; false then. A failure of the file itself changes nothing.
  static bool Write(std::string_view file, std::span<const Setting> settings);
};

}  // namespace morlan
