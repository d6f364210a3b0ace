#include "platform/open_file_registry.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace morlan {

namespace {

struct Entry {
  TextLineFile* file;
  OpenFileRegistry::FileId id;
};

struct Registry {
  std::mutex mutex;
  std::vector<Entry> entries;
};

Registry& TheRegistry() {
  // Never destroyed: file objects with static lifetime close after the registry's own static
  // destructor would have run.
  static Registry* const registry = new Registry;
  return *registry;
}

}  // namespace

void OpenFileRegistry::Add(TextLineFile* file, FileId id) {
  Registry& r = TheRegistry();
  const std::lock_guard lock(r.mutex);
  r.entries.push_back({file, id});
}

void OpenFileRegistry::Remove(const TextLineFile* file) {
  Registry& r = TheRegistry();
  const std::lock_guard lock(r.mutex);
  const auto it = std::find_if(r.entries.begin(), r.entries.end(),
                               [file](const Entry& e) { return e.file == file; });
  if (it == r.entries.end()) return;
  *it = r.entries.back();
  r.entries.pop_back();
}

bool OpenFileRegistry::UnlessHeld(FileId id, const std::function<void()>& action) {
  Registry& r = TheRegistry();
  const std::lock_guard lock(r.mutex);
  const bool held = std::any_of(r.entries.begin(), r.entries.end(), [id](const Entry& e) {
    return e.id.device == id.device && e.id.inode == id.inode;
  });
  if (held) return false;
  action();
  return true;
}

void OpenFileRegistry::ForEach(const std::function<void(TextLineFile&)>& visit) {
  Registry& r = TheRegistry();
  const std::lock_guard lock(r.mutex);
  for (const Entry& e : r.entries) visit(*e.file);
}

}  // namespace morlan
