#include "settings/ini_store.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "platform/ini_file.h"

namespace morlan {
namespace {

std::string Cut(std::string_view text, std::size_t capacity) {
  return std::string(text.substr(0, capacity));
}

// The element count of a list: a whole decimal number that fits 16 bits, else 0. A negative or
// oversized count comes only from a hand edit, and taking it modulo 2^16 would load (and later
// write back) thousands of phantom elements.
std::uint16_t ParseCount(std::string_view text) {
  if (text.empty() || text.size() > 5) return 0;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value > std::numeric_limits<std::uint16_t>::max() ? 0 : static_cast<std::uint16_t>(value);
}

// While a LoadList or SaveList runs, the base ReadEntry and WriteEntry of its store work on one
// reading and one edit of its file instead of reading and rewriting the whole file for every
// entry, which made a long list cost time in the square of its length. The calls still go
// through the virtual operations, so an override sees each of them. Held per thread: what other
// threads read and write meanwhile goes to the file directly.
class ListBatch final {
 public:
  enum class Mode { kRead, kWrite };

  ListBatch(const IniStore* store, std::string_view file, Mode mode)
      : store_(store), file_(file), mode_(mode), outer_(active_) {
    active_ = this;
  }
  ~ListBatch() { active_ = outer_; }
  ListBatch(const ListBatch&) = delete;
  ListBatch& operator=(const ListBatch&) = delete;

  // The calling thread's batch of `mode` for `store` on `file`, or null.
  static ListBatch* Active(const IniStore* store, std::string_view file, Mode mode) {
    ListBatch* batch = active_;
    if (batch == nullptr || batch->store_ != store || batch->mode_ != mode ||
        batch->file_ != file) {
      return nullptr;
    }
    return batch;
  }

  // The file as it was at the first read of the batch.
  const IniFile::Snapshot& snapshot() {
    if (!snapshot_) snapshot_.emplace(file_);
    return *snapshot_;
  }

  void Add(std::string_view section, std::string_view entry, std::string_view value) {
    writes_.push_back({std::string(section), std::string(entry), std::string(value)});
  }

  // Makes the writes gathered, in their order, in one edit of the file.
  void Flush() {
    std::vector<IniFile::Setting> settings;
    settings.reserve(writes_.size());
    for (const Write& write : writes_) {
      settings.push_back({write.section, write.entry, write.value});
    }
    // Not reported, as a single write is not.
    IniFile::Write(file_, settings);
    writes_.clear();
  }

 private:
  struct Write final {
    std::string section;
    std::string entry;
    std::string value;
  };

  static thread_local ListBatch* active_;

  const IniStore* store_;
  const std::string file_;
  const Mode mode_;
  ListBatch* const outer_;
  std::optional<IniFile::Snapshot> snapshot_;
  std::vector<Write> writes_;
};

thread_local ListBatch* ListBatch::active_ = nullptr;

std::string ElementEntry(std::string_view count_entry, std::size_t n) {
  std::string key(count_entry);
  key += '_';
  key += std::to_string(n);
  return key;
}

}  // namespace

IniStore::~IniStore() = default;

std::string IniStore::ReadEntry(std::string_view section, std::string_view entry,
                                std::string_view default_value, std::string_view file) {
  if (ListBatch* batch = ListBatch::Active(this, file, ListBatch::Mode::kRead)) {
    return batch->snapshot().Read(section, entry, default_value);
  }
  return IniFile::Read(file, section, entry, default_value);
}

void IniStore::WriteEntry(std::string_view section, std::string_view entry, std::string_view value,
                          std::string_view file) {
  if (ListBatch* batch = ListBatch::Active(this, file, ListBatch::Mode::kWrite)) {
    batch->Add(section, entry, value);
    return;
  }
  // Not reported: the file stays as it was, and the next run reads what is there.
  IniFile::Write(file, section, entry, value);
}

void IniStore::OpenHook() {}

void IniStore::FinishHook() {}

void IniStore::Init(std::string_view file_name) {
  FILENAME = Cut(file_name, kFileNameCapacity);
  SECTORS = std::make_unique<std::vector<SectorEntry>>();
  OpenHook();
  LoadList(kReservedSection, kSectorsEntry, *SECTORS, &SectorEntry::FAMILY, &SectorEntry::ITEM,
           &SectorEntry::TYPE);
}

void IniStore::Kill() {
  if (SECTORS == nullptr) return;
  SaveList(kReservedSection, kSectorsEntry, *SECTORS, &SectorEntry::FAMILY, &SectorEntry::ITEM,
           &SectorEntry::TYPE);
  SECTORS.reset();
}

std::string IniStore::Fetch(std::string_view section, std::string_view entry) {
  return ReadEntry(section, entry, "", FILENAME);
}

std::string IniStore::FetchRequired(std::string_view section, std::string_view entry) {
  // A missing entry answers kUnknown. The internal check that would name it is inactive in
  // normal operation, so nothing is shown and the caller goes on with the marker.
  return Cut(ReadEntry(section, entry, kUnknown, FILENAME), kRequiredCapacity);
}

std::string IniStore::FetchField(std::string_view section, std::string_view entry, int n) {
  const std::string text = FetchRequired(section, entry);
  // The marker of a missing entry stands for each of its parts, so a list element loaded from a
  // missing entry keeps it in every column.
  if (text == kUnknown) return text;
  std::size_t start = 0;
  for (int part = 1; part < n; ++part) {
    const std::size_t comma = text.find(',', start);
    // Past the last part: empty, rather than wrapping round to a part from the start.
    if (comma == std::string::npos) return {};
    start = comma + 1;
  }
  const std::size_t end = text.find(',', start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

void IniStore::Update(std::string_view section, std::string_view entry, std::string_view value) {
  WriteEntry(section, entry, value, FILENAME);
}

void IniStore::LoadList(std::string_view section, std::string_view count_entry,
                        std::vector<SectorEntry>& list, Column first, Column second, Column third) {
  const ListBatch batch(this, FILENAME, ListBatch::Mode::kRead);
  const std::uint16_t count = ParseCount(Fetch(section, count_entry));
  for (std::size_t n = 1; n <= count; ++n) {
    const std::string key = ElementEntry(count_entry, n);
    SectorEntry element;
    element.*first = Cut(FetchField(section, key, 1), kColumnCapacity);
    if (second != nullptr) element.*second = Cut(FetchField(section, key, 2), kColumnCapacity);
    if (third != nullptr) element.*third = Cut(FetchField(section, key, 3), kColumnCapacity);
    list.push_back(std::move(element));
  }
}

void IniStore::SaveList(std::string_view section, std::string_view count_entry,
                        const std::vector<SectorEntry>& list, Column first, Column second,
                        Column third) {
  ListBatch batch(this, FILENAME, ListBatch::Mode::kWrite);
  Update(section, count_entry, std::to_string(list.size()));
  for (std::size_t n = 1; n <= list.size(); ++n) {
    const SectorEntry& element = list[n - 1];
    std::string value = Cut(element.*first, kColumnCapacity);
    for (Column column : {second, third}) {
      if (column == nullptr) continue;
      value += ',';
      value += Cut(element.*column, kColumnCapacity);
    }
    // A reader drops the blanks at the ends of a value. Behind a last column that ends in one, a
    // comma keeps them: it opens a part that no load reads.
    if (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value += ',';
    value.resize(std::min(value.size(), kListValueCapacity));
    Update(section, ElementEntry(count_entry, n), value);
  }
  batch.Flush();
}

}  // namespace morlan
