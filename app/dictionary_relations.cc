#include "app/dictionary_relations.h"

#include "data/file_manager.h"

namespace morlan {

void DictionaryRelations::Kill() {
  file_manager_->Kill();
  FileRelations::Kill();
  *reference_ = nullptr;
}

}  // namespace morlan
