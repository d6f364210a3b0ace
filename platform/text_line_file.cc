#include "platform/text_line_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/runtime_error_state.h"
#include "platform/write_all.h"

namespace morlan {

namespace {

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
    default: {
      char code[16];
      const auto end = std::to_chars(code, code + sizeof code, error).ptr;
      return RuntimeErrorState::SetDriverError({code, static_cast<std::size_t>(end - code)},
                                               std::strerror(error));
    }
  }
}

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
  const int fd = ::open(name().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return SetSystemError(errno);
  if (::close(fd) != 0) return SetSystemError(errno);
  RuntimeErrorState::SetOk();
}

void TextLineFile::Remove() {
  if (IsOpen()) return RuntimeErrorState::Set(StatusAlreadyOpen);
  if (::unlink(name().c_str()) != 0) return SetSystemError(errno);
  RuntimeErrorState::SetOk();
}

void TextLineFile::Open(std::uint8_t mode) {
  if (IsOpen()) return RuntimeErrorState::Set(StatusAlreadyOpen);
  int flags = O_CLOEXEC;
  switch (mode & kAccessMask) {
    case kAccessRead:
      flags |= O_RDONLY;
      break;
    case kAccessWrite:
      flags |= O_WRONLY | O_APPEND;
      break;
    default:
      flags |= O_RDWR | O_APPEND;
      break;
  }
  const int fd = ::open(name().c_str(), flags);
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

  fd_ = fd;
  mode_ = mode;
  // Room for a whole record line with its CR and LF, whatever the record's size.
  buffer_size_ = std::max<std::size_t>(kBufferSize, record_size() + 2);
  if (!read_buffer_) read_buffer_ = std::make_unique<char[]>(buffer_size_);
  if (!write_buffer_) write_buffer_ = std::make_unique<char[]>(kBufferSize);
  write_used_ = 0;
  bytes_read_ = 0;
  SeekRead(0);
  RuntimeErrorState::SetOk();
}

void TextLineFile::Close() {
  if (!IsOpen()) return RuntimeErrorState::Set(StatusNotOpen);
  // Keep the first failure: a lost write matters more than the close that follows it.
  const bool flushed = Flush();
  const RuntimeErrorState::Saved flush_failure = RuntimeErrorState::Save();
  const int closed = ::close(fd_);
  const int close_error = errno;
  fd_ = -1;
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
  line_number_ = 0;
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
  // Appended lines must be visible to reads of the same object.
  if (write_used_ > 0 && !Flush()) return;
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
    if (read_end_ == buffer_size_) return SkipLongLine();
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
  ++line_number_;
  if (!at_end && length > 0 && begin[length - 1] == '\r') --length;

  const std::size_t capacity = record_size();
  if (length > capacity) return ReportLongLine();
  char* const record = this->record();
  std::memcpy(record, begin, length);
  std::memset(record + length, ' ', capacity - length);
  current_offset_ = line_start;
  RuntimeErrorState::SetOk();
}

void TextLineFile::SkipLongLine() {
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
  ++line_number_;
  ReportLongLine();
}

void TextLineFile::ReportLongLine() {
  // The record keeps what it held: a line is never cut to fit.
  char text[96];
  const int n = std::snprintf(text, sizeof text, "Line %lld is longer than %u characters",
                              static_cast<long long>(line_number_), record_size());
  RuntimeErrorState::SetDriverError("90", {text, static_cast<std::size_t>(n)});
}

bool TextLineFile::Flush() {
  if (write_used_ == 0) return true;
  const int error = WriteAll(fd_, {write_buffer_.get(), write_used_});
  write_used_ = 0;
  if (error == 0) return true;
  SetSystemError(error);
  return false;
}

void TextLineFile::Add() {
  if (!IsOpen()) return RuntimeErrorState::Set(StatusNotOpen);
  if ((mode_ & kAccessMask) == kAccessRead) return RuntimeErrorState::Set(StatusAccessDenied);
  const std::string_view line = ClipText({record(), record_size()});
  if (std::memchr(line.data(), '\n', line.size()) != nullptr) {
    return RuntimeErrorState::SetDriverError("90", "A record holding a line break cannot be added");
  }
  if (write_used_ + line.size() + 1 > kBufferSize && !Flush()) return;
  if (line.size() + 1 > kBufferSize) {
    // Larger than the whole buffer: write it straight through.
    int error = WriteAll(fd_, line);
    if (error == 0) error = WriteAll(fd_, "\n");
    if (error != 0) return SetSystemError(error);
    return RuntimeErrorState::SetOk();
  }
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
  if (write_used_ > 0 && !Flush()) return;
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
  const int rc = IsOpen() ? ::fstat(fd_, &st) : ::stat(name().c_str(), &st);
  if (rc != 0) {
    SetSystemError(errno);
    return 0;
  }
  RuntimeErrorState::SetOk();
  // Lines still in the write buffer belong to the file as its user sees it.
  return static_cast<std::int64_t>(st.st_size) + static_cast<std::int64_t>(write_used_);
}

}  // namespace morlan
