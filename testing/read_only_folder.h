// Makes a folder refuse new files and removals, even to root, for as long as the object lives.
// An unprivileged process takes the folder's write bits away; root, which ignores them, sets the
// folder's immutable attribute instead. Files already in it can still be read and written. The
// folder is made writable again when the object goes away, so that a TempDir can remove it.
#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>

namespace morlan::testing {

class ReadOnlyFolder {
 public:
  // made() tells whether it worked: not every file system keeps the immutable attribute, so a
  // test should skip when it is false.
  explicit ReadOnlyFolder(std::string path) : path_(std::move(path)), made_(Set(true)) {}
  ~ReadOnlyFolder() {
    if (made_) Set(false);
  }
  ReadOnlyFolder(const ReadOnlyFolder&) = delete;
  ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

  bool made() const { return made_; }

 private:
  bool Set(bool on) const {
    if (::geteuid() != 0) return ::chmod(path_.c_str(), on ? 0555 : 0755) == 0;
    const int fd = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return ok;
  }

  std::string path_;
  bool made_;
};

}  // namespace morlan::testing
