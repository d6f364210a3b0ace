// A data file for tests that wraps another data file and makes chosen operations fail.
//
// Every operation is forwarded to the inner file, which shares its name, layout and record
// buffer with the wrapper, so records read or written through either are the same bytes. A test
// arms a fault on one operation; when it fires, the call does not reach the inner file and leaves
// the fault's status in the RuntimeErrorState instead: the standard text, or for 90 the fault's
// driver code and text. Close is the one exception: a failing close still closes the inner file,
// as every driver's Close does, and then reports the fault.
//
// Faults are armed per operation, one at a time (arming replaces the previous fault):
//   FailOnce(op, f)             the next call fails, later calls pass;
//   FailAfter(op, n, f)         the next n calls pass, the one after fails, later calls pass;
//   FailAfter(op, n, f, kPersistent)   as above, but every call from the (n+1)th on fails;
//   FailFromNow(op, f)          every call fails until ClearFault or ClearFaults.
// Calls are counted from the moment the fault is armed.
//
// Every call is counted per operation, whether it failed or not, and every option passed to Send
// is recorded in order, also when that Send was made to fail.
//
// Notifications: the wrapper registers itself as the inner file's sink and relays what the inner
// file reports to the wrapper's own sink (SetNotificationSink). The inner file's previous sink is
// put back when the wrapper goes away.
//
// The inner file is not owned and must outlive the wrapper. Threading: as any DataFile.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/codes.h"
#include "platform/data_file.h"
#include "platform/file_callback_interface.h"

namespace morlan {

// The operations of a DataFile that can fail, one per virtual operation.
enum class FileOperation : std::uint8_t {
  kExists,
  kCreate,
  kRemove,
  kOpen,
  kClose,
  kSend,
  kSetStart,
  kSetKeyStart,
  kSetKeyPosition,
  kNext,
  kPrevious,
  kGet,
  kAdd,
  kPut,
  kDelete,
  kForgetCurrent,
  kWatch,
  kPosition,
  kReget,
  kAddKey,
  kHasDuplicate,
  kBuildKeys,
  kSetSkipBlobs,
  kSaveState,
  kRestoreState,
  kFreeState,
  kRecordCount,
  kSize,
  kSetTransactionParticipation,
  kBeginTransaction,
  kCommitTransaction,
  kRollbackTransaction,
};

inline constexpr std::size_t kFileOperationCount =
    static_cast<std::size_t>(FileOperation::kRollbackTransaction) + 1;

// What an injected failure leaves in the RuntimeErrorState.
struct InjectedFault {
  // A status with its standard text; 90 gets the default driver code and text below.
  // Deliberately implicit, so tests can write FailOnce(FileOperation::kOpen, StatusAccessDenied).
  InjectedFault(StatusCode status) : code(status) {}  // NOLINT(google-explicit-constructor)
  // Status 90 with the driver's own code and text.
  static InjectedFault Driver(std::string driver_code, std::string driver_text) {
    InjectedFault fault(StatusDriverError);
    fault.driver_code = std::move(driver_code);
    fault.driver_text = std::move(driver_text);
    return fault;
  }

  StatusCode code;
  std::string driver_code = "FAULT";
  std::string driver_text = "Injected fault";
};

enum class FaultDuration : std::uint8_t {
  kOnce,        // one call fails, then the fault is gone
  kPersistent,  // every call fails until the fault is cleared
};

class FaultInjectingFile : public DataFile, private FileCallbackInterface {
 public:
  explicit FaultInjectingFile(DataFile& inner);
  ~FaultInjectingFile() override;

  DataFile& inner() { return inner_; }

  // --- Arming faults. A fault with status 0 is no fault: arming one clears the operation's. ---

  void FailOnce(FileOperation op, InjectedFault fault) {
    FailAfter(op, 0, std::move(fault), FaultDuration::kOnce);
  }
  void FailFromNow(FileOperation op, InjectedFault fault) {
    FailAfter(op, 0, std::move(fault), FaultDuration::kPersistent);
  }
  // Lets `passing_calls` calls through, then fails once or from then on.
  void FailAfter(FileOperation op, int passing_calls, InjectedFault fault,
                 FaultDuration duration = FaultDuration::kOnce);
  void ClearFault(FileOperation op);
  void ClearFaults();
  // True while a fault is armed on `op` (a once-fault that fired is no longer armed).
  bool armed(FileOperation op) const;

  // --- Observing calls ---

  // Calls of `op` since construction or the last ResetCounts, failed ones included.
  int calls(FileOperation op) const { return calls_[Index(op)]; }
  // Calls of `op` that an injected fault made fail.
  int failures(FileOperation op) const { return failures_[Index(op)]; }
  // Every option passed to Send, in order.
  const std::vector<std::string>& sent_options() const { return sent_options_; }
  // Zeroes the counts and forgets the sent options; armed faults stay.
  void ResetCounts();

  // --- DataFile, forwarded ---

  std::string_view driver_name() const override { return inner_.driver_name(); }

  bool Exists() override;
  void Create() override;
  void Remove() override;

  void Open(std::uint8_t mode) override;
  void Close() override;
  bool IsOpen() const override { return inner_.IsOpen(); }
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

  const FileKey* AddKey(FileKey key) override;
  int key_count() const override { return inner_.key_count(); }
  const FileKey* key(int i) const override { return inner_.key(i); }
  bool HasDuplicate(const FileKey& key) override;
  void BuildKeys() override;
  void SetSkipBlobs(bool skip) override;

  FileStateHandle SaveState() override;
  void RestoreState(FileStateHandle state) override;
  void FreeState(FileStateHandle state) override;

  std::int64_t bytes_read() const override { return inner_.bytes_read(); }
  std::int64_t RecordCount() override;
  std::int64_t Size() override;
  bool IsPerThread() const override { return inner_.IsPerThread(); }

  void SetTransactionParticipation(bool on) override;
  bool transaction_participation() const override { return inner_.transaction_participation(); }
  void BeginTransaction(int timeout_seconds) override;
  void CommitTransaction() override;
  void RollbackTransaction() override;

 private:
  struct Armed {
    bool active = false;
    int passing_calls = 0;
    FaultDuration duration = FaultDuration::kOnce;
    InjectedFault fault{StatusOk};
  };

  static std::size_t Index(FileOperation op) { return static_cast<std::size_t>(op); }

  // Counts a call of `op`; when its fault fires, sets the fault's status and returns true.
  bool Fails(FileOperation op);
  static void Report(const InjectedFault& fault);

  // FileCallbackInterface: relays the inner file's notifications to this file's sink.
  bool DriverNotify(std::uint32_t operation, std::span<const std::uint32_t> parameters) override;
  bool DriverNotifyDone() override;

  DataFile& inner_;
  FileCallbackInterface* inner_previous_sink_;
  std::array<Armed, kFileOperationCount> armed_{};
  std::array<int, kFileOperationCount> calls_{};
  std::array<int, kFileOperationCount> failures_{};
  std::vector<std::string> sent_options_;
};

}  // namespace morlan
