// Makes an existing file refuse write access, even to root, for as long as the object lives.
// An unprivileged process clears the write bits; root, which ignores them, sets the file's
// immutable attribute instead. The file is left writable again when the object goes away, so
// that a TempDir holding it can remove it.
#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>

namespace morlan::testing {

class UnwritableFile {
 public:
  // made() tells whether it worked: not every file system keeps the immutable attribute, so a
  // test should skip when it is false.
  explicit UnwritableFile(std::string name) : name_(std::move(name)), made_(Set(true)) {}
  ~UnwritableFile() {
    if (made_) Set(false);
  }
  UnwritableFile(const UnwritableFile&) = delete;
  UnwritableFile& operator=(const UnwritableFile&) = delete;

  bool made() const { return made_; }

 private:
  bool Set(bool on) const {
    if (::geteuid() != 0) return ::chmod(name_.c_str(), on ? 0444 : 0644) == 0;
    const int fd = ::open(name_.c_str(), O_RDONLY);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return ok;
  }

  std::string name_;
  bool made_;
};

}  // namespace morlan::testing
