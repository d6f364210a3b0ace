// The text-line files this process holds open, each known by the device and inode of the file
// it opened, so that every name of a file counts. Create and Remove ask it whether some object
// holds a file before truncating or unlinking it; a halt walks it to write out every buffer.
//
// Threading: every operation is thread-safe; one mutex guards the list. Files join and leave on
// Open and Close, never per line. The list lives until the process ends, so files closed by
// static destructors after a halt still find it.
#pragma once

#include <sys/types.h>

#include <functional>

namespace morlan {

class TextLineFile;

class OpenFileRegistry final {
 public:
  struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
  };

  // `file` holds the file `id` open from now on, until Remove.
  static void Add(TextLineFile* file, FileId id);
  static void Remove(const TextLineFile* file);

  // Runs `action` unless some object holds the file `id`; true when it ran. No object can open
  // the file while `action` runs, so a check and a truncation or unlink are one step.
  static bool UnlessHeld(FileId id, const std::function<void()>& action);

  // Calls `visit` for every file held open. No file can leave meanwhile (its Close waits), so
  // `visit` may use it; `visit` must not open, close, create or remove files.
  static void ForEach(const std::function<void(TextLineFile&)>& visit);
};

}  // namespace morlan
