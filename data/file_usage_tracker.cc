#include "data/file_usage_tracker.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <limits>
#include <tuple>
#include <utility>

#include "common/fixed_text.h"
#include "data/file_manager.h"
#include "errors/error_manager.h"
#include "platform/data_file.h"

namespace morlan {

namespace {

auto ScopeKey(const FileUsageTracker::UseStateEntry& e) {
  return std::make_tuple(e.THREAD, e.ID, e.SCOPELEVEL);
}

bool ScopeBefore(const FileUsageTracker::UseStateEntry& a,
                 const FileUsageTracker::UseStateEntry& b) {
  return ScopeKey(a) < ScopeKey(b);
}

// Trackers take a fresh epoch when they are made and when they are emptied, so a thread's cache
// never outlives the scope it describes.
std::uint64_t NextEpoch() {
  static std::atomic<std::uint64_t> epochs{0};
  return ++epochs;
}

// The calling thread's last scopes that RecordUse found to belong to the current procedure, one
// per file (a procedure typically reads one file and writes another for every record). A
// thread's scopes change only through that thread, which counts every change in scope_changes,
// so while the count and the tracker's epoch are as cached, so is the scope: a repeated use of
// the same file needs neither the lock nor a search.
struct CachedScope {
  const FileUsageTracker* tracker = nullptr;
  std::uint64_t epoch = 0;
  std::uint64_t changes = 0;
  std::uint64_t label = 0;
  FileUse ustat{};
  std::uint64_t procedure = 0;  // the error manager's procedure stamp when cached
};

constexpr std::size_t kCachedScopes = 4;

struct ScopeCache {
  std::array<CachedScope, kCachedScopes> scopes;
  std::size_t next = 0;  // the slot a new file takes
};

thread_local ScopeCache scope_cache;
thread_local std::uint64_t scope_changes = 0;

}  // namespace

FileUsageTracker::FileUsageTracker() : epoch_(NextEpoch()) {}

std::uint64_t FileUsageTracker::LabelOf(const FileManager& manager) { return manager.file_label_; }

FileUsageTracker& FileUsageTracker::Instance() {
  // Never destroyed: managers of global files unregister from their destructors at exit, in an
  // order no static object could be sure to outlast.
  static FileUsageTracker& tracker = *new FileUsageTracker();
  return tracker;
}

std::uint64_t FileUsageTracker::FileLabel(const DataFile& file) { return file.identity(); }

std::string FileUsageTracker::CurrentProcedure(const FileManager& manager) {
  return manager.ERRORS != nullptr ? manager.ERRORS->CurrentProcedureName() : std::string();
}

std::optional<std::size_t> FileUsageTracker::InnermostLocked(ThreadId thread,
                                                             std::uint64_t label) const {
  // The list is kept in (THREAD, ID, SCOPELEVEL) order as entries are added, so the innermost
  // scope is the last entry before the first one past (thread, label).
  UseStateEntry probe;
  probe.THREAD = thread;
  probe.ID = label;
  probe.SCOPELEVEL = std::numeric_limits<std::uint16_t>::max();
  const auto after = std::upper_bound(UseStateList.begin(), UseStateList.end(), probe, ScopeBefore);
  if (after == UseStateList.begin()) return std::nullopt;
  const auto last = std::prev(after);
  if (last->THREAD != thread || last->ID != label) return std::nullopt;
  return static_cast<std::size_t>(last - UseStateList.begin());
}

void FileUsageTracker::InsertScopeLocked(UseStateEntry entry) {
  ++scope_changes;
  const auto at = std::upper_bound(UseStateList.begin(), UseStateList.end(), entry, ScopeBefore);
  UseStateList.insert(at, std::move(entry));
}

Level FileUsageTracker::FindInnermostScope(const FileManager& manager, UseStateEntry* scope) const {
  const ThreadId thread = Runtime::CurrentThreadId();
  const std::uint64_t label = LabelOf(manager);
  std::lock_guard lock(mutex_);
  const std::optional<std::size_t> at = InnermostLocked(thread, label);
  if (!at) return FatalityNotify;
  if (scope != nullptr) *scope = UseStateList[*at];
  return FatalityNone;
}

void FileUsageTracker::RecordUse(FileManager& manager, FileUse kind) {
  const std::uint64_t label = LabelOf(manager);
  // Asked before locking: the error manager is never called with the tracker's lock held. A
  // repeated use in the same procedure only compares the procedure's stamp.
  const std::uint64_t stamp = manager.ERRORS != nullptr ? manager.ERRORS->ProcedureStamp() : 0;
  ScopeCache& cache = scope_cache;
  const std::uint64_t epoch = epoch_.load(std::memory_order_acquire);
  CachedScope* cached = nullptr;
  for (CachedScope& slot : cache.scopes) {
    if (slot.tracker != this || slot.label != label) continue;
    cached = &slot;
    if (slot.changes == scope_changes && slot.epoch == epoch && kind <= slot.ustat &&
        slot.procedure == stamp) {
      return;
    }
    break;
  }
  const std::string procedure = CurrentProcedure(manager);
  const ThreadId thread = Runtime::CurrentThreadId();
  std::uint16_t level = 1;
  {
    std::lock_guard lock(mutex_);
    const std::optional<std::size_t> at = InnermostLocked(thread, label);
    if (at) {
      UseStateEntry& scope = UseStateList[*at];
      if (TextEquals(scope.PROC, procedure)) {
        if (kind > scope.USTAT) {
          scope.USTAT = kind;
          ++scope_changes;
        }
        if (cached == nullptr) {
          cached = &cache.scopes[cache.next];
          cache.next = (cache.next + 1) % kCachedScopes;
        }
        cached->tracker = this;
        cached->epoch = epoch;
        cached->changes = scope_changes;
        cached->label = label;
        cached->ustat = scope.USTAT;
        cached->procedure = stamp;
        return;
      }
      level = static_cast<std::uint16_t>(scope.SCOPELEVEL + 1);
    }
    if (level == 1) {
      InsertScopeLocked({thread, procedure, label, kind, 0, 1, 0});
      return;
    }
  }
  // A nested procedure's first use: keep the outer procedure's state to put back when this
  // scope ends. Only this thread adds scopes for (thread, label), so the level stays right while
  // the lock is released for the call back into the manager.
  std::uint16_t hold = 0;
  if (kind < FileUse::kForm) hold = manager.SaveState();
  std::lock_guard lock(mutex_);
  InsertScopeLocked({thread, procedure, label, kind, hold, level, 0});
}

void FileUsageTracker::RecordOpen(FileManager& manager) {
  const ThreadId thread = Runtime::CurrentThreadId();
  const std::uint64_t label = LabelOf(manager);
  const std::string procedure = CurrentProcedure(manager);
  std::lock_guard lock(mutex_);
  const std::optional<std::size_t> at = InnermostLocked(thread, label);
  if (!at) return;
  UseStateEntry& scope = UseStateList[*at];
  if (!TextEquals(scope.PROC, procedure)) return;
  ++scope.NESTEDOPEN;
  ++scope_changes;
}

void FileUsageTracker::RecordClose(FileManager& manager) {
  const ThreadId thread = Runtime::CurrentThreadId();
  const std::uint64_t label = LabelOf(manager);
  const std::string procedure = CurrentProcedure(manager);
  std::uint16_t hold = 0;
  bool restore = false;
  {
    std::lock_guard lock(mutex_);
    const std::optional<std::size_t> at = InnermostLocked(thread, label);
    if (!at) return;
    UseStateEntry& scope = UseStateList[*at];
    if (!TextEquals(scope.PROC, procedure)) return;
    ++scope_changes;
    if (scope.NESTEDOPEN != 0) {
      --scope.NESTEDOPEN;
      return;
    }
    hold = scope.HOLD;
    restore = scope.USTAT < FileUse::kForm;
    if (hold == 0) {
      UseStateList.erase(UseStateList.begin() + static_cast<std::ptrdiff_t>(*at));
      return;
    }
  }
  // The state goes back before the scope is removed, outside the lock: RestoreState uses the
  // file, which records a use in this (still current) scope.
  FileManager::RestoreState(manager, &hold, manager, restore);
  std::lock_guard lock(mutex_);
  const std::optional<std::size_t> at = InnermostLocked(thread, label);
  if (!at) return;
  UseStateList.erase(UseStateList.begin() + static_cast<std::ptrdiff_t>(*at));
  ++scope_changes;
}

void FileUsageTracker::RegisterFile(FileManager& manager) {
  const OpenFileEntry entry{LabelOf(manager), &manager};
  std::lock_guard lock(mutex_);
  ERRS = manager.ERRORS;
  const auto at = std::upper_bound(
      OpenFileList.begin(), OpenFileList.end(), entry,
      [](const OpenFileEntry& a, const OpenFileEntry& b) { return a.FILELABEL < b.FILELABEL; });
  OpenFileList.insert(at, entry);
}

void FileUsageTracker::UnregisterFile(FileManager& manager) {
  const std::uint64_t label = LabelOf(manager);
  std::lock_guard lock(mutex_);
  // Of several managers of one file, the one that goes is the one unregistering.
  auto it = std::find_if(OpenFileList.begin(), OpenFileList.end(), [&](const OpenFileEntry& e) {
    return e.FILELABEL == label && e.FILEMANAGER == &manager;
  });
  if (it == OpenFileList.end()) {
    it = std::find_if(OpenFileList.begin(), OpenFileList.end(),
                      [&](const OpenFileEntry& e) { return e.FILELABEL == label; });
  }
  if (it != OpenFileList.end()) OpenFileList.erase(it);
  if (OpenFileList.empty()) ERRS = nullptr;
}

FileManager* FileUsageTracker::FindFile(std::uint64_t label) const {
  std::lock_guard lock(mutex_);
  const auto it = std::lower_bound(
      OpenFileList.begin(), OpenFileList.end(), label,
      [](const OpenFileEntry& e, std::uint64_t value) { return e.FILELABEL < value; });
  if (it == OpenFileList.end() || it->FILELABEL != label) return nullptr;
  return it->FILEMANAGER;
}

ErrorManager* FileUsageTracker::errors() const {
  std::lock_guard lock(mutex_);
  return ERRS;
}

std::vector<FileUsageTracker::OpenFileEntry> FileUsageTracker::open_files() const {
  std::lock_guard lock(mutex_);
  return OpenFileList;
}

std::vector<FileUsageTracker::UseStateEntry> FileUsageTracker::use_states() const {
  std::lock_guard lock(mutex_);
  return UseStateList;
}

void FileUsageTracker::Clear() {
  std::lock_guard lock(mutex_);
  epoch_.store(NextEpoch(), std::memory_order_release);
  ERRS = nullptr;
  OpenFileList.clear();
  UseStateList.clear();
}

}  // namespace morlan
