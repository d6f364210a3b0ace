// FileManager: the file's keys (KEYS) and the texts built from them, quoted values and clipped
// copies.
#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <utility>

#include "data/file_manager.h"

namespace morlan {

namespace {

constexpr std::size_t kKeyOrderCapacity = 511;
constexpr std::size_t kQuoteCapacity = 2000;

}  // namespace

void FileManager::AppendNumber(std::string& out, double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

void FileManager::AppendFieldText(std::string& out, const FieldRef& field) {
  if (field.is_text()) {
    out += ClipText({field.address(), field.size()});
    return;
  }
  AppendNumber(out, field.Get().number());
}

KeyEntry* FileManager::SelectKey(const FileKey* key) {
  if (key == nullptr || !KEYS) return nullptr;
  for (KeyEntry& entry : *KEYS) {
    if (entry.KEY == key) return &entry;
  }
  return nullptr;
}

const FileKey* FileManager::AddKey(FileKey key, std::string_view description,
                                   std::uint8_t autoinc) {
  DataFile* record = RecordFile();
  if (FILE == nullptr || record == nullptr) return nullptr;
  if (autoinc > key.components.size()) return nullptr;
  const FileKey* declared = FILE->AddKey(std::move(key));
  if (declared == nullptr) return nullptr;
  if (SelectKey(declared) != nullptr) return declared;
  KeyEntry entry;
  entry.KEY = declared;
  entry.DESCRIPTION = description;
  for (const KeyComponent& component : declared->components) {
    entry.FIELDS.push_back({record->field(component.field),
                            record->layout().field(component.field).name,
                            static_cast<std::uint8_t>(component.ascending ? 1 : 0)});
  }
  entry.AUTOINC = autoinc;
  entry.DUPS = declared->duplicates_allowed ? 1 : 0;
  entry.NOCASE = declared->no_case ? 1 : 0;
  if (!KEYS) KEYS = std::make_unique<std::vector<KeyEntry>>();
  KEYS->push_back(std::move(entry));
  if (autoinc != 0) HASAUTOINC = 1;
  return declared;
}

void FileManager::SetKeyLimits(const FileKey* key, int first, int last, bool high) {
  const KeyEntry* entry = SelectKey(key);
  if (entry == nullptr) return;
  const int count = static_cast<int>(entry->FIELDS.size());
  for (int i = std::max(first, 1); i <= last && i <= count; ++i) {
    const KeyComponentEntry& component = entry->FIELDS[static_cast<std::size_t>(i - 1)];
    const bool highest = (component.ASCENDING != 0) == high;
    highest ? component.FIELD.SetHighest() : component.FIELD.SetLowest();
  }
}

std::string FileManager::KeyOrderText(const FileKey* key, int first) {
  const KeyEntry* entry = SelectKey(key);
  if (entry == nullptr) return {};
  std::string text;
  const int count = static_cast<int>(entry->FIELDS.size());
  for (int i = std::max(first, 1); i <= count; ++i) {
    const KeyComponentEntry& component = entry->FIELDS[static_cast<std::size_t>(i - 1)];
    if (!text.empty()) text += ',';
    if (component.ASCENDING == 0) text += '-';
    text += component.LABEL;
  }
  if (text.size() > kKeyOrderCapacity) text.resize(kKeyOrderCapacity);
  return text;
}

int FileManager::KeyComponentCount(const FileKey* key) {
  const KeyEntry* entry = SelectKey(key);
  return entry != nullptr ? static_cast<int>(entry->FIELDS.size()) : 0;
}

FieldRef FileManager::KeyComponentField(const FileKey* key, int n) {
  const KeyEntry* entry = SelectKey(key);
  if (entry == nullptr || n < 1 || n > static_cast<int>(entry->FIELDS.size())) return {};
  return entry->FIELDS[static_cast<std::size_t>(n - 1)].FIELD;
}

std::string FileManager::KeyComponentLabel(const FileKey* key, int n) {
  const KeyEntry* entry = SelectKey(key);
  if (entry == nullptr || n < 1 || n > static_cast<int>(entry->FIELDS.size())) return {};
  return entry->FIELDS[static_cast<std::size_t>(n - 1)].LABEL;
}

std::string FileManager::KeyPrefixText(const FileKey* key, int n, std::size_t size) {
  const KeyEntry* entry = SelectKey(key);
  std::string text;
  if (entry == nullptr) return text;
  const int count = std::min(n, static_cast<int>(entry->FIELDS.size()));
  for (int i = 0; i < count && text.size() < size; ++i) {
    AppendFieldText(text, entry->FIELDS[static_cast<std::size_t>(i)].FIELD);
    text += '|';
  }
  if (text.size() > size) text.resize(size);
  return text;
}

std::optional<std::string> FileManager::QuoteValue(const FieldValue& value,
                                                   std::string_view expression) {
  if (!value.is_text()) {
    std::string number;
    AppendNumber(number, value.number());
    return number;
  }
  constexpr std::string_view kUpper = "UPPER(";
  const bool upper = expression.find(kUpper) != std::string_view::npos;
  const std::string_view text = value.text();
  const std::size_t size = text.size() +
                           static_cast<std::size_t>(std::count(text.begin(), text.end(), '\'')) +
                           2 + (upper ? kUpper.size() + 1 : 0);
  // The whole literal fits the work area, or there is none: any cut would either leave the
  // literal open or split a doubled quote, and either way change what the expression says.
  if (size > kQuoteCapacity) return std::nullopt;
  std::string quoted;
  quoted.reserve(size);
  if (upper) quoted += kUpper;
  quoted += '\'';
  for (const char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  quoted += '\'';
  if (upper) quoted += ')';
  return quoted;
}

std::string FileManager::ClipCopy(std::string_view text) {
  const std::string_view clipped = ClipText(text);
  // At least one byte: a blank, which clips back to the empty text.
  if (clipped.empty()) return std::string(1, ' ');
  return std::string(clipped);
}

}  // namespace morlan
