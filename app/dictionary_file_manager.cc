#include "app/dictionary_file_manager.h"

namespace morlan {

void DictionaryFileManager::Kill() {
  // Init makes INFO and clears CLEANEDUP; only the clean-up sets CLEANEDUP. So a manager without
  // INFO that is not cleaned up was never set up: mark it torn down, so that its destructor does
  // not run the clean-up either.
  const bool never_set_up = CLEANEDUP == 0 && INFO == nullptr;
  if (never_set_up) CLEANEDUP = 1;
  if (CLEANEDUP == 0) FileManager::Kill();
  *reference_ = nullptr;
}

}  // namespace morlan
