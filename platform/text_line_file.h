// A data file over a real POSIX file, one record per line.
//
// Reading: LF ends a line, and a CR right before the LF belongs to the terminator; so does a CR
// that ends the file (a file cut between the CR and the LF of its last line). A last line
// without a terminator is still a line; an empty file has no record. Next copies the line into
// the record buffer from its first byte and pads the rest with blanks. A line longer than the
// record is never cut: that read fails with 90 and a driver text naming the line and the limit,
// leaves the record buffer as it was, and the following Next reads the line after it. The line
// is named by its number counted from the start of the file ("Line 12 is longer than 255
// characters"); after a Reget to a position other than 0 the numbers are not known, so it is
// named by the byte offset where it starts ("The line at byte 4096 is longer than 255
// characters").
//
// Writing: Add appends the record with its trailing blanks removed, then LF. A record that would
// not read back as itself is refused with 90: one holding an LF (it would read as two records)
// or ending in CR after the clipping (the CR would be taken for part of the terminator). When
// the file's last line has no LF, the first Add of an open writes one before its line, so the
// lines stay apart.
//
// Write failures: a failed or short write fails the operation that met it (an Add, or the Next,
// Reget or Close that flushed the buffer) with 90 and the system's code and text. The failure
// sticks: every later Add and the Close of that open fail the same way, since lines were lost;
// the next Open starts clean. The lines still buffered are dropped, and a line that reached the
// file only in part is cut away again (ftruncate), so the file holds exactly the lines added up
// to some line, each whole. The cut is skipped when another writer appended after the torn line
// (their lines are not ours to cut) or when the file cannot be truncated.
//
// Counts: bytes_read() is what the last read consumed, terminator included, so the counts of a
// whole file add up to its size; a failed over-long read counts its bytes too. RecordCount() is
// 0 (not known without reading the file). Size() is the size in bytes, 64-bit, buffered lines
// included.
//
// Reads and writes go through buffers of kBufferSize bytes allocated by Open: the per-line path
// makes no system call and no allocation (only the first Add of an open reads the file's last
// byte). A line longer than the write buffer is written straight through.
//
// Open honours the access bits of the mode (read, write, read/write). Sharing: deny-all takes an
// exclusive lock, every other mode a shared one, so a deny-all open and any other open of the
// same file refuse each other with 5. Adds always append at the end of the file. Create and
// Remove refuse (5) a file that any object of this process holds open, known by device and
// inode, so another name of the same file counts too; the object's own open still gives 52.
//
// Positions are byte offsets of a line's start; Reget reads the line there and continues after
// it. Keys, Previous, Put and Delete are not offered (80). "Recover=" and "QUICKSCAN=" are
// accepted and change nothing.
//
// Threading: one thread at a time uses an object, as for every DataFile. Besides, FlushAllOpen
// may run on any thread at any time (a halt): it writes out the buffers of every open file of
// the process. A per-file mutex, taken by the operations that touch the write buffer (Add, and
// Next, Reget, Size and Close of writable files), makes that safe. Nothing runs under that mutex
// that could call back into the caller (notifications are sent after it is released), so a
// thread that halts never holds one itself; and the halt only tries each mutex, for a bounded
// time, so a file stuck in a write cannot hold it up for ever.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/data_file.h"

namespace morlan {

class TextLineFile final : public DataFile {
 public:
  static constexpr std::size_t kBufferSize = 256 * 1024;

  // Writes out the buffered lines of every text-line file open in the process, on any thread.
  // A file whose mutex stays taken for longer than a quarter of a second (a write that hangs) is
  // passed over. Failures become the files' sticky failures; the calling thread's error state is
  // left as it was. For Runtime::Halt, before the process ends.
  static void FlushAllOpen();

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
  void SkipLongLine(std::int64_t line_start);
  // Fails the read of an over-long line with 90 and a text naming the line and the limit.
  void ReportLongLine(std::int64_t line_start);
  // Appends what the file has next to the read buffer. False on a read error (state set); at
  // the end of the file it returns true and adds nothing.
  bool ReadMore();
  // Seeks reading to `offset` and forgets what was buffered.
  void SeekRead(std::int64_t offset);

  // The rest need write_mutex_ held.
  // Writes out the write buffer. False on a failure, now or earlier in this open (state set).
  bool Flush();
  // Writes a line larger than the write buffer, which is empty, and its LF.
  void WriteThrough(std::string_view line);
  // Makes `error` this open's sticky failure after a write: drops the buffer, cuts the `torn`
  // bytes of a partly written line from the end of the file, sets the error state.
  void FailWrite(int error, std::size_t torn);
  // Before the first Add: buffers an LF when the file's last line has none. False on failure.
  bool EndLastLine();

  int fd_ = -1;
  std::uint8_t mode_ = 0;

  std::size_t buffer_size_ = kBufferSize;
  std::unique_ptr<char[]> read_buffer_;
  std::size_t read_pos_ = 0;          // next unread byte in the read buffer
  std::size_t read_end_ = 0;          // end of valid bytes in the read buffer
  std::int64_t read_offset_ = 0;      // file offset of read_buffer_[read_end_]
  std::int64_t line_number_ = 0;      // of the line last read; -1 while not known
  std::int64_t current_offset_ = -1;  // file offset of the line last read, -1 for none
  std::int64_t bytes_read_ = 0;

  // Guards the write state below against FlushAllOpen on another thread.
  std::mutex write_mutex_;
  std::unique_ptr<char[]> write_buffer_;
  std::size_t write_used_ = 0;
  int write_error_ = 0;           // errno of this open's failed write, 0 for none
  bool last_line_ended_ = false;  // the file's last line is known to end in LF
};

}  // namespace morlan
