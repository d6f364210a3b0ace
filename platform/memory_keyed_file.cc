#include "platform/memory_keyed_file.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "platform/runtime_error_state.h"
#include "platform/transaction.h"

namespace morlan {

namespace {

bool SameDefinition(const FileKey& a, const FileKey& b) {
  if (a.duplicates_allowed != b.duplicates_allowed || a.no_case != b.no_case) return false;
  return std::equal(a.components.begin(), a.components.end(), b.components.begin(),
                    b.components.end(), [](const KeyComponent& x, const KeyComponent& y) {
                      return x.field == y.field && x.ascending == y.ascending;
                    });
}

}  // namespace

// --- MemoryTable ---

void MemoryTable::Hold(std::uint64_t record_id) {
  std::lock_guard lock(mutex_);
  held_.insert(record_id);
}

void MemoryTable::Release(std::uint64_t record_id) {
  std::lock_guard lock(mutex_);
  held_.erase(record_id);
}

void MemoryTable::set_keys_need_rebuild(bool on) {
  std::lock_guard lock(mutex_);
  keys_need_rebuild_ = on;
}

bool MemoryTable::exists() const {
  std::lock_guard lock(mutex_);
  return exists_;
}

std::int64_t MemoryTable::record_count() const {
  std::lock_guard lock(mutex_);
  return static_cast<std::int64_t>(records_.size());
}

// --- MemoryKeyedFile ---

MemoryKeyedFile::MemoryKeyedFile(std::string name, RecordLayout layout)
    : MemoryKeyedFile(std::move(name), std::move(layout), nullptr) {}

MemoryKeyedFile::MemoryKeyedFile(std::string name, RecordLayout layout,
                                 std::shared_ptr<MemoryTable> table)
    : DataFile(std::move(name), std::move(layout)),
      table_(table != nullptr ? std::move(table) : std::make_shared<MemoryTable>()) {
  ResetPosition();
}

MemoryKeyedFile::~MemoryKeyedFile() {
  // A transaction frame must never keep a pointer to a dead file, and changes of a transaction
  // nobody committed must not survive it.
  if (participation_) Transaction::Withdraw(this);
  if (snapshot_) {
    auto lock = Lock();
    table_->exists_ = snapshot_->exists;
    table_->records_ = std::move(snapshot_->records);
  }
  open_ = false;
  Notify(kNotifyDestroy);
}

bool MemoryKeyedFile::Exists() {
  auto lock = Lock();
  RuntimeErrorState::SetOk();
  return table_->exists_;
}

void MemoryKeyedFile::Create() {
  if (open_) return RuntimeErrorState::Set(StatusAlreadyOpen);
  auto lock = Lock();
  table_->exists_ = true;
  table_->records_.clear();
  table_->keys_need_rebuild_ = false;
  RuntimeErrorState::SetOk();
}

void MemoryKeyedFile::Remove() {
  if (open_) return RuntimeErrorState::Set(StatusAlreadyOpen);
  auto lock = Lock();
  if (!table_->exists_) return RuntimeErrorState::Set(StatusNotFound);
  table_->exists_ = false;
  table_->records_.clear();
  RuntimeErrorState::SetOk();
}

void MemoryKeyedFile::Open(std::uint8_t mode) {
  if (open_) return RuntimeErrorState::Set(StatusAlreadyOpen);
  if (deny_access_ > 0) {
    --deny_access_;
    return RuntimeErrorState::Set(StatusAccessDenied);
  }
  auto lock = Lock();
  if (!table_->exists_) return RuntimeErrorState::Set(StatusNotFound);
  if (table_->keys_need_rebuild_) return RuntimeErrorState::Set(StatusKeysNeedRebuild);
  open_ = true;
  mode_ = mode;
  current_id_ = 0;
  ResetPosition();
  RuntimeErrorState::SetOk();
}

void MemoryKeyedFile::Close() {
  if (!open_) return RuntimeErrorState::Set(StatusNotOpen);
  open_ = false;
  current_id_ = 0;
  Notify(kNotifyClose);
  // Set after the sink ran: whatever it did must not stand as the result of the close.
  RuntimeErrorState::SetOk();
}

void MemoryKeyedFile::Send(std::string_view) { RuntimeErrorState::SetOk(); }

bool MemoryKeyedFile::CheckOpen() {
  if (open_) return true;
  RuntimeErrorState::Set(StatusNotOpen);
  return false;
}

bool MemoryKeyedFile::CheckReadable() {
  if (!CheckOpen()) return false;
  if ((mode_ & kAccessMask) != kAccessWrite) return true;
  RuntimeErrorState::Set(StatusAccessDenied);
  return false;
}

bool MemoryKeyedFile::CheckWritable() {
  if (!CheckOpen()) return false;
  const std::uint8_t access = mode_ & kAccessMask;
  if (access == kAccessWrite || access == kAccessReadWrite) return true;
  RuntimeErrorState::Set(StatusAccessDenied);
  return false;
}

bool MemoryKeyedFile::CheckKey(const FileKey& key) {
  const bool fields_valid = std::all_of(
      key.components.begin(), key.components.end(),
      [this](const KeyComponent& c) { return c.field >= 0 && c.field < layout().field_count(); });
  if (fields_valid && !key.components.empty()) return true;
  RuntimeErrorState::Set(StatusInvalidRequest);
  return false;
}

void MemoryKeyedFile::ResetPosition() {
  order_ = FileKey{};
  lower_ = Bound{Bound::Kind::kMinusInfinity, {}, 0};
  upper_ = Bound{Bound::Kind::kPlusInfinity, {}, 0};
}

int MemoryKeyedFile::CompareKey(const char* a, const char* b, const FileKey& key) const {
  for (const KeyComponent& c : key.components) {
    const FieldDesc& desc = layout().field(c.field);
    // FieldRef wants a writable address; Compare only reads through it.
    const FieldRef fa(desc, const_cast<char*>(a));
    const FieldRef fb(desc, const_cast<char*>(b));
    const int r = fa.Compare(fb, key.no_case);
    if (r != 0) return c.ascending ? r : -r;
  }
  return 0;
}

int MemoryKeyedFile::CompareEntries(const char* a, std::uint64_t a_id, const char* b,
                                    std::uint64_t b_id) const {
  const int r = CompareKey(a, b, order_);
  if (r != 0) return r;
  if (a_id == b_id) return 0;
  return a_id < b_id ? -1 : 1;
}

int MemoryKeyedFile::CompareToBound(const char* bytes, std::uint64_t id, const Bound& bound) const {
  if (bound.kind == Bound::Kind::kMinusInfinity) return 1;
  if (bound.kind == Bound::Kind::kPlusInfinity) return -1;
  return CompareEntries(bytes, id, bound.bytes.data(), bound.id);
}

MemoryKeyedFile::Bound MemoryKeyedFile::PointAt(std::uint64_t id, const Record& record) const {
  return Bound{Bound::Kind::kPoint, record.bytes, id};
}

void MemoryKeyedFile::Load(std::uint64_t id, const Record& record) {
  std::copy_n(record.bytes.begin(), std::min<std::size_t>(record.bytes.size(), record_size()),
              this->record());
  null_flags() = record.null_flags;
  if (!skip_blobs_) {
    for (int i = 0; i < blob_count(); ++i) {
      const auto index = static_cast<std::size_t>(i);
      blob(i) = index < record.blobs.size() ? record.blobs[index] : std::string();
    }
  }
  current_id_ = id;
  read_version_ = record.version;
}

void MemoryKeyedFile::StoreBuffer(Record& record, bool keep_blobs) {
  record.bytes.assign(this->record(), this->record() + record_size());
  record.null_flags = null_flags();
  if (keep_blobs) return;
  record.blobs.resize(static_cast<std::size_t>(blob_count()));
  for (int i = 0; i < blob_count(); ++i) record.blobs[static_cast<std::size_t>(i)] = blob(i);
}

void MemoryKeyedFile::SetStart() {
  if (!CheckOpen()) return;
  ResetPosition();
  RuntimeErrorState::SetOk();
}

void MemoryKeyedFile::SetKeyStart(const FileKey& key) {
  if (!CheckOpen() || !CheckKey(key)) return;
  ResetPosition();
  order_ = key;
  RuntimeErrorState::SetOk();
}

void MemoryKeyedFile::SetKeyPosition(const FileKey& key) {
  if (!CheckOpen() || !CheckKey(key)) return;
  order_ = key;
  // The same value with the lowest and highest record ids: Next takes the first entry equal to
  // the value, Previous the last.
  std::vector<char> value(record(), record() + record_size());
  lower_ = Bound{Bound::Kind::kPoint, value, 0};
  upper_ = Bound{Bound::Kind::kPoint, std::move(value), std::numeric_limits<std::uint64_t>::max()};
  RuntimeErrorState::SetOk();
}

void MemoryKeyedFile::Next() { Step(true); }
void MemoryKeyedFile::Previous() { Step(false); }

void MemoryKeyedFile::Step(bool forward) {
  if (before_read_) before_read_();
  if (!CheckReadable()) return;
  auto lock = Lock();
  auto& records = table_->records_;
  auto best = records.end();
  for (auto it = records.begin(); it != records.end(); ++it) {
    const char* bytes = it->second.bytes.data();
    if (forward ? CompareToBound(bytes, it->first, lower_) <= 0
                : CompareToBound(bytes, it->first, upper_) >= 0) {
      continue;
    }
    if (best == records.end()) {
      best = it;
      continue;
    }
    const int r = CompareEntries(bytes, it->first, best->second.bytes.data(), best->first);
    if (forward ? r < 0 : r > 0) best = it;
  }
  if (best == records.end()) {
    // Beyond the end: turning round reads the entry at that end.
    lower_.kind = forward ? Bound::Kind::kPlusInfinity : Bound::Kind::kMinusInfinity;
    upper_.kind = lower_.kind;
    return RuntimeErrorState::Set(StatusNoRecord);
  }
  lower_ = PointAt(best->first, best->second);
  upper_ = lower_;
  if (HeldByOther(best->first)) {
    current_id_ = 0;
    return RuntimeErrorState::Set(StatusRecordHeld);
  }
  Load(best->first, best->second);
  RuntimeErrorState::SetOk();
}

MemoryTable::Records::iterator MemoryKeyedFile::FindEqual(const FileKey& key,
                                                          std::uint64_t except) {
  auto& records = table_->records_;
  // Entries with equal key values are ordered by record id, which is the map's order.
  return std::find_if(records.begin(), records.end(), [&](const auto& entry) {
    return entry.first != except && CompareKey(entry.second.bytes.data(), record(), key) == 0;
  });
}

bool MemoryKeyedFile::WouldDuplicate(std::uint64_t except) {
  return std::any_of(table_->keys_.begin(), table_->keys_.end(), [&](const FileKey& key) {
    return !key.duplicates_allowed && FindEqual(key, except) != table_->records_.end();
  });
}

void MemoryKeyedFile::Get(const FileKey& key) {
  if (!CheckReadable() || !CheckKey(key)) return;
  auto lock = Lock();
  const auto it = FindEqual(key, 0);
  if (it == table_->records_.end()) return RuntimeErrorState::Set(StatusRecordNotFound);
  if (HeldByOther(it->first)) return RuntimeErrorState::Set(StatusRecordHeld);
  Load(it->first, it->second);
  RuntimeErrorState::SetOk();
}

void MemoryKeyedFile::Add() {
  if (!CheckWritable()) return;
  auto lock = Lock();
  if (WouldDuplicate(0)) return RuntimeErrorState::Set(StatusDuplicateKey);
  const std::uint64_t id = table_->next_id_++;
  Record& added = table_->records_[id];
  StoreBuffer(added, false);
  added.version = 1;
  current_id_ = id;
  read_version_ = added.version;
  RuntimeErrorState::SetOk();
}

void MemoryKeyedFile::Put() {
  if (!CheckWritable()) return;
  if (current_id_ == 0) return RuntimeErrorState::Set(StatusNoRecord);
  auto lock = Lock();
  const auto it = table_->records_.find(current_id_);
  // A record another station deleted counts as changed by it.
  if (it == table_->records_.end()) return RuntimeErrorState::Set(StatusChangedElsewhere);
  if (HeldByOther(current_id_)) return RuntimeErrorState::Set(StatusRecordHeld);
  if (it->second.version != read_version_) {
    return RuntimeErrorState::Set(StatusChangedElsewhere);
  }
  if (WouldDuplicate(current_id_)) return RuntimeErrorState::Set(StatusDuplicateKey);
  // With large objects skipped, the buffer's are not the record's: writing them would lose them.
  StoreBuffer(it->second, skip_blobs_);
  read_version_ = ++it->second.version;
  RuntimeErrorState::SetOk();
}

void MemoryKeyedFile::Delete() {
  if (!CheckWritable()) return;
  if (current_id_ == 0) return RuntimeErrorState::Set(StatusNoRecord);
  auto lock = Lock();
  const auto it = table_->records_.find(current_id_);
  if (it == table_->records_.end()) return RuntimeErrorState::Set(StatusRecordNotFound);
  if (HeldByOther(current_id_)) return RuntimeErrorState::Set(StatusRecordHeld);
  table_->records_.erase(it);
  current_id_ = 0;
  RuntimeErrorState::SetOk();
}

void MemoryKeyedFile::ForgetCurrent() {
  current_id_ = 0;
  RuntimeErrorState::SetOk();
}

void MemoryKeyedFile::Watch() {
  if (!CheckOpen()) return;
  auto lock = Lock();
  const auto it = table_->records_.find(current_id_);
  if (it != table_->records_.end()) read_version_ = it->second.version;
  RuntimeErrorState::SetOk();
}

std::string MemoryKeyedFile::Position(const FileKey* key) {
  if (!CheckOpen()) return {};
  if (key != nullptr && !CheckKey(*key)) return {};
  if (current_id_ == 0) {
    RuntimeErrorState::Set(StatusNoRecord);
    return {};
  }
  RuntimeErrorState::SetOk();
  return std::to_string(current_id_);
}

void MemoryKeyedFile::Reget(const FileKey* key, std::string_view position) {
  if (!CheckReadable()) return;
  if (key != nullptr && !CheckKey(*key)) return;
  std::uint64_t id = 0;
  const char* end = position.data() + position.size();
  const auto parsed = std::from_chars(position.data(), end, id);
  if (parsed.ec != std::errc() || parsed.ptr != end) {
    return RuntimeErrorState::Set(StatusRecordNotFound);
  }
  auto lock = Lock();
  const auto it = table_->records_.find(id);
  if (it == table_->records_.end()) return RuntimeErrorState::Set(StatusRecordNotFound);
  if (HeldByOther(id)) return RuntimeErrorState::Set(StatusRecordHeld);
  order_ = key != nullptr ? *key : FileKey{};
  Load(id, it->second);
  lower_ = PointAt(id, it->second);
  upper_ = lower_;
  RuntimeErrorState::SetOk();
}

const FileKey* MemoryKeyedFile::AddKey(FileKey key) {
  if (!CheckKey(key)) return nullptr;
  auto lock = Lock();
  for (const FileKey& known : table_->keys_) {
    if (key.name.empty() || known.name != key.name) continue;
    if (SameDefinition(known, key)) {
      RuntimeErrorState::SetOk();
      return &known;
    }
    RuntimeErrorState::Set(StatusInvalidRequest);
    return nullptr;
  }
  table_->keys_.push_back(std::move(key));
  RuntimeErrorState::SetOk();
  return &table_->keys_.back();
}

int MemoryKeyedFile::key_count() const {
  auto lock = Lock();
  return static_cast<int>(table_->keys_.size());
}

const FileKey* MemoryKeyedFile::key(int i) const {
  auto lock = Lock();
  if (i < 0 || i >= static_cast<int>(table_->keys_.size())) return nullptr;
  return &table_->keys_[static_cast<std::size_t>(i)];
}

bool MemoryKeyedFile::HasDuplicate(const FileKey& key) {
  if (!CheckOpen() || !CheckKey(key)) return false;
  RuntimeErrorState::SetOk();
  if (key.duplicates_allowed) return false;
  auto lock = Lock();
  return FindEqual(key, current_id_) != table_->records_.end();
}

void MemoryKeyedFile::BuildKeys() {
  auto lock = Lock();
  table_->keys_need_rebuild_ = false;
  RuntimeErrorState::SetOk();
}

void MemoryKeyedFile::SetSkipBlobs(bool skip) {
  skip_blobs_ = skip;
  RuntimeErrorState::SetOk();
}

FileStateHandle MemoryKeyedFile::SaveState() {
  if (!CheckOpen()) return 0;
  const FileStateHandle handle = next_state_++;
  SavedState& saved = states_[handle];
  saved.order = order_;
  saved.lower = lower_;
  saved.upper = upper_;
  saved.current_id = current_id_;
  saved.read_version = read_version_;
  saved.record.assign(record(), record() + record_size());
  saved.blobs.clear();
  for (int i = 0; i < blob_count(); ++i) saved.blobs.push_back(blob(i));
  saved.null_flags = null_flags();
  RuntimeErrorState::SetOk();
  return handle;
}

void MemoryKeyedFile::RestoreState(FileStateHandle state) {
  if (!CheckOpen()) return;
  const auto it = states_.find(state);
  if (it == states_.end()) return RuntimeErrorState::Set(StatusInvalidRequest);
  const SavedState& saved = it->second;
  order_ = saved.order;
  lower_ = saved.lower;
  upper_ = saved.upper;
  current_id_ = saved.current_id;
  read_version_ = saved.read_version;
  std::copy(saved.record.begin(), saved.record.end(), record());
  for (int i = 0; i < blob_count(); ++i) blob(i) = saved.blobs[static_cast<std::size_t>(i)];
  null_flags() = saved.null_flags;
  RuntimeErrorState::SetOk();
}

void MemoryKeyedFile::FreeState(FileStateHandle state) {
  states_.erase(state);
  RuntimeErrorState::SetOk();
}

std::int64_t MemoryKeyedFile::RecordCount() {
  auto lock = Lock();
  if (!table_->exists_) {
    RuntimeErrorState::Set(StatusNotFound);
    return 0;
  }
  RuntimeErrorState::SetOk();
  return static_cast<std::int64_t>(table_->records_.size());
}

std::int64_t MemoryKeyedFile::Size() {
  auto lock = Lock();
  if (!table_->exists_) {
    RuntimeErrorState::Set(StatusNotFound);
    return 0;
  }
  std::int64_t total = 0;
  for (const auto& [id, rec] : table_->records_) {
    total += static_cast<std::int64_t>(rec.bytes.size());
    for (const std::string& b : rec.blobs) total += static_cast<std::int64_t>(b.size());
  }
  RuntimeErrorState::SetOk();
  return total;
}

void MemoryKeyedFile::SetTransactionParticipation(bool on) {
  if (!on) {
    participation_ = false;
    return Transaction::Withdraw(this);
  }
  if (!transactions_supported_) return RuntimeErrorState::Set(StatusNotSupported);
  Transaction::Enlist(this);
  if (RuntimeErrorState::code() == StatusOk) participation_ = true;
}

void MemoryKeyedFile::BeginTransaction(int) {
  if (!transactions_supported_) return RuntimeErrorState::Set(StatusNotSupported);
  if (begin_failure_ != StatusOk) return RuntimeErrorState::Set(begin_failure_);
  auto lock = Lock();
  snapshot_ = Snapshot{table_->exists_, table_->records_};
  RuntimeErrorState::SetOk();
}

void MemoryKeyedFile::CommitTransaction() {
  if (!transactions_supported_) return RuntimeErrorState::Set(StatusNotSupported);
  snapshot_.reset();
  RuntimeErrorState::SetOk();
}

void MemoryKeyedFile::RollbackTransaction() {
  if (!transactions_supported_) return RuntimeErrorState::Set(StatusNotSupported);
  if (snapshot_) {
    auto lock = Lock();
    table_->exists_ = snapshot_->exists;
    table_->records_ = std::move(snapshot_->records);
    snapshot_.reset();
  }
  RuntimeErrorState::SetOk();
}

void MemoryKeyedFile::SendNotification(std::uint32_t operation,
                                       std::span<const std::uint32_t> parameters) {
  Notify(operation, parameters);
}

}  // namespace morlan
