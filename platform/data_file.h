// A data file as the framework sees it: a name, a record buffer laid out in named fixed-width
// fields (plus large-object fields and per-field null flags), an identity, and the operations of
// its driver. Drivers derive from DataFile: TextLineFile (real files, one record per line),
// MemoryKeyedFile (records with keys, in memory, for tests) and FaultInjectingFile (wraps any
// file and makes chosen operations fail).
//
// Error state: every operation below that is not a plain accessor leaves the calling thread's
// RuntimeErrorState set: 0 on success, otherwise a status code (2 not found, 5 access denied,
// 33 no further record, 35 record not found, 40 duplicate key, 43 held, 46 keys need rebuilding,
// 52 already open, 80 not supported, 89 changed by another station, 90 driver error with the
// driver's own code and text). Operations that a driver does not offer fail with 80.
//
// Threading: a DataFile is not internally synchronised. The framework calls one file from one
// thread at a time; different files may be used from different threads at once.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/field_ref.h"
#include "common/record_layout.h"
#include "platform/file_callback_interface.h"
#include "platform/file_key.h"

namespace morlan {

// Open-mode byte: access in the low bits, sharing in bits 4-6.
inline constexpr std::uint8_t kAccessRead = 0x00;
inline constexpr std::uint8_t kAccessWrite = 0x01;
inline constexpr std::uint8_t kAccessReadWrite = 0x02;
inline constexpr std::uint8_t kAccessMask = 0x03;
inline constexpr std::uint8_t kShareDenyAll = 0x10;
inline constexpr std::uint8_t kShareDenyWrite = 0x20;
inline constexpr std::uint8_t kShareDenyRead = 0x30;
inline constexpr std::uint8_t kShareDenyNone = 0x40;
inline constexpr std::uint8_t kShareMask = 0x70;

// Handle of a driver's saved file state; 0 is never a valid handle.
using FileStateHandle = std::uint64_t;

class DataFile {
 public:
  DataFile(std::string name, RecordLayout layout);
  virtual ~DataFile();

  DataFile(const DataFile&) = delete;
  DataFile& operator=(const DataFile&) = delete;

  // --- Identity and record buffer (plain accessors; the error state is not touched) ---

  const std::string& name() const { return name_; }
  void set_name(std::string name) { name_ = std::move(name); }
  // Process-unique, never reused, 64-bit: fits wherever a file must be told apart from another.
  std::uint64_t identity() const { return identity_; }
  // Short name of the driver ("TEXTLINE", "MEMORY", ...).
  virtual std::string_view driver_name() const = 0;

  const RecordLayout& layout() const { return *layout_; }
  char* record() { return storage_->record.data(); }
  const char* record() const { return storage_->record.data(); }
  std::uint32_t record_size() const { return layout_->size(); }
  FieldRef field(int i) { return FieldRef(layout_->field(i), record()); }
  // Large-object field i (0-based), held beside the record buffer.
  std::string& blob(int i) { return storage_->blobs[static_cast<std::size_t>(i)]; }
  int blob_count() const { return layout_->blob_count(); }
  // One byte per field, 1 when the field is null.
  std::string& null_flags() { return storage_->null_flags; }
  // Blanks every text field, zeroes every number, empties large objects, clears null flags.
  void ClearRecord();

  // --- Notifications ---

  // Registers the callback told of this file's operations (the file's notification sink);
  // nullptr unregisters. Not owned.
  void SetNotificationSink(FileCallbackInterface* sink) { sink_ = sink; }
  FileCallbackInterface* notification_sink() const { return sink_; }

  // --- Existence ---

  // True when a file of this name exists. Sets 0, or the status of a failed look-up.
  virtual bool Exists() = 0;
  // Makes an empty file of this name, replacing an existing one. 52 while this object is open.
  virtual void Create() = 0;
  // Deletes the file of this name; 2 when there is none, 52 while this object is open.
  virtual void Remove() = 0;

  // --- Open and close ---

  // Opens with an open-mode byte (access and sharing). 2 not found, 5 access denied (also a
  // read-only medium, or sharing refused), 52 already open (the file stays open as it was),
  // 46 keys need rebuilding. Reading starts at the beginning in physical order.
  virtual void Open(std::uint8_t mode) = 0;
  // Closes; writes out anything still buffered. A failed write is reported here (90) and the
  // file is closed all the same. 37 when not open.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;

  // Sends a driver option ("Recover=10", "QUICKSCAN=on"). Unknown options are accepted.
  virtual void Send(std::string_view option) = 0;

  // --- Reading ---

  // Sequential reading in physical order from the start.
  virtual void SetStart() = 0;
  // Sequential reading along `key`, from its first entry.
  virtual void SetKeyStart(const FileKey& key);
  // Sequential reading along `key` from the record buffer's key value: Next reads the first
  // entry at or after it, Previous the last entry at or before it.
  virtual void SetKeyPosition(const FileKey& key);
  // Reads the next (previous) record along the current order into the record buffer.
  // 33 at the end; 43 when the record is held by another station (reading moves past it).
  virtual void Next() = 0;
  virtual void Previous();
  // Reads the record whose `key` value equals the record buffer's. 35 when there is none.
  virtual void Get(const FileKey& key);

  // --- Writing ---

  // Appends the record buffer as a new record. 40 on a duplicate key.
  virtual void Add() = 0;
  // Rewrites the current record with the record buffer. 89 when another station changed it
  // after it was read; 40 on a duplicate key; 33 when there is no current record.
  virtual void Put();
  // Deletes the current record. 33 when there is no current record.
  virtual void Delete();
  // Forgets the current record, so a duplicate test treats the buffer as a new record.
  virtual void ForgetCurrent();
  // Takes the current version of the current record as the one read, so that a following Put
  // is not refused with 89 for an earlier change.
  virtual void Watch();

  // --- Positions ---

  // Position text of the current record along `key`, or physically when `key` is null; empty
  // (with a non-zero status) when there is no current record.
  virtual std::string Position(const FileKey* key);
  // Re-reads the record at `position` (a text from Position) and makes it current; following
  // Next/Previous continue from it along `key`, or physically. 35 when it is gone.
  virtual void Reget(const FileKey* key, std::string_view position);

  // --- Keys ---

  // Declares a key and returns it (owned by the file), or nullptr with 80.
  virtual const FileKey* AddKey(FileKey key);
  virtual int key_count() const { return 0; }
  virtual const FileKey* key(int i) const;
  // True when adding the record buffer (or writing it over the current record) would duplicate
  // an existing entry of `key`. A key that allows duplicates never has one. Status 0.
  virtual bool HasDuplicate(const FileKey& key);
  // Rebuilds the keys of a file opened with 46.
  virtual void BuildKeys();
  // Tells the driver whether reads skip large-object fields (a search does not need them).
  virtual void SetSkipBlobs(bool skip);

  // --- Saved states ---

  // Saves the file's position and current record; 0 when it cannot.
  virtual FileStateHandle SaveState();
  // Puts a saved state back (position and record buffer). The handle stays valid.
  virtual void RestoreState(FileStateHandle state);
  virtual void FreeState(FileStateHandle state);

  // --- Counts and properties ---

  // Bytes consumed by the last read (terminator included), 0 when the driver cannot tell.
  virtual std::int64_t bytes_read() const = 0;
  // Number of records, 0 when the driver cannot tell cheaply.
  virtual std::int64_t RecordCount() = 0;
  // Size of the file in bytes.
  virtual std::int64_t Size() = 0;
  // True when each thread has its own instance of the file's state.
  virtual bool IsPerThread() const { return false; }

  // --- Transactions ---

  // Enlists (or withdraws) the file in the calling thread's next transaction. 80 when the
  // driver cannot take part.
  virtual void SetTransactionParticipation(bool on);
  virtual bool transaction_participation() const { return false; }
  // Transaction steps for this one file; the Transaction class drives them over every file the
  // thread enlisted. `timeout_seconds` bounds the wait for records held by other stations.
  virtual void BeginTransaction(int timeout_seconds);
  virtual void CommitTransaction();
  virtual void RollbackTransaction();

 protected:
  // Shares `inner`'s name, layout and record storage, for wrappers.
  explicit DataFile(DataFile& inner);

  // Calls the sink, if any, with a parameter block whose words are all zero but `parameters`.
  void Notify(std::uint32_t operation, std::span<const std::uint32_t> parameters = {});

  // Sets 80 and returns; the default of every operation a driver does not offer.
  static void NotSupported();

 private:
  struct Storage {
    std::vector<char> record;
    std::vector<std::string> blobs;
    std::string null_flags;
  };

  std::string name_;
  std::shared_ptr<const RecordLayout> layout_;
  std::shared_ptr<Storage> storage_;
  std::uint64_t identity_;
  FileCallbackInterface* sink_ = nullptr;
};

}  // namespace morlan
