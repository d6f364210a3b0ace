// The relation manager of a dictionary file: a relation manager whose Kill kills its file
// manager first and then clears the global reference to itself (InpRelations, OutRelations).
//
// Threading: as FileRelations; Kill belongs to shutdown.
#pragma once

#include "data/file_relations.h"

namespace morlan {

class DictionaryRelations final : public FileRelations {
 public:
  // `file_manager` is the file's manager object itself (not its global reference, which its own
  // Kill clears); `reference` the global reference that Kill clears. Both must outlive this.
  DictionaryRelations(FileManager* file_manager, FileRelations** reference)
      : file_manager_(file_manager), reference_(reference) {}

  // The file manager's Kill (its own override), the base Kill, then the reference cleared.
  void Kill() override;

 private:
  FileManager* file_manager_;
  FileRelations** reference_;
};

}  // namespace morlan
