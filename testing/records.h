// Record layouts, record text and filled memory tables for tests of files and the code above them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/codes.h"
#include "common/field_value.h"
#include "common/fixed_text.h"
#include "common/record_layout.h"
#include "platform/data_file.h"
#include "platform/memory_keyed_file.h"

namespace morlan::testing {

// One text field `width` bytes wide: a line of a text file.
inline RecordLayout LineLayout(std::uint32_t width, std::string name = "F1") {
  RecordLayout layout;
  layout.AddField(std::move(name), FieldType::kText, width);
  return layout;
}

// The whole record buffer of `file` as text, trailing blanks clipped.
inline std::string RecordText(DataFile& file) {
  return std::string(ClipText({file.record(), file.record_size()}));
}

// A table that exists, named `name` and built with `layout`, holding `count` records added in
// order: record i (from 0) is a cleared record whose fields `fill(station, i)` sets.
template <typename Fill>
std::shared_ptr<MemoryTable> FilledTable(std::string name, RecordLayout layout, int count,
                                         Fill fill) {
  MemoryKeyedFile station(std::move(name), std::move(layout));
  station.Create();
  station.Open(kAccessReadWrite | kShareDenyNone);
  for (int i = 0; i < count; ++i) {
    station.ClearRecord();
    fill(station, i);
    station.Add();
  }
  station.Close();
  return station.table();
}

// Field `field` of `file`'s record buffer as text, trailing blanks clipped.
inline std::string FieldText(DataFile& file, int field) {
  return std::string(ClipText(file.field(field).Get().text()));
}

// Customer records, for tests of keys, saved buffers and conflicts: a number, a name of 10 and a
// city of 8 characters, and `blobs` large objects.
enum CustomerField { kCustomerId = 0, kCustomerName = 1, kCustomerCity = 2 };

inline RecordLayout CustomerLayout(int blobs = 0) {
  RecordLayout layout;
  layout.AddField("CUS:ID", FieldType::kLong);
  layout.AddField("CUS:NAME", FieldType::kText, 10);
  layout.AddField("CUS:CITY", FieldType::kText, 8);
  layout.set_blob_count(blobs);
  return layout;
}

// Clears `file`'s record buffer and sets a customer's fields in it.
inline void SetCustomer(DataFile& file, double id, std::string_view name, std::string_view city) {
  file.ClearRecord();
  file.field(kCustomerId).Set(FieldValue::Number(id));
  file.field(kCustomerName).Set(FieldValue::Text(name));
  file.field(kCustomerCity).Set(FieldValue::Text(city));
}

struct CustomerRow {
  double id;
  const char* name;
  const char* city;
};

// A table "CUS" that exists, holding `rows` in order.
inline std::shared_ptr<MemoryTable> CustomerTable(const std::vector<CustomerRow>& rows,
                                                  int blobs = 0) {
  return FilledTable("CUS", CustomerLayout(blobs), static_cast<int>(rows.size()),
                     [&rows](DataFile& station, int i) {
                       const CustomerRow& row = rows[static_cast<std::size_t>(i)];
                       SetCustomer(station, row.id, row.name, row.city);
                     });
}

}  // namespace morlan::testing
