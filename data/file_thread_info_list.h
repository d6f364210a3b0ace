// The per-thread open state of one file, as a FileManager keeps it (its INFO): one entry per
// thread id, in id order. A file the driver reports as per-thread has an entry for each thread
// that used it; any other file has one entry, id 1, shared by all threads.
//
// Stability: entries never move and are never removed while the list lives, so a reference to an
// entry stays good while other threads add theirs (a reader may be inside the driver meanwhile).
//
// Threading: any thread may call Select at any time; the list is guarded by a mutex, and a thread
// finds an entry it looked up before in a small cache of its own, without the lock. The fields of
// an entry belong to the threads of its id: a per-thread entry to its thread, the shared entry to
// whichever thread uses the file, one at a time.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "common/error_ids.h"

namespace morlan {

// One thread's open state of a file. A new entry is cleared but for its ID.
struct FileThreadInfo {
  std::int32_t ID = 0;           // thread id for per-thread files, else 1
  std::uint8_t USED = 0;         // physically open for this id
  std::uint16_t OPENED = 0;      // Open calls not yet matched by Close
  std::uint8_t ATEOF = 0;        // the last Next/Previous met the end
  std::uint8_t AUTOINCDONE = 0;  // an auto-numbered record was added and not yet completed
  ErrorId LASTERROR = 0;
  // Position text of the record the auto-numbering added (while AUTOINCDONE is set): completing
  // or cancelling it goes back to that record, whatever record a look-up made current since.
  std::string AUTOINCPOS;
};

class FileThreadInfoList final {
 public:
  FileThreadInfoList();
  FileThreadInfoList(const FileThreadInfoList&) = delete;
  FileThreadInfoList& operator=(const FileThreadInfoList&) = delete;

  // The entry of `id`, added when missing. Valid for the life of the list. Allocates only when it
  // adds the entry.
  FileThreadInfo& Select(std::int32_t id);

  std::size_t size() const;
  // Copies of the entries, in id order. For tests and diagnostics, while no thread changes them.
  std::vector<FileThreadInfo> entries() const;

 private:
  // Tells this list's entries apart in the threads' caches; never reused within the process, so
  // a cached entry of a list that is gone never answers for a new one.
  const std::uint64_t serial_;
  mutable std::mutex mutex_;
  std::map<std::int32_t, FileThreadInfo> entries_;  // nodes: entries stay where they were made
};

}  // namespace morlan
