// FileManager: set-up and teardown, per-thread state, errors, opening, use and closing, and the
// record operations. Saved buffers and states are in file_manager_saved_state.cc, the keys and
// their texts in file_manager_keys.cc.
#include "data/file_manager.h"

#include <cstdlib>
#include <string>

#include "common/codes.h"
#include "data/file_relations.h"
#include "data/file_usage_tracker.h"
#include "errors/error_manager.h"
#include "platform/runtime.h"
#include "platform/runtime_error_state.h"

namespace morlan {

namespace {

constexpr int kOpenAttempts = 2;
constexpr int kSilentAutoNumberRetries = 3;
constexpr std::size_t kPositionCapacity = 1024;
constexpr std::size_t kPrefixCapacity = 2000;

StatusCode Code() { return RuntimeErrorState::code(); }

double NumberOf(const FieldRef& field) {
  const FieldValue value = field.Get();
  if (!value.is_text()) return value.number();
  const std::string text(ClipText(value.text()));
  return std::strtod(text.c_str(), nullptr);
}

// Runs `check` on the aliased manager with this manager's record in its buffer, then puts the
// aliased manager's own buffer back.
template <typename Check>
Level OnAliasWithBuffer(FileManager& self, Check check) {
  FileManager& alias = *self.ALIASEDFILE;
  std::uint32_t alias_buffer = alias.SaveBuffer();
  std::uint32_t own_buffer = self.SaveBuffer();
  FileManager::RestoreBuffer(alias, &own_buffer, self, true);
  const Level result = check(alias);
  FileManager::RestoreBuffer(alias, &alias_buffer, alias, true);
  return result;
}

}  // namespace

FileManager::~FileManager() {
  if (CLEANEDUP == 0) FileManager::Kill();
}

// --- Callback interface ---

bool FileManager::DriverNotify(std::uint32_t operation, std::span<const std::uint32_t> parameters) {
  if (operation == kNotifyClose) {
    if (INRESTORE == 0 || !INFO) return true;
    FileThreadInfo& info = thread_info();
    if (info.OPENED == 0) return true;
    info.OPENED = 0;
    info.USED = 0;
    Close();
    return true;
  }
  if (operation != kNotifyDestroy) return true;
  ++INCALLBACK;
  const bool release =
      parameters.size() <= kDestroyReleaseWord || parameters[kDestroyReleaseWord] == 0;
  if (release) {
    if (CLEANEDUP == 0) CleanUp();
    // The file object is going away: nothing may reach it any more (Kill would otherwise
    // unregister the sink of a destroyed object). A driver that asks to keep what the manager
    // holds keeps its file too, and the manager goes on working on it.
    if (BUFFER == FILE) BUFFER = nullptr;
    FILE = nullptr;
  }
  --INCALLBACK;
  return true;
}

bool FileManager::DriverNotifyDone() { return true; }

// --- Set-up and teardown ---

void FileManager::Destroy() { Kill(); }

void FileManager::Init(DataFile* file, ErrorManager* errors) {
  ERRORS = errors;
  FILE = file;
  BUFFER = file;
  INFO = std::make_unique<FileThreadInfoList>();
  KEYS = std::make_unique<std::vector<KeyEntry>>();
  BUFFERS = std::make_unique<std::vector<SavedBufferEntry>>();
  SAVED = std::make_unique<std::vector<SavedStateEntry>>();
  FIELDS = std::make_unique<std::vector<FieldEntry>>();
  SKIPHELDRECORDS = 0;
  OPENMODE = kAccessReadWrite | kShareDenyNone;
  CREATE = 1;
  LOCKRECOVER = 10;
  PRIMARYKEY = 0;
  LAZYOPEN = 1;
  FILENAMEVALUE = file != nullptr ? std::string_view(file->name()) : std::string_view();
  // Every record operation names the file to the error manager: clipped once, here.
  file_name_size_ = FILENAMEVALUE.Clipped().size();
  name_stamp_.store(0, std::memory_order_relaxed);
  file_label_ = file != nullptr ? FileUsageTracker::FileLabel(*file) : 0;
  FileUsageTracker::Instance().RegisterFile(*this);
  CLEANEDUP = 0;
  if (FILE != nullptr) FILE->SetNotificationSink(FILECALLBACKINTERFACE);
}

void FileManager::Kill() {
  if (CLEANEDUP == 0) CleanUp();
  // Only this manager's own registration goes: another manager of the file may have taken over.
  if (FILE != nullptr && FILE->notification_sink() == FILECALLBACKINTERFACE) {
    FILE->SetNotificationSink(nullptr);
  }
}

void FileManager::CleanUp() {
  CLEANEDUP = 1;
  FileUsageTracker::Instance().UnregisterFile(*this);
  INFO.reset();
  name_stamp_.store(0, std::memory_order_relaxed);
  KEYS.reset();
  BUFFERS.reset();
  if (SAVED) {
    for (const SavedStateEntry& state : *SAVED) {
      if (FILE != nullptr && state.STATE != 0) FILE->FreeState(state.STATE);
    }
    SAVED.reset();
  }
  FIELDS.reset();
  FILENAME.reset();
}

void FileManager::BindRecordFields() {
  // Nothing to register: a view binds its filter's names when the filter is set, from the record
  // layouts of the view's own files ("LABEL:NAME" or "NAME"), and reads each field from its
  // file's buffer at every record. A registration kept here would add nothing those layouts do
  // not say, and could outlive the file it names.
}

// --- Per-thread state and names ---

FileThreadInfoList& FileManager::Infos() {
  if (!INFO) INFO = std::make_unique<FileThreadInfoList>();
  return *INFO;
}

std::int32_t FileManager::CurrentThreadNumber() { return Runtime::CurrentThreadId(); }

FileThreadInfo& FileManager::thread_info() {
  return Infos().Select(FILE != nullptr && FILE->IsPerThread() ? CurrentThreadNumber() : 1);
}

void FileManager::SelectThreadInfo() { SelectThreadEntry(); }

FileThreadInfo& FileManager::SelectThreadEntry() {
  FileThreadInfo& info = thread_info();
  if (ERRORS == nullptr) return info;
  // The common case, spelled out: this runs before every record operation.
  if (FILENAME) {
    ERRORS->SetFileName(FileNameText());
    return info;
  }
  // Before nearly every record operation %File still names this file on this thread; the
  // error manager's stamp tells so without comparing names.
  const std::uint64_t stamp = name_stamp_.load(std::memory_order_relaxed);
  if (stamp != 0 && ERRORS->FileNameStamp() == stamp) return info;
  ERRORS->SetFileName({FILENAMEVALUE.data(), file_name_size_});
  name_stamp_.store(ERRORS->FileNameStamp(), std::memory_order_relaxed);
  return info;
}

std::string_view FileManager::FileNameText() const {
  if (!FILENAME) return {FILENAMEVALUE.data(), file_name_size_};
  if (FILENAME->is_text()) return FILENAME->text();
  file_name_number_.clear();
  AppendNumber(file_name_number_, FILENAME->number());
  return file_name_number_;
}

std::string FileManager::GetFileName() const { return std::string(FileNameText()); }

// --- Errors ---

void FileManager::SetError(ErrorId id) {
  if (ERRORS != nullptr) ERRORS->CaptureRuntimeError();
  thread_info().LASTERROR = id;
}

Level FileManager::PostError(ErrorId id) {
  SetError(id);
  return PostLastError();
}

Level FileManager::PostLastError() {
  if (ERRORS == nullptr) return FatalityNotify;
  return ERRORS->HandleEntry(thread_info().LASTERROR);
}

Level FileManager::PostErrorWithText(ErrorId id, std::string_view text) {
  if (ERRORS == nullptr) return FatalityNotify;
  return ERRORS->RaiseWithText(id, text);
}

// --- Open, use, close ---

Level FileManager::Open() { return OpenWith(true, false); }

Level FileManager::TryOpen() { return OpenWith(false, false); }

Level FileManager::OpenWith(bool report, bool force) {
  FileThreadInfo& info = SelectThreadEntry();
  if (FILE == nullptr) {
    SetError(ErrFileAccess);
    return report ? PostLastError() : FatalityNotify;
  }
  FileUsageTracker::Instance().RecordOpen(*this);
  BindRecordFields();
  if (force || (LAZYOPEN == 0 && info.OPENED == 0)) {
    const Level level = OpenFile(report);
    if (level != FatalityNone) return level;
  }
  ++info.OPENED;
  return FatalityNone;
}

Level FileManager::OpenFile(bool report) {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    FILE->Open(OPENMODE);
    if (Code() == StatusAccessDenied) {
      // Locked by another process: let the driver wait for the lock, then try once more.
      FILE->Send("Recover=" + std::to_string(LOCKRECOVER));
      FILE->Open(OPENMODE);
    }
    const StatusCode code = Code();
    if (code == StatusOk || code == StatusAlreadyOpen) {
      FileThreadInfo& info = thread_info();
      info.USED = 1;
      info.ATEOF = 0;
      info.AUTOINCDONE = 0;
      info.AUTOINCPOS.clear();
      return FatalityNone;
    }
    if (code == StatusAccessDenied) {
      if ((OPENMODE & kAccessMask) == kAccessRead) break;
      // Read-only, same sharing; the mode stays so for later opens.
      OPENMODE = static_cast<std::uint8_t>(OPENMODE & 0xF0);
      PostError(ErrWriteAccessDenied);
      continue;
    }
    if (code == StatusNotFound) {
      if (CREATE == 0) break;
      FILE->Create();
      if (Code() == StatusOk) continue;
      SetError(ErrFileCreation);
      return report ? PostLastError() : FatalityNotify;
    }
    if (code == StatusKeysNeedRebuild) {
      SetError(ErrKeyInvalid);
      if (!report) return FatalityNotify;
      PostLastError();
      FILE->BuildKeys();
      if (Code() == StatusOk) continue;
      return PostError(ErrKeyNotBuilt);
    }
    break;
  }
  SetError(ErrFileAccess);
  return report ? PostLastError() : FatalityNotify;
}

Level FileManager::UseFile(FileUse kind) {
  FileThreadInfo* info = nullptr;
  return UseFileWith(kind, &info);
}

Level FileManager::UseFileWith(FileUse kind, FileThreadInfo** entry) {
  // Nothing reads the flag across threads: relaxed stores keep it off the per-record path's bill.
  INUSEFILE.store(1, std::memory_order_relaxed);
  FileThreadInfo& info = SelectThreadEntry();
  *entry = &info;
  if (FILE == nullptr) {
    INUSEFILE.store(0, std::memory_order_relaxed);
    return FatalityHalt;
  }
  static FileUsageTracker& tracker = FileUsageTracker::Instance();
  if (kind != FileUse::kUntracked) tracker.RecordUse(*this, kind);
  Level level = FatalityNone;
  if (LAZYOPEN != 0 && info.USED == 0) {
    if (info.OPENED == 0) {
      INUSEFILE.store(0, std::memory_order_relaxed);
      return PostError(ErrFileNotOpened);
    }
    // The caller may have prepared the record already; the open must not disturb it.
    std::uint32_t buffer = SaveBuffer();
    level = OpenFile(true);
    RestoreBuffer(*this, &buffer, *this, true);
  }
  INUSEFILE.store(0, std::memory_order_relaxed);
  return level;
}

Level FileManager::Close() {
  ++INCLOSE;
  FileThreadInfo& info = SelectThreadEntry();
  FileUsageTracker::Instance().RecordClose(*this);
  if (info.OPENED != 0 && --info.OPENED == 0) {
    if (FILE != nullptr) {
      const bool was_open = FILE->IsOpen();
      FILE->Close();
      // A driver that buffers writes reports a failed write here; the records are lost, which
      // must not pass as a quiet close.
      if (was_open && Code() != StatusOk) PostError(ErrRecordInsert);
    }
    info.USED = 0;
  }
  --INCLOSE;
  return FatalityNone;
}

// --- Record operations ---

Level FileManager::PrepareRecord(bool keep_buffer) {
  if (ALIASEDFILE == nullptr) {
    if (!keep_buffer && RecordFile() != nullptr) RecordFile()->ClearRecord();
    PrepareFields();
    if (HASAUTOINC == 0) return FatalityNone;
    thread_info().AUTOINCDONE = 0;
    return AssignAutoNumbers();
  }
  FileManager& alias = *ALIASEDFILE;
  const Level opened = alias.Open();
  if (opened != FatalityNone) return opened;
  std::uint16_t alias_state = alias.SaveState();
  if (keep_buffer) {
    std::uint32_t mine = SaveBuffer();
    RestoreBuffer(alias, &mine, *this, true);
  }
  const Level result = alias.PrepareRecord(keep_buffer);
  if (result == FatalityNone) {
    std::uint16_t prepared = alias.SaveState();
    RestoreState(*this, &prepared, alias, true);
  }
  RestoreState(alias, &alias_state, alias, true);
  alias.Close();
  return result;
}

void FileManager::PrepareFields() {}

Level FileManager::AssignAutoNumbers() { return AssignAutoNumbersWith(true); }

Level FileManager::TryAssignAutoNumbers() { return AssignAutoNumbersWith(false); }

Level FileManager::AssignAutoNumbersWith(bool report) {
  FileThreadInfo* info = nullptr;
  if (UseFileWith(FileUse::kRecords, &info) != FatalityNone) return FatalityHalt;
  if (HASAUTOINC == 0 || info->AUTOINCDONE != 0 || !KEYS) return FatalityNone;
  DataFile& file = *FILE;
  int failures = 0;
  for (;;) {
    for (KeyEntry& key : *KEYS) {
      if (key.AUTOINC == 0 || key.AUTOINC > key.FIELDS.size() || key.KEY == nullptr) continue;
      const KeyComponentEntry& numbered = key.FIELDS[key.AUTOINC - 1];
      const bool ascending = numbered.ASCENDING != 0;
      std::uint32_t saved = SaveBuffer();
      file.SetSkipBlobs(true);
      std::string wanted_prefix;
      if (key.FIELDS.size() == 1) {
        file.SetKeyStart(*key.KEY);
      } else {
        wanted_prefix = KeyPrefixText(key.KEY, key.AUTOINC - 1, kPrefixCapacity);
        numbered.FIELD.SetHighest();
        file.SetKeyPosition(*key.KEY);
      }
      // Ascending: the highest value is the last entry; descending: the first.
      if (Code() == StatusOk) ascending ? file.Previous() : file.Next();
      const StatusCode code = Code();
      double number = 1;
      if (code == StatusOk) {
        const bool same_group =
            key.FIELDS.size() == 1 ||
            KeyPrefixText(key.KEY, key.AUTOINC - 1, kPrefixCapacity) == wanted_prefix;
        if (same_group) number = NumberOf(numbered.FIELD) + 1;
      }
      if (code != StatusOk && code != StatusNoRecord) {
        // Captured first: switching the driver back replaces the error state.
        SetError(ErrRecordRetrieval);
        file.SetSkipBlobs(false);
        RestoreBuffer(*this, &saved, *this, true);
        return report ? PostLastError() : FatalityNotify;
      }
      file.SetSkipBlobs(false);
      RestoreBuffer(*this, &saved, *this, true);
      numbered.FIELD.Set(FieldValue::Number(number));
    }
    file.Add();
    if (Code() == StatusOk) {
      info->AUTOINCDONE = 1;
      info->AUTOINCPOS = PositionText();
      return FatalityNone;
    }
    // Another station may have taken the number: compute it again, twice without asking.
    if (++failures < kSilentAutoNumberRetries) continue;
    SetError(ErrAutoNumberFailed);
    if (!report) return FatalityNotify;
    if (PostLastError() != FatalityNone) return FatalityNotify;
    failures = 0;
  }
}

Level FileManager::Insert() { return InsertWith(true); }

Level FileManager::TryInsert() { return InsertWith(false); }

Level FileManager::InsertWith(bool report) {
  FileThreadInfo* info = nullptr;
  if (UseFileWith(FileUse::kRecords, &info) != FatalityNone) return FatalityHalt;
  if (ValidateRecord(nullptr) != FatalityNone) return FatalityNotify;
  if (HASAUTOINC != 0) {
    if (info->AUTOINCDONE != 0) {
      // The record went in during auto-numbering; now it gets its final contents.
      if (ReturnToAutoNumbered(*info)) FILE->Put();
    } else if ((report ? AssignAutoNumbers() : TryAssignAutoNumbers()) != FatalityNone) {
      return FatalityNotify;
    }
  } else {
    FILE->Add();
  }
  const StatusCode code = Code();
  if (code == StatusOk) {
    info->AUTOINCDONE = 0;
    return FatalityNone;
  }
  if (code == StatusDuplicateKey) {
    if (!report) {
      SetError(ErrDuplicateKeyEntry);
      return FatalityNotify;
    }
    // No current record, so the duplicate test takes the buffer for a new record.
    if (HASAUTOINC == 0) FILE->ForgetCurrent();
    if (KEYS) {
      for (const KeyEntry& key : *KEYS) {
        if (key.KEY == nullptr || !FILE->HasDuplicate(*key.KEY)) continue;
        RuntimeErrorState::Set(StatusDuplicateKey);
        return PostErrorWithText(ErrDuplicateKeyEntry, key.DESCRIPTION.Clipped());
      }
    }
    return FatalityNotify;
  }
  SetError(ErrRecordInsert);
  return report ? PostLastError() : FatalityNotify;
}

Level FileManager::Update() { return UpdateWithReport(UpdateReport::kShow); }

Level FileManager::TryUpdate() { return UpdateWithReport(UpdateReport::kSilent); }

Level FileManager::UpdateWithReport(UpdateReport report) {
  if (UseFile(FileUse::kRecords) != FatalityNone) return FatalityHalt;
  if (ValidateRecord(nullptr) != FatalityNone) return FatalityAsk;
  const std::string position = PositionText();
  FILE->Put();
  const StatusCode code = Code();
  if (code == StatusOk) return FatalityNone;
  if (code == StatusChangedElsewhere) {
    SetError(report == UpdateReport::kShowForForm ? ErrChangedElsewhereShown : ErrChangedElsewhere);
    // Take the other station's version as read and show it: the buffer now holds its values.
    FILE->Watch();
    if (RegetAt(position) != FatalityNone) {
      // Deleted there (or out of reach): there is no version of theirs to show, and the buffer
      // keeps the user's changes. Say what happened, with the failed read's error.
      SetError(ErrRecordNotUpdated);
    }
    if (report != UpdateReport::kSilent) PostLastError();
    return FatalityNotify;
  }
  SetError(ErrRecordNotUpdated);
  return report != UpdateReport::kSilent ? PostLastError() : FatalityNotify;
}

Level FileManager::CancelAutoNumber(FileRelations* relations) {
  FileThreadInfo* info = nullptr;
  if (UseFileWith(FileUse::kRecords, &info) != FatalityNone) return FatalityNone;
  if (HASAUTOINC == 0 || info->AUTOINCDONE == 0) return FatalityNone;
  // Only the added record may go; when it cannot be found, nothing does.
  if (!ReturnToAutoNumbered(*info)) return FatalityNotify;
  Level level;
  if (relations != nullptr) {
    level = relations->Delete(false);
  } else {
    FILE->Delete();
    level = Code() == StatusOk ? FatalityNone : FatalityNotify;
  }
  if (level == FatalityNone) info->AUTOINCDONE = 0;
  return level;
}

Level FileManager::DeleteCurrent() {
  if (FILE != nullptr) FILE->Delete();
  return FatalityNone;
}

bool FileManager::SkipInCascade() { return false; }

bool FileManager::AtEndOfFile() { return thread_info().ATEOF != 0; }

Level FileManager::Next() { return ReadWith(true, true); }

Level FileManager::Previous() { return ReadWith(true, false); }

Level FileManager::TryNext() { return ReadWith(false, true); }

Level FileManager::TryPrevious() { return ReadWith(false, false); }

Level FileManager::ReadWith(bool report, bool forward) {
  FileThreadInfo* info = nullptr;
  if (UseFileWith(FileUse::kRecords, &info) != FatalityNone) return FatalityHalt;
  for (;;) {
    info->ATEOF = 0;
    forward ? FILE->Next() : FILE->Previous();
    const StatusCode code = Code();
    if (code == StatusOk) return FatalityNone;
    if (code == StatusNoRecord) {
      info->ATEOF = 1;
      return FatalityNotify;
    }
    if (code == StatusRecordHeld) {
      if (SKIPHELDRECORDS != 0) continue;
      SetError(ErrRecordHeldElsewhere);
      return report ? PostLastError() : FatalityNotify;
    }
    SetError(ErrRecordRetrieval);
    return report ? PostLastError() : FatalityHalt;
  }
}

Level FileManager::TryFetch(const FileKey* key) {
  if (UseFile(FileUse::kRecords) != FatalityNone) return FatalityHalt;
  if (key == nullptr) return FatalityNotify;
  FILE->Get(*key);
  return Code() == StatusOk ? FatalityNone : FatalityNotify;
}

Level FileManager::FetchOrClear(const FileKey* key) {
  const Level level = TryFetch(key);
  if (level != FatalityNone && RecordFile() != nullptr) RecordFile()->ClearRecord();
  return level;
}

// --- Positions ---

const FileKey* FileManager::PrimaryKey() const {
  if (PRIMARYKEY == 0 || !KEYS || PRIMARYKEY > KEYS->size()) return nullptr;
  return (*KEYS)[PRIMARYKEY - 1].KEY;
}

std::string FileManager::PositionText() {
  std::string position = FILE->Position(PrimaryKey());
  if (position.size() > kPositionCapacity) position.resize(kPositionCapacity);
  return position;
}

Level FileManager::RegetAt(std::string_view position) {
  FILE->Reget(PrimaryKey(), position);
  return Code() == StatusOk ? FatalityNone : FatalityNotify;
}

bool FileManager::ReturnToAutoNumbered(const FileThreadInfo& info) {
  // Unchanged since the add, the record keeps the version it was added with, so a change by
  // another station still stops the write.
  if (PositionText() == info.AUTOINCPOS) return true;
  std::uint32_t buffer = SaveBuffer();
  FILE->Reget(PrimaryKey(), info.AUTOINCPOS);
  const bool found = Code() == StatusOk;
  RestoreBuffer(*this, &buffer, *this, true);
  return found;
}

std::string FileManager::Position() {
  if (UseFile(FileUse::kRecords) != FatalityNone) return {};
  return PositionText();
}

Level FileManager::Reget(std::string_view position) {
  if (UseFile(FileUse::kRecords) != FatalityNone) return FatalityHalt;
  return RegetAt(position);
}

// --- Validation ---

Level FileManager::ValidateFieldReported(int field) { return CheckField(field, true); }

Level FileManager::ValidateFieldSilent(int field) { return CheckField(field, false); }

Level FileManager::CheckField(int field, bool report) {
  if (ALIASEDFILE == nullptr) return FatalityNone;
  return OnAliasWithBuffer(*this,
                           [&](FileManager& alias) { return alias.CheckField(field, report); });
}

Level FileManager::ValidateFields(int first, int last, int* failed_field) {
  if (ALIASEDFILE != nullptr) {
    return OnAliasWithBuffer(
        *this, [&](FileManager& alias) { return alias.ValidateFields(first, last, failed_field); });
  }
  for (int i = first; i <= last; ++i) {
    const Level level = ValidateFieldReported(i);
    if (level == FatalityNone) continue;
    if (failed_field != nullptr) *failed_field = i;
    return level;
  }
  return FatalityNone;
}

Level FileManager::ValidateRecord(int* failed_field) {
  if (ALIASEDFILE != nullptr) {
    return OnAliasWithBuffer(
        *this, [&](FileManager& alias) { return alias.ValidateRecord(failed_field); });
  }
  const DataFile* record = RecordFile();
  return ValidateFields(1, record != nullptr ? record->layout().field_count() : 0, failed_field);
}

}  // namespace morlan
