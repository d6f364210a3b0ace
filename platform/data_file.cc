#include "platform/data_file.h"

#include <algorithm>
#include <array>
#include <atomic>

#include "platform/runtime_error_state.h"

namespace morlan {

namespace {

std::uint64_t NextIdentity() {
  static std::atomic<std::uint64_t> counter{0};
  return ++counter;
}

}  // namespace

DataFile::DataFile(std::string name, RecordLayout layout)
    : name_(std::move(name)),
      layout_(std::make_shared<const RecordLayout>(std::move(layout))),
      storage_(std::make_shared<Storage>()),
      identity_(NextIdentity()) {
  storage_->record.resize(layout_->size());
  storage_->blobs.resize(static_cast<std::size_t>(layout_->blob_count()));
  storage_->null_flags.resize(static_cast<std::size_t>(layout_->field_count()));
  ClearRecord();
}

DataFile::DataFile(DataFile& inner)
    : name_(inner.name_),
      layout_(inner.layout_),
      storage_(inner.storage_),
      identity_(NextIdentity()) {}

DataFile::~DataFile() = default;

void DataFile::ClearRecord() {
  for (int i = 0; i < layout_->field_count(); ++i) field(i).Clear();
  for (std::string& b : storage_->blobs) b.clear();
  std::fill(storage_->null_flags.begin(), storage_->null_flags.end(), '\0');
}

void DataFile::Notify(std::uint32_t operation, std::span<const std::uint32_t> parameters) {
  if (sink_ == nullptr) return;
  std::array<std::uint32_t, kNotificationWords> block{};
  std::copy_n(parameters.begin(), std::min(parameters.size(), block.size()), block.begin());
  sink_->DriverNotify(operation, block);
  sink_->DriverNotifyDone();
}

void DataFile::NotSupported() { RuntimeErrorState::Set(StatusNotSupported); }

void DataFile::SetKeyStart(const FileKey&) { NotSupported(); }
void DataFile::SetKeyPosition(const FileKey&) { NotSupported(); }
void DataFile::Previous() { NotSupported(); }
void DataFile::Get(const FileKey&) { NotSupported(); }
void DataFile::Put() { NotSupported(); }
void DataFile::Delete() { NotSupported(); }
void DataFile::ForgetCurrent() { RuntimeErrorState::SetOk(); }
void DataFile::Watch() { RuntimeErrorState::SetOk(); }

std::string DataFile::Position(const FileKey*) {
  NotSupported();
  return {};
}

void DataFile::Reget(const FileKey*, std::string_view) { NotSupported(); }

const FileKey* DataFile::AddKey(FileKey) {
  NotSupported();
  return nullptr;
}

const FileKey* DataFile::key(int) const { return nullptr; }

bool DataFile::HasDuplicate(const FileKey&) {
  RuntimeErrorState::SetOk();
  return false;
}

void DataFile::BuildKeys() { RuntimeErrorState::SetOk(); }
void DataFile::SetSkipBlobs(bool) { RuntimeErrorState::SetOk(); }

FileStateHandle DataFile::SaveState() {
  NotSupported();
  return 0;
}

void DataFile::RestoreState(FileStateHandle) { NotSupported(); }
void DataFile::FreeState(FileStateHandle) { RuntimeErrorState::SetOk(); }

void DataFile::SetTransactionParticipation(bool) { NotSupported(); }
void DataFile::BeginTransaction(int) { NotSupported(); }
void DataFile::CommitTransaction() { NotSupported(); }
void DataFile::RollbackTransaction() { NotSupported(); }

}  // namespace morlan
