#include "common/record_layout.h"

#include "common/text_compare.h"

namespace morlan {

namespace {

std::uint32_t NaturalSize(FieldType type, std::uint32_t text_size) {
  switch (type) {
    case FieldType::kText:
      return text_size;
    case FieldType::kByte:
      return 1;
    case FieldType::kShort:
      return 2;
    case FieldType::kLong:
      return 4;
    case FieldType::kReal:
      return 8;
  }
  return text_size;
}

}  // namespace

int RecordLayout::AddField(std::string name, FieldType type, std::uint32_t size) {
  FieldDesc desc;
  desc.name = std::move(name);
  desc.type = type;
  desc.offset = size_;
  desc.size = NaturalSize(type, size);
  size_ += desc.size;
  fields_.push_back(std::move(desc));
  return field_count() - 1;
}

bool RecordLayout::Names(int i, std::string_view name) const {
  const std::string_view full = fields_[static_cast<std::size_t>(i)].name;
  if (EqualsNoCase(full, name)) return true;
  const std::size_t colon = full.find(':');
  return colon != std::string_view::npos && EqualsNoCase(full.substr(colon + 1), name);
}

int RecordLayout::Find(std::string_view name) const {
  for (int i = 0; i < field_count(); ++i) {
    if (Names(i, name)) return i;
  }
  return -1;
}

}  // namespace morlan
