// Makes an existing file or folder refuse writes, even to root, for as long as the object lives.
// An unprivileged process takes the write bits away; root, which ignores them, sets the path's
// immutable attribute instead. The path is made writable again when the object goes away, so that
// a TempDir holding it can remove it.
#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>

namespace morlan::testing {

class ImmutablePath {
 public:
  // `locked` and `unlocked` are the permission bits an unprivileged process sets.
  ImmutablePath(std::string path, mode_t locked, mode_t unlocked)
      : path_(std::move(path)), locked_(locked), unlocked_(unlocked), made_(Set(true)) {}
  ~ImmutablePath() {
    if (made_) Set(false);
  }
  ImmutablePath(const ImmutablePath&) = delete;
  ImmutablePath& operator=(const ImmutablePath&) = delete;

  // Whether it worked: not every file system keeps the immutable attribute, so a test should
  // skip when it is false.
  bool made() const { return made_; }

 private:
  bool Set(bool on) const {
    if (::geteuid() != 0) return ::chmod(path_.c_str(), on ? locked_ : unlocked_) == 0;
    const int fd = ::open(path_.c_str(), O_RDONLY);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return ok;
  }

  std::string path_;
  mode_t locked_;
  mode_t unlocked_;
  bool made_;
};

}  // namespace morlan::testing
