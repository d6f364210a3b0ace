// The layout of a record buffer: named fixed-width fields laid side by side, plus the number of
// large-object fields that travel with the record outside the buffer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morlan {

enum class FieldType : std::uint8_t {
  kText,   // blank padded, `size` bytes
  kByte,   // unsigned 8-bit
  kShort,  // signed 16-bit
  kLong,   // signed 32-bit
  kReal,   // 64-bit floating point
};

struct FieldDesc {
  std::string name;  // "F1", or with its file's label "INP:F1"
  FieldType type = FieldType::kText;
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
};

class RecordLayout {
 public:
  // Appends a field and returns its 0-based index. `size` counts only for text fields; numbers
  // take their natural width.
  int AddField(std::string name, FieldType type, std::uint32_t size = 0);

  int field_count() const { return static_cast<int>(fields_.size()); }
  const FieldDesc& field(int i) const { return fields_[static_cast<std::size_t>(i)]; }
  // Bytes in the record buffer.
  std::uint32_t size() const { return size_; }

  // Index of the field called `name` (case-insensitive; a name without the "LABEL:" prefix also
  // matches a prefixed field), or -1.
  int Find(std::string_view name) const;
  // True when `name` names field i, by the same rule as Find.
  bool Names(int i, std::string_view name) const;

  int blob_count() const { return blob_count_; }
  void set_blob_count(int n) { blob_count_ = n; }

 private:
  std::vector<FieldDesc> fields_;
  std::uint32_t size_ = 0;
  int blob_count_ = 0;
};

}  // namespace morlan
