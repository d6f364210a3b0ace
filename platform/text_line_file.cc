#include "platform/text_line_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "platform/open_file_registry.h"
#include "platform/runtime_error_state.h"
#include "platform/write_all.h"

namespace morlan {

namespace {

// How long a halt waits for a file that another thread is using.
constexpr auto kHaltWaitPerFile = std::chrono::milliseconds(250);

// 90 with the system's code and text.
void SetDriverFailure(int error) {
  char code[16];
  const auto end = std::to_chars(code, code + sizeof code, error).ptr;
  RuntimeErrorState::SetDriverError({code, static_cast<std::size_t>(end - code)},
                                    std::strerror(error));
}

// Maps a failed system call's errno onto the status codes callers test; anything without a
// code of its own becomes 90 with the system's code and text.
void SetSystemError(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return RuntimeErrorState::Set(StatusNotFound);
    case EACCES:
    case EPERM:
    case EROFS:
    case EWOULDBLOCK:
      return RuntimeErrorState::Set(StatusAccessDenied);
    default:
      return SetDriverFailure(error);
  }
}

bool IsWritable(std::uint8_t mode) { return (mode & kAccessMask) != kAccessRead; }

}  // namespace

TextLineFile::TextLineFile(std::string name, RecordLayout layout)
    : DataFile(std::move(name), std::move(layout)) {}

TextLineFile::~TextLineFile() {
  if (IsOpen()) Close();
}

bool TextLineFile::Exists() {
  struct stat st;
  if (::stat(name().c_str(), &st) == 0) {
    RuntimeErrorState::SetOk();
    return true;
  }
  if (errno == ENOENT || errno == ENOTDIR) {
    RuntimeErrorState::SetOk();
    return false;
  }
  SetSystemError(errno);
  return false;
}

void TextLineFile::Create() {
  if (IsOpen()) return RuntimeErrorState::Set(StatusAlreadyOpen);
  // Opened without O_TRUNC: the file is emptied only once it is known that no object of this
  // process holds it, whatever name that object used.
  const int fd = ::open(name().c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return SetSystemError(errno);
  struct stat st;
  int error = ::fstat(fd, &st) == 0 ? 0 : errno;
  bool held = false;
  if (error == 0 && S_ISREG(st.st_mode)) {
    held = !OpenFileRegistry::UnlessHeld({st.st_dev, st.st_ino}, [&] {
      if (::ftruncate(fd, 0) != 0) error = errno;
    });
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  if (held) return RuntimeErrorState::Set(StatusAccessDenied);
  if (error != 0) return SetSystemError(error);
  RuntimeErrorState::SetOk();
}

void TextLineFile::Remove() {
  if (IsOpen()) return RuntimeErrorState::Set(StatusAlreadyOpen);
  // lstat: unlinking a symbolic link leaves the file it names alone.
  struct stat st;
  if (::lstat(name().c_str(), &st) != 0) return SetSystemError(errno);
  int error = 0;
  const bool ran = OpenFileRegistry::UnlessHeld({st.st_dev, st.st_ino}, [&] {
    if (::unlink(name().c_str()) != 0) error = errno;
  });
  if (!ran) return RuntimeErrorState::Set(StatusAccessDenied);
  if (error != 0) return SetSystemError(error);
  RuntimeErrorState::SetOk();
}

void TextLineFile::Open(std::uint8_t mode) {
  if (IsOpen()) return RuntimeErrorState::Set(StatusAlreadyOpen);
  // Write-only opens read too where the file lets them: the first Add looks at the file's last
  // byte. Reads through Next stay refused by the mode.
  const int flags = O_CLOEXEC | (IsWritable(mode) ? O_RDWR | O_APPEND : O_RDONLY);
  int fd = ::open(name().c_str(), flags);
  if (fd < 0 && errno == EACCES && (mode & kAccessMask) == kAccessWrite) {
    fd = ::open(name().c_str(), O_CLOEXEC | O_WRONLY | O_APPEND);
  }
  if (fd < 0) return SetSystemError(errno);

  // Sharing: a deny-all open wants the file to itself; every other open only keeps deny-all
  // opens away. flock locks belong to the open file, so two objects in one process conflict
  // just as two processes do.
  const int lock = (mode & kShareMask) == kShareDenyAll ? LOCK_EX : LOCK_SH;
  if (::flock(fd, lock | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    return SetSystemError(error == EWOULDBLOCK ? EACCES : error);
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    const int error = errno;
    ::close(fd);
    return SetSystemError(error);
  }

  fd_ = fd;
  mode_ = mode;
  // Room for a whole record line with its CR and LF, whatever the record's size.
  buffer_size_ = std::max<std::size_t>(kBufferSize, record_size() + 2);
  if (!read_buffer_) read_buffer_ = std::make_unique<char[]>(buffer_size_);
  if (!write_buffer_) write_buffer_ = std::make_unique<char[]>(kBufferSize);
  write_used_ = 0;
  write_error_ = 0;
  last_line_ended_ = false;
  bytes_read_ = 0;
  SeekRead(0);
  // Last: from here on a halt on another thread may flush this file.
  OpenFileRegistry::Add(this, {st.st_dev, st.st_ino});
  RuntimeErrorState::SetOk();
}

void TextLineFile::Close() {
  if (!IsOpen()) return RuntimeErrorState::Set(StatusNotOpen);
  // Keep the first failure: a lost write matters more than the close that follows it.
  bool flushed = true;
  if (IsWritable(mode_)) {
    const std::lock_guard lock(write_mutex_);
    flushed = Flush();
  }
  const RuntimeErrorState::Saved flush_failure = RuntimeErrorState::Save();
  // Once out of the registry no halt can reach the file, so the rest needs no lock.
  OpenFileRegistry::Remove(this);
  const int closed = ::close(fd_);
  const int close_error = errno;
  fd_ = -1;
  write_error_ = 0;
  Notify(kNotifyClose);
  if (!flushed) return RuntimeErrorState::Restore(flush_failure);
  if (closed != 0) return SetSystemError(close_error);
  RuntimeErrorState::SetOk();
}

void TextLineFile::Send(std::string_view option) {
  // Recovery and quick-scan have nothing to do for plain lines; every option is accepted.
  (void)option;
  RuntimeErrorState::SetOk();
}

void TextLineFile::SeekRead(std::int64_t offset) {
  read_pos_ = 0;
  read_end_ = 0;
  read_offset_ = offset;
  // Line numbers are counted from the start; nobody knows how many lines lie before `offset`.
  line_number_ = offset == 0 ? 0 : -1;
  current_offset_ = -1;
}

void TextLineFile::SetStart() {
  if (!IsOpen()) return RuntimeErrorState::Set(StatusNotOpen);
  SeekRead(0);
  RuntimeErrorState::SetOk();
}

bool TextLineFile::ReadMore() {
  for (;;) {
    const ssize_t n =
        ::pread(fd_, read_buffer_.get() + read_end_, buffer_size_ - read_end_, read_offset_);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetSystemError(errno);
      return false;
    }
    read_end_ += static_cast<std::size_t>(n);
    read_offset_ += n;
    if (n == 0) RuntimeErrorState::SetOk();
    return true;
  }
}

void TextLineFile::Next() {
  if (!IsOpen()) return RuntimeErrorState::Set(StatusNotOpen);
  if ((mode_ & kAccessMask) == kAccessWrite) return RuntimeErrorState::Set(StatusAccessDenied);
  if (IsWritable(mode_)) {
    // Appended lines must be visible to reads of the same object.
    const std::lock_guard lock(write_mutex_);
    if (write_used_ > 0 && !Flush()) return;
  }
  ReadLine();
}

void TextLineFile::ReadLine() {
  char* const buffer = read_buffer_.get();
  const std::int64_t line_start = read_offset_ - static_cast<std::int64_t>(read_end_ - read_pos_);
  std::size_t scan_from = read_pos_;
  const char* lf = nullptr;
  bool at_end = false;
  // Find the whole line inside the buffer. A line that runs past the buffer's end is moved to
  // its front and the rest filled, so every line that can fit the record is read contiguously.
  for (;;) {
    lf = static_cast<const char*>(std::memchr(buffer + scan_from, '\n', read_end_ - scan_from));
    if (lf != nullptr) break;
    if (read_pos_ > 0) {
      std::memmove(buffer, buffer + read_pos_, read_end_ - read_pos_);
      read_end_ -= read_pos_;
      read_pos_ = 0;
    }
    if (read_end_ == buffer_size_) return SkipLongLine(line_start);
    scan_from = read_end_;
    if (!ReadMore()) return;
    if (read_end_ == scan_from) {
      at_end = true;
      break;
    }
  }

  const char* begin = buffer + read_pos_;
  std::size_t length = at_end ? read_end_ - read_pos_ : static_cast<std::size_t>(lf - begin);
  if (at_end && length == 0) {
    bytes_read_ = 0;
    return RuntimeErrorState::Set(StatusNoRecord);
  }
  const std::size_t consumed = length + (at_end ? 0 : 1);
  read_pos_ += consumed;
  bytes_read_ = static_cast<std::int64_t>(consumed);
  if (line_number_ >= 0) ++line_number_;
  // Also at the very end: a file cut after the CR of its last CRLF.
  if (length > 0 && begin[length - 1] == '\r') --length;

  const std::size_t capacity = record_size();
  if (length > capacity) return ReportLongLine(line_start);
  char* const record = this->record();
  std::memcpy(record, begin, length);
  std::memset(record + length, ' ', capacity - length);
  current_offset_ = line_start;
  RuntimeErrorState::SetOk();
}

void TextLineFile::SkipLongLine(std::int64_t line_start) {
  // The line fills the whole buffer without a terminator, so it cannot fit the record: pass
  // over it to its end, counting its bytes, and fail this read.
  std::int64_t consumed = static_cast<std::int64_t>(read_end_);
  read_pos_ = read_end_ = 0;
  for (;;) {
    if (!ReadMore()) return;
    if (read_end_ == 0) break;  // end of file: the line had no terminator
    const char* buffer = read_buffer_.get();
    const char* lf = static_cast<const char*>(std::memchr(buffer, '\n', read_end_));
    if (lf != nullptr) {
      read_pos_ = static_cast<std::size_t>(lf - buffer) + 1;
      consumed += static_cast<std::int64_t>(read_pos_);
      break;
    }
    consumed += static_cast<std::int64_t>(read_end_);
    read_pos_ = read_end_ = 0;
  }
  bytes_read_ = consumed;
  if (line_number_ >= 0) ++line_number_;
  ReportLongLine(line_start);
}

void TextLineFile::ReportLongLine(std::int64_t line_start) {
  // The record keeps what it held: a line is never cut to fit.
  char text[128];
  const int n =
      line_number_ > 0
          ? std::snprintf(text, sizeof text, "Line %lld is longer than %u characters",
                          static_cast<long long>(line_number_), record_size())
          : std::snprintf(text, sizeof text, "The line at byte %lld is longer than %u characters",
                          static_cast<long long>(line_start), record_size());
  RuntimeErrorState::SetDriverError("90", {text, static_cast<std::size_t>(n)});
}

bool TextLineFile::Flush() {
  if (write_error_ != 0) {
    SetDriverFailure(write_error_);
    return false;
  }
  if (write_used_ == 0) return true;
  std::size_t written = 0;
  const int error = WriteAll(fd_, {write_buffer_.get(), write_used_}, &written);
  if (error == 0) {
    write_used_ = 0;
    return true;
  }
  // Whatever follows the last LF that reached the file is a torn line.
  const std::size_t last_lf = std::string_view(write_buffer_.get(), written).rfind('\n');
  const std::size_t whole = last_lf == std::string_view::npos ? 0 : last_lf + 1;
  FailWrite(error, written - whole);
  return false;
}

void TextLineFile::WriteThrough(std::string_view line) {
  std::size_t written = 0;
  int error = WriteAll(fd_, line, &written);
  if (error == 0) error = WriteAll(fd_, "\n");
  if (error == 0) return RuntimeErrorState::SetOk();
  // Without its LF the whole line is torn, however much of it was written.
  FailWrite(error, written);
}

void TextLineFile::FailWrite(int error, std::size_t torn) {
  write_used_ = 0;
  write_error_ = error;
  if (torn > 0) {
    // Writes append (O_APPEND), so the file offset is the end of the torn line. Cut only when
    // the file still ends there: lines another writer appended since are not ours to cut. A cut
    // that fails leaves the tail; the failure is reported either way.
    const off_t end = ::lseek(fd_, 0, SEEK_CUR);
    struct stat st;
    if (end >= static_cast<off_t>(torn) && ::fstat(fd_, &st) == 0 && st.st_size == end) {
      const int cut = ::ftruncate(fd_, end - static_cast<off_t>(torn));
      (void)cut;
    }
  }
  SetDriverFailure(error);
}

bool TextLineFile::EndLastLine() {
  struct stat st;
  if (::fstat(fd_, &st) != 0) {
    SetSystemError(errno);
    return false;
  }
  if (S_ISREG(st.st_mode) && st.st_size > 0) {
    char last = '\n';
    ssize_t n;
    do {
      n = ::pread(fd_, &last, 1, st.st_size - 1);
    } while (n < 0 && errno == EINTR);
    // A file opened write-only because it cannot be read (EBADF) is taken as ended.
    if (n < 0 && errno != EBADF) {
      SetSystemError(errno);
      return false;
    }
    if (n == 1 && last != '\n') write_buffer_[write_used_++] = '\n';
  }
  last_line_ended_ = true;
  return true;
}

void TextLineFile::Add() {
  if (!IsOpen()) return RuntimeErrorState::Set(StatusNotOpen);
  if (!IsWritable(mode_)) return RuntimeErrorState::Set(StatusAccessDenied);
  const std::lock_guard lock(write_mutex_);
  // Lines were lost earlier in this open: no Add may look as if it succeeded.
  if (write_error_ != 0) return SetDriverFailure(write_error_);
  const std::string_view line = ClipText({record(), record_size()});
  if (std::memchr(line.data(), '\n', line.size()) != nullptr) {
    return RuntimeErrorState::SetDriverError("90", "A record holding a line break cannot be added");
  }
  if (!line.empty() && line.back() == '\r') {
    return RuntimeErrorState::SetDriverError(
        "90", "A record ending in a carriage return cannot be added");
  }
  if (!last_line_ended_ && !EndLastLine()) return;
  if (write_used_ + line.size() + 1 > kBufferSize && !Flush()) return;
  // Larger than the whole buffer: write it straight through.
  if (line.size() + 1 > kBufferSize) return WriteThrough(line);
  std::memcpy(write_buffer_.get() + write_used_, line.data(), line.size());
  write_used_ += line.size();
  write_buffer_[write_used_++] = '\n';
  RuntimeErrorState::SetOk();
}

std::string TextLineFile::Position(const FileKey* key) {
  if (key != nullptr) {
    NotSupported();
    return {};
  }
  if (current_offset_ < 0) {
    RuntimeErrorState::Set(StatusNoRecord);
    return {};
  }
  RuntimeErrorState::SetOk();
  return std::to_string(current_offset_);
}

void TextLineFile::Reget(const FileKey* key, std::string_view position) {
  if (key != nullptr) return NotSupported();
  if (!IsOpen()) return RuntimeErrorState::Set(StatusNotOpen);
  std::int64_t offset = -1;
  const auto result = std::from_chars(position.data(), position.data() + position.size(), offset);
  if (result.ec != std::errc() || offset < 0) return RuntimeErrorState::Set(StatusRecordNotFound);
  if (IsWritable(mode_)) {
    const std::lock_guard lock(write_mutex_);
    if (write_used_ > 0 && !Flush()) return;
  }
  SeekRead(offset);
  ReadLine();
  if (RuntimeErrorState::code() == StatusNoRecord) RuntimeErrorState::Set(StatusRecordNotFound);
}

std::int64_t TextLineFile::RecordCount() {
  RuntimeErrorState::SetOk();
  return 0;
}

std::int64_t TextLineFile::Size() {
  struct stat st;
  int error = 0;
  std::size_t buffered = 0;
  if (IsOpen() && IsWritable(mode_)) {
    // Lines still in the write buffer belong to the file as its user sees it. Both are read
    // under the lock, so a halt's flush cannot move bytes from one to the other in between.
    const std::lock_guard lock(write_mutex_);
    if (::fstat(fd_, &st) != 0) error = errno;
    buffered = write_used_;
  } else if ((IsOpen() ? ::fstat(fd_, &st) : ::stat(name().c_str(), &st)) != 0) {
    error = errno;
  }
  if (error != 0) {
    SetSystemError(error);
    return 0;
  }
  RuntimeErrorState::SetOk();
  return static_cast<std::int64_t>(st.st_size) + static_cast<std::int64_t>(buffered);
}

void TextLineFile::FlushAllOpen() {
  // A halt reports its own failure; the flushes must not replace it.
  const RuntimeErrorState::Saved saved = RuntimeErrorState::Save();
  OpenFileRegistry::ForEach([](TextLineFile& file) {
    // Another thread may be inside an Add or a flush of its own: wait for it, but not for ever.
    const auto give_up = std::chrono::steady_clock::now() + kHaltWaitPerFile;
    std::unique_lock lock(file.write_mutex_, std::try_to_lock);
    while (!lock.owns_lock() && std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      lock.try_lock();
    }
    if (lock.owns_lock() && file.write_used_ > 0) file.Flush();
  });
  RuntimeErrorState::Restore(saved);
}

}  // namespace morlan
