// An update file of a record form: a file whose record buffer the form saves before it runs, puts
// back before each further new record, and lets go when it ends (WindowController::FILES).
#pragma once

#include <cstdint>

namespace morlan {

class FileManager;

struct UpdateFileEntry final {
  FileManager* FILE = nullptr;  // not owned
  std::uint32_t SAVED = 0;      // id of the saved copy of its record buffer; 0 none
};

}  // namespace morlan
