#include "platform/fault_injecting_file.h"

#include <algorithm>
#include <utility>

#include "platform/runtime_error_state.h"

namespace morlan {

FaultInjectingFile::FaultInjectingFile(DataFile& inner)
    : DataFile(inner), inner_(inner), inner_previous_sink_(inner.notification_sink()) {
  inner_.SetNotificationSink(this);
}

FaultInjectingFile::~FaultInjectingFile() {
  // The inner file outlives the wrapper; it must not report to a sink that is gone.
  if (inner_.notification_sink() == this) inner_.SetNotificationSink(inner_previous_sink_);
}

void FaultInjectingFile::FailAfter(FileOperation op, int passing_calls, InjectedFault fault,
                                   FaultDuration duration) {
  if (fault.code == StatusOk) return ClearFault(op);
  Armed& armed = armed_[Index(op)];
  armed.active = true;
  armed.passing_calls = std::max(passing_calls, 0);
  armed.duration = duration;
  armed.fault = std::move(fault);
}

void FaultInjectingFile::ClearFault(FileOperation op) { armed_[Index(op)] = Armed{}; }

void FaultInjectingFile::ClearFaults() { armed_.fill(Armed{}); }

bool FaultInjectingFile::armed(FileOperation op) const { return armed_[Index(op)].active; }

void FaultInjectingFile::ResetCounts() {
  calls_.fill(0);
  failures_.fill(0);
  sent_options_.clear();
}

bool FaultInjectingFile::Fails(FileOperation op) {
  const std::size_t i = Index(op);
  ++calls_[i];
  Armed& armed = armed_[i];
  if (!armed.active) return false;
  if (armed.passing_calls > 0) {
    --armed.passing_calls;
    return false;
  }
  ++failures_[i];
  Report(armed.fault);
  if (armed.duration == FaultDuration::kOnce) armed = Armed{};
  return true;
}

void FaultInjectingFile::Report(const InjectedFault& fault) {
  if (fault.code == StatusDriverError) {
    return RuntimeErrorState::SetDriverError(fault.driver_code, fault.driver_text);
  }
  RuntimeErrorState::Set(fault.code);
}

bool FaultInjectingFile::DriverNotify(std::uint32_t operation,
                                      std::span<const std::uint32_t> parameters) {
  FileCallbackInterface* sink = notification_sink();
  if (sink == nullptr) return false;
  return sink->DriverNotify(operation, parameters);
}

bool FaultInjectingFile::DriverNotifyDone() {
  FileCallbackInterface* sink = notification_sink();
  if (sink == nullptr) return true;
  return sink->DriverNotifyDone();
}

bool FaultInjectingFile::Exists() {
  if (Fails(FileOperation::kExists)) return false;
  return inner_.Exists();
}

void FaultInjectingFile::Create() {
  if (Fails(FileOperation::kCreate)) return;
  inner_.Create();
}

void FaultInjectingFile::Remove() {
  if (Fails(FileOperation::kRemove)) return;
  inner_.Remove();
}

void FaultInjectingFile::Open(std::uint8_t mode) {
  if (Fails(FileOperation::kOpen)) return;
  inner_.Open(mode);
}

void FaultInjectingFile::Close() {
  // Checked before forwarding so the call is counted and a once-fault is used up, but reported
  // after it: a failed close leaves the file closed, and a test of that failure path must not
  // leave the inner file open behind the caller's back.
  const bool fails = Fails(FileOperation::kClose);
  if (!fails) return inner_.Close();
  const RuntimeErrorState::Saved injected = RuntimeErrorState::Save();
  if (inner_.IsOpen()) inner_.Close();
  RuntimeErrorState::Restore(injected);
}

void FaultInjectingFile::Send(std::string_view option) {
  sent_options_.emplace_back(option);
  if (Fails(FileOperation::kSend)) return;
  inner_.Send(option);
}

void FaultInjectingFile::SetStart() {
  if (Fails(FileOperation::kSetStart)) return;
  inner_.SetStart();
}

void FaultInjectingFile::SetKeyStart(const FileKey& key) {
  if (Fails(FileOperation::kSetKeyStart)) return;
  inner_.SetKeyStart(key);
}

void FaultInjectingFile::SetKeyPosition(const FileKey& key) {
  if (Fails(FileOperation::kSetKeyPosition)) return;
  inner_.SetKeyPosition(key);
}

void FaultInjectingFile::Next() {
  if (Fails(FileOperation::kNext)) return;
  inner_.Next();
}

void FaultInjectingFile::Previous() {
  if (Fails(FileOperation::kPrevious)) return;
  inner_.Previous();
}

void FaultInjectingFile::Get(const FileKey& key) {
  if (Fails(FileOperation::kGet)) return;
  inner_.Get(key);
}

void FaultInjectingFile::Add() {
  if (Fails(FileOperation::kAdd)) return;
  inner_.Add();
}

void FaultInjectingFile::Put() {
  if (Fails(FileOperation::kPut)) return;
  inner_.Put();
}

void FaultInjectingFile::Delete() {
  if (Fails(FileOperation::kDelete)) return;
  inner_.Delete();
}

void FaultInjectingFile::ForgetCurrent() {
  if (Fails(FileOperation::kForgetCurrent)) return;
  inner_.ForgetCurrent();
}

void FaultInjectingFile::Watch() {
  if (Fails(FileOperation::kWatch)) return;
  inner_.Watch();
}

std::string FaultInjectingFile::Position(const FileKey* key) {
  if (Fails(FileOperation::kPosition)) return {};
  return inner_.Position(key);
}

void FaultInjectingFile::Reget(const FileKey* key, std::string_view position) {
  if (Fails(FileOperation::kReget)) return;
  inner_.Reget(key, position);
}

const FileKey* FaultInjectingFile::AddKey(FileKey key) {
  if (Fails(FileOperation::kAddKey)) return nullptr;
  return inner_.AddKey(std::move(key));
}

bool FaultInjectingFile::HasDuplicate(const FileKey& key) {
  if (Fails(FileOperation::kHasDuplicate)) return false;
  return inner_.HasDuplicate(key);
}

void FaultInjectingFile::BuildKeys() {
  if (Fails(FileOperation::kBuildKeys)) return;
  inner_.BuildKeys();
}

void FaultInjectingFile::SetSkipBlobs(bool skip) {
  if (Fails(FileOperation::kSetSkipBlobs)) return;
  inner_.SetSkipBlobs(skip);
}

FileStateHandle FaultInjectingFile::SaveState() {
  if (Fails(FileOperation::kSaveState)) return 0;
  return inner_.SaveState();
}

void FaultInjectingFile::RestoreState(FileStateHandle state) {
  if (Fails(FileOperation::kRestoreState)) return;
  inner_.RestoreState(state);
}

void FaultInjectingFile::FreeState(FileStateHandle state) {
  if (Fails(FileOperation::kFreeState)) return;
  inner_.FreeState(state);
}

std::int64_t FaultInjectingFile::RecordCount() {
  if (Fails(FileOperation::kRecordCount)) return 0;
  return inner_.RecordCount();
}

std::int64_t FaultInjectingFile::Size() {
  if (Fails(FileOperation::kSize)) return 0;
  return inner_.Size();
}

void FaultInjectingFile::SetTransactionParticipation(bool on) {
  if (Fails(FileOperation::kSetTransactionParticipation)) return;
  inner_.SetTransactionParticipation(on);
}

void FaultInjectingFile::BeginTransaction(int timeout_seconds) {
  if (Fails(FileOperation::kBeginTransaction)) return;
  inner_.BeginTransaction(timeout_seconds);
}

void FaultInjectingFile::CommitTransaction() {
  if (Fails(FileOperation::kCommitTransaction)) return;
  inner_.CommitTransaction();
}

void FaultInjectingFile::RollbackTransaction() {
  if (Fails(FileOperation::kRollbackTransaction)) return;
  inner_.RollbackTransaction();
}

}  // namespace morlan
