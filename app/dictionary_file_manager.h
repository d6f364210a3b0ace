// The file manager of a dictionary file: a file manager whose Kill also clears the global
// reference to it (InpFileManager, OutFileManager).
//
// Kill leaves alone a manager that was never set up or is already torn down: the base clean-up
// would unregister it from the file usage tracker (where it could take another manager's entry
// with it) and look at its file, whose object may be gone by the time the program ends. So a
// second Kill, and the Destroy at the end of the program, only clear the reference.
//
// Threading: as FileManager; Kill and Destroy belong to shutdown.
#pragma once

#include "data/file_manager.h"

namespace morlan {

class DictionaryFileManager final : public FileManager {
 public:
  // `reference` is the global reference that Kill clears; it must outlive the manager.
  explicit DictionaryFileManager(FileManager** reference) : reference_(reference) {}

  // The base Kill when the manager is set up; then the reference cleared. Safe to call again.
  void Kill() override;

 private:
  FileManager** reference_;
};

}  // namespace morlan
