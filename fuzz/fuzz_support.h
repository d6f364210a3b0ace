// What the fuzz targets share: a failed property ends the input as a crash libFuzzer keeps, and
// the targets that drive files work in a scratch folder of their own.
//
// Threading: the targets run one input at a time on one thread.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>

namespace morlan::fuzzing {

// A property that does not hold: the input is a finding.
[[noreturn]] inline void Trap() { __builtin_trap(); }

inline void Require(bool condition) {
  if (!condition) Trap();
}

// A folder of this process's own named after `target`, in memory where the system has one; made
// if missing. A target removes it after each input: the fuzzer ends its runs without running
// exit handlers.
inline std::string ScratchFolder(std::string_view target) {
  std::string folder = std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                       "/morlan-" + std::string(target) + "-" + std::to_string(::getpid());
  ::mkdir(folder.c_str(), 0700);
  return folder;
}

// The file's bytes; empty when it cannot be opened.
inline std::string ReadWholeFile(const std::string& name) {
  std::string text;
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char buffer[64 * 1024];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return text;
}

// Makes the file hold exactly `content`; a failure is a finding.
inline void WriteWholeFile(const std::string& name, std::string_view content) {
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  Require(fd >= 0);
  while (!content.empty()) {
    const ssize_t n = ::write(fd, content.data(), content.size());
    Require(n > 0);
    content.remove_prefix(static_cast<std::size_t>(n));
  }
  ::close(fd);
}

}  // namespace morlan::fuzzing
