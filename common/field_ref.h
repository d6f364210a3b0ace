// A reference to one field of a record buffer, of any field type. It reads and writes the field
// in place; it never owns the bytes it refers to.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/field_value.h"
#include "common/record_layout.h"

namespace morlan {

class FieldRef final {
 public:
  FieldRef() = default;  // refers to nothing; reads as blank text, writes are ignored
  FieldRef(FieldType type, char* address, std::uint32_t size)
      : type_(type), address_(address), size_(size) {}
  // The field `desc` of the record buffer that starts at `record`.
  FieldRef(const FieldDesc& desc, char* record)
      : FieldRef(desc.type, record + desc.offset, desc.size) {}

  bool valid() const { return address_ != nullptr; }
  FieldType type() const { return type_; }
  char* address() const { return address_; }
  std::uint32_t size() const { return size_; }
  bool is_text() const { return type_ == FieldType::kText; }

  FieldValue Get() const;
  // Text is cut or padded to the field; a number assigned to a text field is written in its
  // shortest decimal form; a text assigned to a number field is read as a number (0 if it is not
  // one); numbers out of the field's range are clamped.
  void Set(const FieldValue& value) const;
  // Blank text or zero.
  void Clear() const;

  // True when the field equals `value` taken as Set would store it here: text cut to the width,
  // a number clamped and cut to the field's number type, or written in decimal and cut for a
  // text field. A text that is not wholly a number (blanks aside) equals no number field, so a
  // link that cannot be written never matches the cleared (zero) ones; a blank text and zero
  // are both blank. Allocates nothing.
  bool Holds(const FieldValue& value) const;
  // Holds for the value of `source`.
  bool Holds(const FieldRef& source) const;
  // The lowest or highest value the field can hold (text: all 00h or all FFh bytes).
  void SetLowest() const;
  void SetHighest() const;

  // Orders two fields' values: text by bytes with trailing blanks ignored (case-insensitively
  // when `no_case`), numbers by value. Negative, zero or positive.
  int Compare(const FieldRef& other, bool no_case = false) const;

  // True when both refer to the same bytes.
  bool SameField(const FieldRef& other) const { return address_ == other.address_; }

 private:
  double GetNumber() const;
  void SetNumber(double value) const;
  bool HoldsText(std::string_view text) const;
  bool HoldsNumber(double number) const;
  // `value` as this number field stores it.
  double Stored(double value) const;

  FieldType type_ = FieldType::kText;
  char* address_ = nullptr;
  std::uint32_t size_ = 0;
};

}  // namespace morlan
