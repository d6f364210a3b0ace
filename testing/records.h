// Record layouts, record text and filled memory tables for tests of files and the code above them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "common/codes.h"
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

}  // namespace morlan::testing
