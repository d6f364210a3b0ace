// Inputs for record processes: a data file with its file manager, relation manager and a view
// over it, opened; over a line file on disk (the text-line driver, behind a driver double that can
// scale its size and report a record count) or over numbered lines in memory (the in-memory keyed
// driver, which counts its records).
#pragma once

#include <cstdint>
#include <string>

#include "data/file_manager.h"
#include "data/file_relations.h"
#include "errors/error_manager.h"
#include "platform/memory_keyed_file.h"
#include "platform/text_line_file.h"
#include "platform/view.h"
#include "testing/records.h"
#include "testing/scaled_file.h"

namespace morlan::testing {

struct RecordInput {
  RecordInput(ErrorManager* errors, DataFile& data) : view(data) {
    manager.Init(&data, errors);
    relations.Init(&manager, false);
    relations.Open(false);
  }
  ~RecordInput() {
    relations.Close(false);
    relations.Kill();
    manager.Kill();
  }
  View view;
  FileManager manager;
  FileRelations relations;
};

// The lines of file `name`; the driver reports the size and each read's bytes times `scale`, and
// `records` as its record count (0: it cannot count, so progress runs on bytes).
struct LineInput {
  LineInput(ErrorManager* errors, const std::string& name, std::int64_t scale = 1,
            std::int64_t records = 0)
      : disk(name, LineLayout(255)), file(disk, scale, records), input(errors, file) {}
  TextLineFile disk;
  ScaledFile file;  // also a fault wrapper
  RecordInput input;
};

// `count` records "line 1", "line 2", ...
struct MemoryInput {
  MemoryInput(ErrorManager* errors, int count)
      : file("MEM", LineLayout(40),
             FilledTable("MEM", LineLayout(40), count,
                         [](DataFile& f, int i) {
                           f.field(0).Set(FieldValue::Text("line " + std::to_string(i + 1)));
                         })),
        input(errors, file) {}
  MemoryKeyedFile file;
  RecordInput input;
};

}  // namespace morlan::testing
