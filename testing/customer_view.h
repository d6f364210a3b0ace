// A customer file set up for the view reader's tests: the memory table's station (optionally
// behind the fault wrapper), its file and relation managers, a view over it and two keys; fields
// outside any record for range values; and helpers that read through a reader.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/field_ref.h"
#include "common/levels.h"
#include "data/file_manager.h"
#include "data/file_relations.h"
#include "data/view_reader.h"
#include "platform/fault_injecting_file.h"
#include "platform/memory_keyed_file.h"
#include "platform/view.h"
#include "testing/records.h"

namespace morlan::testing {

// Keys by city then name (CITY) and by number (ID). The manager is opened (counted only: the
// reader's Init opens the file through UseFile). `wrap` puts the fault wrapper between the
// managers and the table.
struct CustomerView {
  CustomerView(ErrorManager* errors, std::shared_ptr<MemoryTable> table, bool wrap = false)
      : table_file("CUS", CustomerLayout(), std::move(table)),
        fault(table_file),
        file(wrap ? static_cast<DataFile&>(fault) : table_file),
        view(file) {
    manager.Init(&file, errors);
    relations.Init(&manager, false);
    CITY = manager.AddKey(
        FileKey{"CUS:BYCITY", {{kCustomerCity, true}, {kCustomerName, true}}, false, false},
        "By city");
    ID = manager.AddKey(FileKey{"CUS:BYID", {{kCustomerId, true}}, false, false}, "By number");
    manager.Open();
  }
  ~CustomerView() {
    relations.Kill();
    manager.Kill();
  }
  CustomerView(const CustomerView&) = delete;
  CustomerView& operator=(const CustomerView&) = delete;

  MemoryKeyedFile table_file;
  FaultInjectingFile fault;
  DataFile& file;
  View view;
  FileManager manager;
  FileRelations relations;
  const FileKey* CITY = nullptr;
  const FileKey* ID = nullptr;
};

inline std::shared_ptr<MemoryTable> FourCustomers() {
  return CustomerTable(
      {{1, "Ann", "Rome"}, {2, "Bob", "Oslo"}, {3, "Cid", "Rome"}, {4, "Dan", "Bonn"}});
}

// Fields outside any record, blank at first, for range values.
struct RangeValues {
  RangeValues() {
    for (const FieldRef& f : {City(), Name(), Low(), High()}) f.Clear();
  }
  FieldRef City() { return FieldRef(FieldType::kText, city, sizeof city); }
  FieldRef Name() { return FieldRef(FieldType::kText, name, sizeof name); }
  FieldRef Low() { return FieldRef(FieldType::kText, low, sizeof low); }
  FieldRef High() { return FieldRef(FieldType::kText, high, sizeof high); }
  FieldRef Id() { return FieldRef(FieldType::kLong, reinterpret_cast<char*>(&id), sizeof id); }

  char city[8];
  char name[10];
  char low[10];
  char high[10];
  std::int32_t id = 0;
};

inline void PutText(const FieldRef& field, std::string_view text) {
  field.Set(FieldValue::Text(text));
}

// The filter text `reader` would write; a refusal fails the test.
inline std::string FilterOf(ViewReader& reader) {
  std::string text;
  std::string reason;
  EXPECT_TRUE(reader.BuildFilterText(&text, &reason)) << reason;
  return text;
}

// Reads with `step` until it does not answer 0: field `field` of each record read, then
// "end <level>". Bounded, so a reading that never ends fails instead of hanging.
template <typename Step>
std::vector<std::string> ReadNames(DataFile& file, Step step, int field = kCustomerName) {
  std::vector<std::string> read;
  for (int i = 0; i < 50; ++i) {
    const Level level = step();
    if (level != FatalityNone) {
      read.push_back("end " + std::to_string(level));
      return read;
    }
    read.push_back(FieldText(file, field));
  }
  read.push_back("no end");
  return read;
}

}  // namespace morlan::testing
