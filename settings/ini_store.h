// The program's settings file: single entries read and written through IniFile, one
// comma-separated part of an entry, and a small bookkeeping list (SECTORS) kept in the reserved
// section "__Dont_Touch_Me__". Init loads the list, Kill writes it back:
//
//   [__Dont_Touch_Me__]
//   Sectors=2                 number of elements
//   Sectors_1=FAMILY,ITEM,TYPE
//   Sectors_2=...
//
// A missing file, section or entry is never an error: reads answer their default (empty text
// for Fetch, kUnknown for FetchRequired and FetchField). Write failures are not reported; the
// file is then left as it was (see IniFile).
//
// LoadList and SaveList take time in proportion to the list: LoadList reads the file once and
// SaveList changes it in one edit, while their single reads and writes still go through the
// virtual ReadEntry and WriteEntry. The reads of a LoadList see the file as it was at its first
// read.
//
// The file name is used as given; one without a directory is found in the current working
// directory at the time of each read and write.
//
// Threading: Init and Kill, which set FILENAME and SECTORS, belong to start-up and shutdown, while
// no other thread uses the store. Between them the entry and list operations may run on several
// threads at once: they only read FILENAME, and the file operations underneath are serialised
// process-wide. A list operation's batch belongs to its own thread.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morlan {

// One element of IniStore::SECTORS; each text holds at most IniStore::kColumnCapacity characters.
struct SectorEntry final {
  std::string FAMILY;
  std::string ITEM;
  std::string TYPE;
};

class IniStore {
 public:
  static constexpr std::size_t kFileNameCapacity = 259;
  static constexpr std::size_t kColumnCapacity = 99;
  // FetchRequired keeps at most this many characters of a value.
  static constexpr std::size_t kRequiredCapacity = 999;
  // SaveList writes at most this many characters per element.
  static constexpr std::size_t kListValueCapacity = 4999;
  static constexpr std::string_view kReservedSection = "__Dont_Touch_Me__";
  static constexpr std::string_view kSectorsEntry = "Sectors";
  // What FetchRequired and FetchField answer for a missing entry.
  static constexpr std::string_view kUnknown = "---Unknown---";

  // A column of a list element, as LoadList and SaveList name it: &SectorEntry::ITEM.
  using Column = std::string SectorEntry::*;

  IniStore() = default;
  IniStore(const IniStore&) = delete;
  IniStore& operator=(const IniStore&) = delete;

  // The value of `entry` in `section` of `file`, or `default_value` when the file, the section
  // or the entry does not exist.
  virtual std::string ReadEntry(std::string_view section, std::string_view entry,
                                std::string_view default_value, std::string_view file);
  // Sets `entry` in `section` of `file` to `value`, creating what is missing.
  virtual void WriteEntry(std::string_view section, std::string_view entry, std::string_view value,
                          std::string_view file);
  // Called by Init once FILENAME is set and SECTORS exists, before the list is loaded. Does
  // nothing here.
  virtual void OpenHook();
  // Called at shutdown after the application frame has ended and before Kill. Does nothing here.
  virtual void FinishHook();
  // Declared after the operations above so that they keep the first virtual slots, in order.
  virtual ~IniStore();

  // Sets FILENAME to `file_name` (cut to kFileNameCapacity), creates SECTORS, calls OpenHook and
  // loads SECTORS from the reserved section.
  void Init(std::string_view file_name);
  // Writes SECTORS back to the reserved section and disposes of it. Does nothing when SECTORS
  // does not exist (before Init, or a second Kill).
  void Kill();

  // The value of `entry`, empty text when missing.
  std::string Fetch(std::string_view section, std::string_view entry);
  // The value of `entry` cut to kRequiredCapacity, kUnknown when missing.
  std::string FetchRequired(std::string_view section, std::string_view entry);
  // Part `n` (from 1) of FetchRequired's value split at commas: "a,b,c" gives "b" for n = 2.
  // kUnknown for every n when the entry is missing; empty text for an n past the last part; the
  // first part for an n below 1.
  std::string FetchField(std::string_view section, std::string_view entry, int n);
  // Sets `entry` to `value`.
  void Update(std::string_view section, std::string_view entry, std::string_view value);

  // Appends to `list` the elements stored in `section`: their number under `count_entry` (empty,
  // not a whole number, or above 65535 counts as 0), element n under `count_entry` + "_" + n,
  // its columns the comma-separated parts of that value, each cut to kColumnCapacity. Only the
  // named columns are set; `second` and `third` may be null. A missing element entry gives
  // kUnknown in each named column.
  void LoadList(std::string_view section, std::string_view count_entry,
                std::vector<SectorEntry>& list, Column first, Column second = nullptr,
                Column third = nullptr);
  // Writes `list` as LoadList reads it: the count, then each element's named columns (each cut
  // to kColumnCapacity) joined by commas, and a comma more when the last one ends in a blank or
  // tab, which the file's reader would otherwise drop. So every list that LoadList gives reads
  // back the same; only blanks in front of the first column are lost, and no load gives those.
  // Entries beyond the new count are left in the file.
  void SaveList(std::string_view section, std::string_view count_entry,
                const std::vector<SectorEntry>& list, Column first, Column second = nullptr,
                Column third = nullptr);

  // The settings file, as given to Init.
  std::string FILENAME;
  // The bookkeeping list; exists from Init to Kill.
  std::unique_ptr<std::vector<SectorEntry>> SECTORS;
};

}  // namespace morlan
