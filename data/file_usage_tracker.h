// The process-wide bookkeeping of file use, shared by every FileManager:
//
// OpenFileList: one entry per initialised manager, ordered by FILELABEL (the 64-bit identity of
// the platform file object), so that a view's files can be traced back to their managers.
//
// UseStateList: one entry per use scope, ordered by THREAD, then ID (the file's label), then
// SCOPELEVEL. A thread's first use of a file opens scope level 1, owned by the procedure running
// then (the error manager's CurrentProcedureName). When a nested procedure of the same thread
// uses the file, a scope one level deeper opens; for a use weaker than kForm it saves the file's
// state (buffer, position, auto-number flag) in HOLD, and closing the file in that procedure
// ends the scope and puts the outer procedure's state back.
//
// Life: one tracker per process (Instance()), created empty at first use; Clear() empties it at
// the end of the program.
//
// Threading: any thread may call any operation. One mutex guards both lists; it is held only
// for short sections and never while calling back into a manager (SaveState, RestoreState) or
// the error manager, so those may call the tracker again. A thread only ever adds, changes or
// removes its own scopes.
//
// Cost: RecordUse, RecordOpen and RecordClose on a scope that exists allocate nothing; the lists
// are kept in order as entries are added, so no search sorts. A thread that uses the same file
// again in the same procedure finds its scope in a per-thread cache, without the lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/levels.h"
#include "data/file_use.h"
#include "platform/runtime.h"

namespace morlan {

class DataFile;
class ErrorManager;
class FileManager;

class FileUsageTracker final {
 public:
  struct OpenFileEntry {
    std::uint64_t FILELABEL = 0;
    FileManager* FILEMANAGER = nullptr;
  };

  struct UseStateEntry {
    ThreadId THREAD = 0;
    std::string PROC;              // procedure that opened the scope
    std::uint64_t ID = 0;          // FILELABEL of the file
    FileUse USTAT{};               // strongest use kind seen in the scope
    std::uint16_t HOLD = 0;        // saved file state put back when the scope ends; 0 none
    std::uint16_t SCOPELEVEL = 0;  // 1 outermost, one more per nested procedure
    std::uint16_t NESTEDOPEN = 0;  // further Opens inside the scope
  };

  FileUsageTracker();
  FileUsageTracker(const FileUsageTracker&) = delete;
  FileUsageTracker& operator=(const FileUsageTracker&) = delete;

  // The process's tracker.
  static FileUsageTracker& Instance();

  // The identity of a platform file object: 64 bits, never reused within the process.
  static std::uint64_t FileLabel(const DataFile& file);

  // Copies the calling thread's innermost scope for `manager`'s file into `*scope` (when given)
  // and returns 0; 5 when the thread has no scope for the file.
  Level FindInnermostScope(const FileManager& manager, UseStateEntry* scope = nullptr) const;

  // A use of `manager`'s file of `kind` (not kUntracked) on the calling thread: opens a scope
  // when there is none, raises USTAT within the current procedure's scope, or opens a nested
  // scope (saving the file's state for kinds below kForm) when the innermost scope belongs to
  // another procedure.
  void RecordUse(FileManager& manager, FileUse kind);
  // An Open inside the current procedure's innermost scope counts as nested.
  void RecordOpen(FileManager& manager);
  // A Close in the current procedure's innermost scope: undoes a nested Open, or ends the scope
  // and puts a held state back (restored for USTAT below kForm, else only discarded).
  void RecordClose(FileManager& manager);

  // Adds (removes) the OpenFileList entry of `manager`'s file and keeps its ERRORS in ERRS. A
  // second manager of one file gets an entry beside the first.
  void RegisterFile(FileManager& manager);
  void UnregisterFile(FileManager& manager);
  // The manager registered first for `label`, or nullptr.
  FileManager* FindFile(std::uint64_t label) const;

  // The error manager of the managers that registered last; null when none is registered.
  ErrorManager* errors() const;
  // Copies of the lists, in their order.
  std::vector<OpenFileEntry> open_files() const;
  std::vector<UseStateEntry> use_states() const;
  // Empties both lists and forgets ERRS. For the end of the program (and tests).
  void Clear();

 private:
  using Scopes = std::vector<UseStateEntry>;

  // Position of the calling thread's innermost scope for `label`, if any. mutex_ held.
  std::optional<std::size_t> InnermostLocked(ThreadId thread, std::uint64_t label) const;
  // Inserts `entry` at its place in order. mutex_ held.
  void InsertScopeLocked(UseStateEntry entry);
  // The procedure now running on the calling thread, as `manager`'s error manager knows it.
  static std::string CurrentProcedure(const FileManager& manager);
  static std::uint64_t LabelOf(const FileManager& manager);

  mutable std::mutex mutex_;
  std::atomic<std::uint64_t> epoch_;  // changes when the lists are emptied
  ErrorManager* ERRS = nullptr;
  std::vector<OpenFileEntry> OpenFileList;
  Scopes UseStateList;
};

}  // namespace morlan
