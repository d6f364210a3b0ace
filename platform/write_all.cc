#include "platform/write_all.h"

#include <unistd.h>

#include <cerrno>

namespace morlan {

int WriteAll(int fd, std::string_view data, std::size_t* written, WriteFunction write) {
  if (write == nullptr) write = &::write;
  std::size_t done = 0;
  int error = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errno;
      break;
    }
    if (n == 0) {
      error = EIO;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (written != nullptr) *written = done;
  return error;
}

}  // namespace morlan
