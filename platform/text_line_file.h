// A data file over a real POSIX file, one record per line.
//
// Reading: LF ends a line, and a CR right before the LF belongs to the terminator. A last line
// without a terminator is still a line; an empty file has no record. Next copies the line into
// the record buffer from its first byte and pads the rest with blanks. A line longer than the
// record is never cut: that read fails with 90 and a driver text naming the line number and the
// limit ("Line 12 is longer than 255 characters"), leaves the record buffer as it was, and the
// following Next reads the line after it.
//
// Writing: Add appends the record with its trailing blanks removed, then LF. A record holding a
// line break is refused (90), since it would read back as two records.
//
// Counts: bytes_read() is what the last read consumed, terminator included, so the counts of a
// whole file add up to its size; a failed over-long read counts its bytes too. RecordCount() is
// 0 (not known without reading the file). Size() is the size in bytes, 64-bit.
//
// Reads and writes go through buffers of kBufferSize bytes allocated by Open: the per-line path
// makes no system call and no allocation. A failed write fails the Add that meets it or the Close
// that flushes it, with 90 and the system's code and text.
//
// Open honours the access bits of the mode (read, write, read/write). Sharing: deny-all takes an
// exclusive lock, every other mode a shared one, so a deny-all open and any other open of the
// same file refuse each other with 5. Adds always append at the end of the file.
//
// Positions are byte offsets of a line's start; Reget reads the line there and continues after
// it. Keys, Previous, Put and Delete are not offered (80). "Recover=" and "QUICKSCAN=" are
// accepted and change nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/data_file.h"

namespace morlan {

class TextLineFile : public DataFile {
 public:
  static constexpr std::size_t kBufferSize = 256 * 1024;

  TextLineFile(std::string name, RecordLayout layout);
  ~TextLineFile() override;

  std::string_view driver_name() const override { return "TEXTLINE"; }

  bool Exists() override;
  void Create() override;
  void Remove() override;

  void Open(std::uint8_t mode) override;
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }
  void Send(std::string_view option) override;

  void SetStart() override;
  void Next() override;
  void Add() override;

  std::string Position(const FileKey* key) override;
  void Reget(const FileKey* key, std::string_view position) override;

  std::int64_t bytes_read() const override { return bytes_read_; }
  std::int64_t RecordCount() override;
  std::int64_t Size() override;

 private:
  // Reads the next line into the record buffer from the read buffer, refilling it as needed.
  void ReadLine();
  // Passes over a line longer than the whole read buffer and fails the read.
  void SkipLongLine();
  // Fails the read of an over-long line with 90 and a text naming the line and the limit.
  void ReportLongLine();
  // Appends what the file has next to the read buffer. False on a read error (state set); at
  // the end of the file it returns true and adds nothing.
  bool ReadMore();
  // Writes out the write buffer; false on failure (error state set, buffer dropped).
  bool Flush();
  // Seeks reading to `offset` and forgets what was buffered.
  void SeekRead(std::int64_t offset);

  int fd_ = -1;
  std::uint8_t mode_ = 0;

  std::size_t buffer_size_ = kBufferSize;
  std::unique_ptr<char[]> read_buffer_;
  std::size_t read_pos_ = 0;          // next unread byte in the read buffer
  std::size_t read_end_ = 0;          // end of valid bytes in the read buffer
  std::int64_t read_offset_ = 0;      // file offset of read_buffer_[read_end_]
  std::int64_t line_number_ = 0;      // lines read since the start position
  std::int64_t current_offset_ = -1;  // file offset of the line last read, -1 for none
  std::int64_t bytes_read_ = 0;

  std::unique_ptr<char[]> write_buffer_;
  std::size_t write_used_ = 0;
};

}  // namespace morlan
