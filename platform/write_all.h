// Writing a whole block to a POSIX file descriptor: the one place the platform's file code
// loops over write(2).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string_view>

namespace morlan {

using WriteFunction = ssize_t (*)(int fd, const void* data, std::size_t size);

// Writes all of `data` to `fd`, retrying interruptions and short writes. Returns 0 on success,
// else the errno of the failure; a write that makes no progress without an error (returns 0)
// fails with EIO instead of looping for ever. `written`, when given, receives the number of
// bytes that reached the file, also on failure, so a caller can cut a torn tail away.
// `write` is the system call, replaceable in tests.
int WriteAll(int fd, std::string_view data, std::size_t* written = nullptr,
             WriteFunction write = nullptr);

}  // namespace morlan
