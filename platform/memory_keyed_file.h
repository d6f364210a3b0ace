// A data file whose records live in memory, with keys. The data layer's tests run every key,
// conflict and transaction path against it, so besides the DataFile operations it has a few test
// switches (listed at the end of the class) that make chosen operations fail.
//
// Tables and stations: the records live in a MemoryTable. Several MemoryKeyedFile objects may be
// opened on one table; each is a "station" with its own position, current record and open mode,
// so that one station can change or hold records behind another's back. Stations of one table
// must be built with the same record layout. Key definitions live in the table: AddKey on any
// station declares the key for all of them.
//
// Records: each has a record id (1, 2, ... in order of adding, never reused within a table), the
// record bytes, its large objects, its null flags and a version that every Put bumps. Physical
// order is the order of adding; Delete removes a record.
//
// Key order: component by component with FieldRef::Compare (case-insensitively when the key says
// no_case), a descending component inverting its comparison; equal key values are ordered by
// record id, so the order is total and stable.
//
// Reading: SetStart and SetKeyStart put the position before the first and after the last entry
// at once: Next reads the first, Previous the last. After a read the position is at the record
// read. Next past the end (Previous before the start) gives 33 and leaves the position beyond that
// end, so that a Previous (Next) turning round reads the last (first) entry. A record held by
// another station (MemoryTable::Hold) is not read: Next/Previous give 43, leave no current record
// and move the position onto it, so the following read continues past it. Get finds the first
// entry equal to the record buffer's key value and does not move the sequential position.
//
// Writing: Add, Put and Delete need an open with write access (write or read/write), else 5;
// reading needs read access (read or read/write), else 5. Add makes the new record current. Put
// gives 89 when another station changed the record (or deleted it) since this station read or
// watched it; 43 when the record is held by another station. Delete gives 35 when another station
// deleted the record already. While SetSkipBlobs is on, reads leave the large-object fields
// untouched and Put keeps the stored large objects, since the buffer's were not read.
//
// Positions are the record id in decimal; they stay valid for as long as the record exists.
//
// Open: 52 when this object is open already (it stays open as it was), 5 while the deny-access
// switch counts down, 2 when the table does not exist, 46 when the table's keys are marked as
// needing rebuilding. A failed open leaves the object closed. BuildKeys clears the mark. Sharing
// bits of the open mode are accepted and not enforced. Every other operation but Exists, Create,
// Remove, BuildKeys, RecordCount, Size and the key declarations gives 37 on a closed file.
//
// Transactions: SetTransactionParticipation(true) enlists the file with the calling thread's
// Transaction frame. BeginTransaction copies the table's records (versions included) aside,
// CommitTransaction drops the copy and RollbackTransaction puts it back. Run one transaction per
// table at a time: a rollback puts back the whole table, other stations' changes included.
// Destroying a file inside a begun transaction rolls it back and withdraws it; destroy a file on
// the thread that enlisted it.
//
// Threading: the table is guarded by its own mutex, so stations of one table may be used from
// different threads; each station, like any DataFile, from one thread at a time.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/codes.h"
#include "platform/data_file.h"

namespace morlan {

// The records and key definitions shared by the stations of one table. Its public members are for
// tests; the stations reach the rest.
class MemoryTable final {
 public:
  MemoryTable() = default;
  MemoryTable(const MemoryTable&) = delete;
  MemoryTable& operator=(const MemoryTable&) = delete;

  // Holds (releases) record `record_id` on behalf of a station outside the test, so that every
  // station meets it as held (43). Holding an id that does not exist yet is allowed.
  void Hold(std::uint64_t record_id);
  void Release(std::uint64_t record_id);
  // Marks the keys as needing rebuilding: opens give 46 until a station's BuildKeys.
  void set_keys_need_rebuild(bool on);

  bool exists() const;
  std::int64_t record_count() const;

 private:
  friend class MemoryKeyedFile;

  struct Record {
    std::vector<char> bytes;
    std::vector<std::string> blobs;
    std::string null_flags;
    std::uint64_t version = 0;
  };
  using Records = std::map<std::uint64_t, Record>;  // by record id, which is physical order

  mutable std::mutex mutex_;
  bool exists_ = false;
  Records records_;
  std::uint64_t next_id_ = 1;
  std::deque<FileKey> keys_;  // a deque keeps the pointers AddKey hands out valid
  std::set<std::uint64_t> held_;
  bool keys_need_rebuild_ = false;
};

class MemoryKeyedFile : public DataFile {
 public:
  // A station on a new table of its own, which does not exist until Create.
  MemoryKeyedFile(std::string name, RecordLayout layout);
  // Another station on `table`.
  MemoryKeyedFile(std::string name, RecordLayout layout, std::shared_ptr<MemoryTable> table);
  // Rolls back a begun transaction, withdraws from the thread's frame, closes without a close
  // notification and sends kNotifyDestroy (word 9 zero: the sink releases everything).
  ~MemoryKeyedFile() override;

  std::string_view driver_name() const override { return "MEMORY"; }
  const std::shared_ptr<MemoryTable>& table() const { return table_; }
  // Record id of the current record, 0 when there is none.
  std::uint64_t current_record_id() const { return current_id_; }

  bool Exists() override;
  void Create() override;
  void Remove() override;

  void Open(std::uint8_t mode) override;
  // Sends kNotifyClose once closed.
  void Close() override;
  bool IsOpen() const override { return open_; }
  void Send(std::string_view option) override;

  void SetStart() override;
  void SetKeyStart(const FileKey& key) override;
  void SetKeyPosition(const FileKey& key) override;
  void Next() override;
  void Previous() override;
  void Get(const FileKey& key) override;

  void Add() override;
  void Put() override;
  void Delete() override;
  void ForgetCurrent() override;
  void Watch() override;

  std::string Position(const FileKey* key) override;
  void Reget(const FileKey* key, std::string_view position) override;

  // A key with components outside the layout (or none) is refused with 47. Declaring a name the
  // table knows returns the known key when the definitions match, else nullptr with 47.
  const FileKey* AddKey(FileKey key) override;
  int key_count() const override;
  const FileKey* key(int i) const override;
  bool HasDuplicate(const FileKey& key) override;
  void BuildKeys() override;
  void SetSkipBlobs(bool skip) override;

  // A saved state holds the order, position, current record (with the version read) and the
  // record buffer with its large objects and null flags. RestoreState of an unknown handle: 47.
  FileStateHandle SaveState() override;
  void RestoreState(FileStateHandle state) override;
  void FreeState(FileStateHandle state) override;

  std::int64_t bytes_read() const override { return 0; }
  // Records in the table; 2 (and 0) when it does not exist.
  std::int64_t RecordCount() override;
  // Bytes of all records and their large objects.
  std::int64_t Size() override;
  bool IsPerThread() const override { return per_thread_; }

  void SetTransactionParticipation(bool on) override;
  bool transaction_participation() const override { return participation_; }
  // `timeout_seconds` is not used: holds never block here.
  void BeginTransaction(int timeout_seconds) override;
  void CommitTransaction() override;
  void RollbackTransaction() override;

  // --- Test switches and hooks ---

  // The next `times` opens fail with 5.
  void set_deny_access(int times) { deny_access_ = times; }
  // What IsPerThread answers (false by default).
  void set_per_thread(bool on) { per_thread_ = on; }
  // When false, SetTransactionParticipation(true) and the transaction steps give 80.
  void set_transactions_supported(bool on) { transactions_supported_ = on; }
  // While not 0, BeginTransaction fails with `code` and copies nothing aside.
  void set_begin_failure(StatusCode code) { begin_failure_ = code; }
  // Runs on the reading thread at the start of every Next and Previous, before the station is
  // touched; a test blocks in it to hold a reader inside the driver. Set it before any thread
  // reads; an empty function (the default) does nothing.
  void set_before_read(std::function<void()> hook) { before_read_ = std::move(hook); }
  // Sends a notification to the sink as the driver would.
  void SendNotification(std::uint32_t operation, std::span<const std::uint32_t> parameters = {});

 private:
  using Record = MemoryTable::Record;

  // One end of the position: Next reads the first entry after `lower`, Previous the last entry
  // before `upper`. A point compares like an entry with that key value and record id.
  struct Bound {
    enum class Kind : std::uint8_t { kMinusInfinity, kPoint, kPlusInfinity };
    Kind kind = Kind::kMinusInfinity;
    std::vector<char> bytes;
    std::uint64_t id = 0;
  };

  struct SavedState {
    FileKey order;
    Bound lower;
    Bound upper;
    std::uint64_t current_id = 0;
    std::uint64_t read_version = 0;
    std::vector<char> record;
    std::vector<std::string> blobs;
    std::string null_flags;
  };

  struct Snapshot {
    bool exists = false;
    MemoryTable::Records records;
  };

  std::unique_lock<std::mutex> Lock() const { return std::unique_lock(table_->mutex_); }

  // Set 37 (false) when closed; 5 (false) when the open lacks read (write) access.
  bool CheckOpen();
  bool CheckReadable();
  bool CheckWritable();
  // Sets 47 (false) when a component names no field of the layout.
  bool CheckKey(const FileKey& key);

  // Orders the key values of two record images along `key`.
  int CompareKey(const char* a, const char* b, const FileKey& key) const;
  // Orders two entries, or an entry and a bound, along the current order.
  int CompareEntries(const char* a, std::uint64_t a_id, const char* b, std::uint64_t b_id) const;
  int CompareToBound(const char* bytes, std::uint64_t id, const Bound& bound) const;
  // The first entry of `key` whose value equals the record buffer's, skipping `except`.
  MemoryTable::Records::iterator FindEqual(const FileKey& key, std::uint64_t except);
  // True when the buffer would duplicate, on any key without duplicates, a record but `except`.
  bool WouldDuplicate(std::uint64_t except);
  bool HeldByOther(std::uint64_t id) const { return table_->held_.count(id) != 0; }

  // Reads along the current order; `forward` picks Next or Previous.
  void Step(bool forward);
  // Copies `record` into the buffer and makes it current.
  void Load(std::uint64_t id, const Record& record);
  void StoreBuffer(Record& record, bool keep_blobs);
  Bound PointAt(std::uint64_t id, const Record& record) const;
  void ResetPosition();

  std::shared_ptr<MemoryTable> table_;
  bool open_ = false;
  std::uint8_t mode_ = 0;
  bool skip_blobs_ = false;

  FileKey order_;  // no components: physical order (record id alone)
  Bound lower_;
  Bound upper_;
  std::uint64_t current_id_ = 0;
  std::uint64_t read_version_ = 0;

  std::map<FileStateHandle, SavedState> states_;
  FileStateHandle next_state_ = 1;

  bool participation_ = false;
  std::optional<Snapshot> snapshot_;

  int deny_access_ = 0;
  bool per_thread_ = false;
  bool transactions_supported_ = true;
  StatusCode begin_failure_ = StatusOk;
  std::function<void()> before_read_;
};

}  // namespace morlan
