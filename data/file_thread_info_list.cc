#include "data/file_thread_info_list.h"

#include <array>
#include <atomic>

namespace morlan {

namespace {

std::uint64_t NextSerial() {
  static std::atomic<std::uint64_t> serials{0};
  return ++serials;
}

// The calling thread's last look-ups. Every record operation looks its thread's entry up (often
// more than once), and a procedure typically works on two files, so a few slots spare nearly
// every look-up the lock. Serial 0 belongs to no list: an empty slot never matches.
struct CachedEntry {
  std::uint64_t list = 0;
  std::int32_t id = 0;
  FileThreadInfo* entry = nullptr;
};

constexpr std::size_t kCachedEntries = 4;

struct EntryCache {
  std::array<CachedEntry, kCachedEntries> slots;
  std::size_t next = 0;  // the slot the next miss takes
};

thread_local EntryCache entry_cache;

}  // namespace

FileThreadInfoList::FileThreadInfoList() : serial_(NextSerial()) {}

FileThreadInfo& FileThreadInfoList::Select(std::int32_t id) {
  EntryCache& cache = entry_cache;
  for (const CachedEntry& slot : cache.slots) {
    if (slot.list == serial_ && slot.id == id) return *slot.entry;
  }
  FileThreadInfo* entry = nullptr;
  {
    std::lock_guard lock(mutex_);
    const auto [it, added] = entries_.try_emplace(id);
    if (added) it->second.ID = id;
    entry = &it->second;
  }
  cache.slots[cache.next] = {serial_, id, entry};
  cache.next = (cache.next + 1) % kCachedEntries;
  return *entry;
}

std::size_t FileThreadInfoList::size() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

std::vector<FileThreadInfo> FileThreadInfoList::entries() const {
  std::lock_guard lock(mutex_);
  std::vector<FileThreadInfo> copies;
  copies.reserve(entries_.size());
  for (const auto& [id, entry] : entries_) copies.push_back(entry);
  return copies;
}

}  // namespace morlan
