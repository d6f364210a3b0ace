#include "data/file_relations.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "common/codes.h"
#include "data/file_manager.h"
#include "platform/data_file.h"
#include "platform/runtime.h"
#include "platform/runtime_error_state.h"
#include "platform/transaction.h"

namespace morlan {

namespace {

constexpr std::uint8_t kInsidePass = 0x80;
constexpr std::uint8_t kSelectWithoutKey = 1;
constexpr std::uint8_t kSelectWithKey = 2;
constexpr int kTransactionTimeout = 2;
constexpr int kLastKeyComponent = 22;
constexpr std::size_t kPositionCapacity = 1024;

bool EnlistsUpdate(std::uint8_t mode) {
  return mode == RelationModeClear || mode == RelationModeCascade;
}

// True when the relation's update mode is active and its linking fields differ from the values
// remembered before the change.
bool LinksChanged(const RelationEntry& relation) {
  return IsActiveMode(relation.UPDATEMODE) && relation.FIELDS != nullptr &&
         !relation.FIELDS->EqualLeftBuffer();
}

// Sets the record buffer's fields of `key` beyond the `linked` leading ones to their lowest
// values and positions the key there, so that the next read is the first record whose leading
// components equal the buffer's. False when the driver refuses the position.
bool PositionAtLinked(FileManager& manager, const FileKey* key, std::size_t linked) {
  manager.SetKeyLimits(key, static_cast<int>(linked) + 1, kLastKeyComponent, false);
  manager.FILE->SetKeyPosition(*key);
  return RuntimeErrorState::code() == StatusOk;
}

}  // namespace

// --- Virtual operations ---

Level FileRelations::CancelAutoNumber() { return ME->CancelAutoNumber(this); }

Level FileRelations::Close(bool continuing) { return OpenOrClose(false, continuing); }

Level FileRelations::Delete(bool ask) {
  if (ask && ME->PostError(ErrAskDeleteHighlighted) != FatalityNone) return FatalityNotify;
  for (;;) {
    Runtime::SetWaitCursor(true);
    bool offer_retry = false;
    const Level result = DeleteAttempt(&offer_retry);
    Runtime::SetWaitCursor(false);
    Close(false);
    if (result == FatalityNone || !offer_retry) return result;
    if (ME->PostError(ErrAskRetryDelete) != FatalityNone) return result;
  }
}

Level FileRelations::DeleteAttempt(bool* offer_retry) {
  Level result = Open(false);
  if (result != FatalityNone) return result;
  // Taken after the open, which does not move an open file: taken before it, a file this thread
  // has not opened would stop the program with "File Usage Error".
  std::string position = ME->Position();
  if (position.size() > kPositionCapacity) position.resize(kPositionCapacity);

  bool framed = false;
  if (USELOGOUT != 0) {
    result = EnlistDeleteCascade();
    if (result != FatalityNone) {
      // Withdraws the files already enlisted; left in the frame they would join the thread's
      // next transaction.
      Transaction::Rollback();
      return result;
    }
    result = BeginFrame(&framed);
    if (result != FatalityNone) return result;
  }

  const auto fail_delete = [&]() -> Level {
    ME->SetError(ErrRecordNotDeleted);
    ME->SelectThreadInfo();
    if (framed) Transaction::Rollback();
    ME->PostLastError();
    *offer_retry = true;
    return FatalityNotify;
  };

  // The record is read again inside the transaction. When that fails the current record is not
  // the one asked for: deleting it would delete whatever the driver last read.
  if (ME->Reget(position) != FatalityNone) return fail_delete();

  for (RelationEntry& relation : Relations()) {
    if (!IsActiveMode(relation.DELETEMODE)) continue;
    result = relation.FILE->CascadeDeleteChildren(relation.HISKEY, relation.FIELDS.get(),
                                                  relation.DELETEMODE);
    if (result == FatalityNone) continue;
    if (framed) Transaction::Rollback();
    return result;
  }

  ME->DeleteCurrent();
  if (RuntimeErrorState::code() != StatusOk) return fail_delete();
  return CommitFrame(framed);
}

Level FileRelations::CascadeDeleteChildren(const FileKey* key, FieldPairs* pairs,
                                           std::uint8_t mode) {
  // Without a key or linking fields no record can be told to belong to the parent; an empty
  // list of pairs would make every record of the file match.
  if (key == nullptr || pairs == nullptr || pairs->Count() == 0) return FatalityNone;
  std::uint16_t state = 0;
  if (!StartChildren(key, *pairs, &FieldPairs::AssignLeftToRight, &state)) return FatalityNotify;

  Level result = FatalityNone;
  while (NextChild(*pairs, &FieldPairs::EqualLeftRight, &result)) {
    if (ME->SkipInCascade()) continue;
    if (mode == RelationModeRestrict) {
      ME->SetError(ErrReferencedNoDelete);
      RollbackWhenLogged();
      ME->PostLastError();
      result = FatalityNotify;
      break;
    }
    if (mode == RelationModeClear) {
      SaveLinkValues();
      pairs->ClearRight();
      if (UpdateWithCascade() == FatalityNone) continue;
      result = FatalityNotify;
      break;
    }
    if (mode != RelationModeCascade) break;
    for (RelationEntry& relation : Relations()) {
      if (!IsActiveMode(relation.DELETEMODE)) continue;
      result = relation.FILE->CascadeDeleteChildren(relation.HISKEY, relation.FIELDS.get(),
                                                    relation.DELETEMODE);
      if (result != FatalityNone) break;
    }
    if (result != FatalityNone) break;
    ME->DeleteCurrent();
    if (RuntimeErrorState::code() != StatusOk) {
      ME->SetError(ErrRecordNotDeleted);
      ME->SelectThreadInfo();
      RollbackWhenLogged();
      ME->PostLastError();
      result = FatalityNotify;
      break;
    }
  }
  FileManager::RestoreState(*ME, &state, *ME, true);
  return result;
}

void FileRelations::Kill() {
  if (RELATIONS == nullptr) return;
  for (RelationEntry& relation : *RELATIONS) {
    if (relation.FIELDS == nullptr) continue;
    relation.FIELDS->Kill();
    relation.FIELDS.reset();
  }
  RELATIONS.reset();
}

Level FileRelations::Open(bool continuing) { return OpenOrClose(true, continuing); }

void FileRelations::SaveLinkValues() {
  for (RelationEntry& relation : Relations()) {
    if (relation.FIELDS != nullptr) relation.FIELDS->AssignLeftToBuffer();
  }
}

void FileRelations::SetQuickScan(bool on, std::uint8_t propagate) {
  // The driver's reply is not used; a file its driver has ended has nobody to tell.
  if (ME->FILE != nullptr) ME->FILE->Send(on ? "QUICKSCAN=on" : "QUICKSCAN=off");
  if (propagate == 0) return;
  if ((propagate & kInsidePass) != 0) {
    if (LASTTOUCHED.load() == PASSCOUNTER.load()) return;
  } else {
    ++PASSCOUNTER;
    propagate |= kInsidePass;
  }
  LASTTOUCHED.store(PASSCOUNTER.load());
  const std::uint8_t select = propagate & static_cast<std::uint8_t>(~kInsidePass);
  for (RelationEntry& relation : Relations()) {
    if (select == kSelectWithoutKey && relation.HISKEY != nullptr) continue;
    if (select == kSelectWithKey && relation.HISKEY == nullptr) continue;
    relation.FILE->SetQuickScan(on, propagate);
  }
}

Level FileRelations::Update(bool from_form) {
  Level result = Open(false);
  if (result != FatalityNone) {
    Close(false);
    return result;
  }

  bool framed = false;
  if (USELOGOUT != 0) {
    result = EnlistUpdateCascade();
    if (result != FatalityNone) {
      Transaction::Rollback();  // withdraws the files already enlisted
      Close(false);
      return result;
    }
    result = BeginFrame(&framed);
    if (result != FatalityNone) {
      Close(false);
      return result;
    }
  }

  // A failed cascade puts the linking fields back to their values from before the change. (The
  // related file's buffer, which RIGHT names, has been put back to whatever it held before the
  // cascade, so it is no source for them.)
  const auto cascade_failed = [&](RelationEntry& relation, Level level) {
    relation.FIELDS->AssignBufferToLeft();
    if (framed) Transaction::Rollback();
    Close(false);
    return level;
  };

  // Restrict is settled before the record is written: without a transaction (logging off, or a
  // driver that cannot take part) the write could not be taken back, and the file would keep
  // the change that the message says was reset.
  for (RelationEntry& relation : Relations()) {
    if (relation.UPDATEMODE != RelationModeRestrict || !LinksChanged(relation)) continue;
    result = relation.FILE->CascadeUpdateChildren(relation.HISKEY, relation.FIELDS.get(),
                                                  relation.UPDATEMODE);
    if (result != FatalityNone) return cascade_failed(relation, result);
  }

  result = ME->TryUpdate();
  if (result != FatalityNone) {
    if (framed) Transaction::Rollback();
    FileThreadInfo& info = ME->thread_info();
    if (from_form && info.LASTERROR == ErrChangedElsewhere) {
      info.LASTERROR = ErrChangedElsewhereShown;
    }
    if (result == FatalityNotify) ME->PostLastError();
    // Only a write that was refused records an error; after a failed validation LASTERROR may
    // still hold an earlier one.
    const ErrorId recorded = ME->thread_info().LASTERROR;
    const bool changed_elsewhere =
        recorded == ErrChangedElsewhere || recorded == ErrChangedElsewhereShown;
    Close(false);
    return result == FatalityNotify && changed_elsewhere ? FatalityNotify : FatalityAsk;
  }

  for (RelationEntry& relation : Relations()) {
    if (relation.UPDATEMODE == RelationModeRestrict || !LinksChanged(relation)) continue;
    result = relation.FILE->CascadeUpdateChildren(relation.HISKEY, relation.FIELDS.get(),
                                                  relation.UPDATEMODE);
    if (result != FatalityNone) return cascade_failed(relation, result);
  }

  result = CommitFrame(framed);
  Close(false);
  return result;
}

Level FileRelations::CascadeUpdateChildren(const FileKey* key, FieldPairs* pairs,
                                           std::uint8_t mode) {
  if (key == nullptr || pairs == nullptr || pairs->Count() == 0) return FatalityNone;
  std::uint16_t state = 0;
  if (!StartChildren(key, *pairs, &FieldPairs::AssignBufferToRight, &state)) return FatalityNotify;

  Level result = FatalityNone;
  while (NextChild(*pairs, &FieldPairs::EqualRightBuffer, &result)) {
    SaveLinkValues();
    if (mode == RelationModeRestrict) {
      ME->SetError(ErrReferencedNoChange);
      RollbackWhenLogged();
      ME->PostLastError();
      pairs->AssignBufferToLeft();
      result = FatalityNotify;
      break;
    }
    if (mode == RelationModeClear) {
      pairs->ClearRight();
    } else if (mode == RelationModeCascade) {
      pairs->AssignLeftToRight();
    } else {
      break;
    }
    if (UpdateWithCascade() != FatalityNone) {
      result = FatalityNotify;
      break;
    }
  }
  FileManager::RestoreState(*ME, &state, *ME, true);
  return result;
}

bool FileRelations::StartChildren(const FileKey* key, FieldPairs& pairs, void (FieldPairs::*link)(),
                                  std::uint16_t* state) {
  if (ME->UseFile(FileUse::kRecords) != FatalityNone) {
    RollbackWhenLogged();
    return false;
  }
  *state = ME->SaveState();
  ME->FILE->ClearRecord();
  (pairs.*link)();
  if (PositionAtLinked(*ME, key, pairs.Count())) return true;
  // Reading on from wherever the file stood would miss the parent's records (a restricted parent
  // would be deleted, children orphaned) or act on another parent's.
  ME->SetError(ErrRecordRetrieval);
  RollbackWhenLogged();
  ME->SelectThreadInfo();
  ME->PostLastError();
  FileManager::RestoreState(*ME, state, *ME, true);
  return false;
}

bool FileRelations::NextChild(FieldPairs& pairs, bool (FieldPairs::*belongs)() const,
                              Level* result) {
  const Level read = ME->TryNext();
  // A failure other than the end (a held record too) ends the cascade: the buffer would still
  // hold the previous record's values and the step would act on no record.
  if (read != FatalityNone && ME->AtEndOfFile() == 0) {
    RollbackWhenLogged();
    ME->PostLastError();
    *result = FatalityNotify;
    return false;
  }
  return read == FatalityNone && (pairs.*belongs)();
}

// --- Non-virtual operations ---

void FileRelations::Init(FileManager* file_manager, bool use_logout) {
  ME = file_manager;
  RELATIONS = std::make_unique<std::vector<RelationEntry>>();
  USELOGOUT = use_logout ? 1 : 0;
}

FieldPairs* FileRelations::AddRelation(FileRelations* related, const FileKey* hiskey,
                                       std::uint8_t updatemode, std::uint8_t deletemode) {
  if (RELATIONS == nullptr || related == nullptr) return nullptr;
  if ((IsActiveMode(updatemode) || IsActiveMode(deletemode)) && hiskey == nullptr) return nullptr;
  // The enlisting recursions have no pass guard: refuse the relation that would close a loop.
  std::vector<EnlistNode> visited;
  const EnlistNode update_here{this, false};
  const EnlistNode delete_here{this, true};
  if (EnlistsUpdate(updatemode) && EnlistReaches({related, false}, update_here, &visited)) {
    return nullptr;
  }
  visited.clear();
  if (deletemode == RelationModeCascade && EnlistReaches({related, true}, delete_here, &visited)) {
    return nullptr;
  }
  visited.clear();
  if (deletemode == RelationModeClear && EnlistReaches({related, false}, delete_here, &visited)) {
    return nullptr;
  }

  RelationEntry entry;
  entry.FILE = related;
  entry.FIELDS = std::make_unique<FieldPairs>();
  entry.FIELDS->Init();
  entry.HISKEY = hiskey;
  entry.UPDATEMODE = updatemode;
  entry.DELETEMODE = deletemode;
  RELATIONS->push_back(std::move(entry));
  return RELATIONS->back().FIELDS.get();
}

Level FileRelations::EnlistInTransaction() {
  ME->UseFile(FileUse::kRecords);
  if (USELOGOUT == 0) return FatalityNone;
  if (ME->FILE == nullptr) {
    // Its driver has ended the file: it cannot take part, and what it frames must not go on.
    ME->PostError(ErrTransactionFrame);
    return FatalityNotify;
  }
  ME->FILE->SetTransactionParticipation(true);
  const StatusCode code = RuntimeErrorState::code();
  if (code == StatusOk) return FatalityNone;
  if (code == StatusNotSupported) {
    USELOGOUT = 0;
    return FatalityNone;
  }
  ME->PostError(ErrTransactionFrame);
  return FatalityNotify;
}

Level FileRelations::EnlistUpdateCascade() {
  Level result = EnlistInTransaction();
  for (RelationEntry& relation : Relations()) {
    if (result != FatalityNone) break;
    if (EnlistsUpdate(relation.UPDATEMODE)) result = relation.FILE->EnlistUpdateCascade();
  }
  return result;
}

Level FileRelations::EnlistDeleteCascade() {
  Level result = EnlistInTransaction();
  for (RelationEntry& relation : Relations()) {
    if (result != FatalityNone) break;
    if (relation.DELETEMODE == RelationModeCascade) {
      result = relation.FILE->EnlistDeleteCascade();
    } else if (relation.DELETEMODE == RelationModeClear) {
      result = relation.FILE->EnlistUpdateCascade();
    }
  }
  return result;
}

Level FileRelations::UpdateWithCascade() {
  for (RelationEntry& relation : Relations()) {
    if (!LinksChanged(relation)) continue;
    if (relation.FILE->CascadeUpdateChildren(relation.HISKEY, relation.FIELDS.get(),
                                             relation.UPDATEMODE) == FatalityNone) {
      continue;
    }
    relation.FIELDS->AssignBufferToLeft();
    return FatalityNotify;
  }
  if (ME->TryUpdate() == FatalityNone) return FatalityNone;
  RollbackWhenLogged();
  const Level shown = ME->PostLastError();
  // A level of 0 would read as success to the cascade, which would carry on writing.
  return shown != FatalityNone ? shown : FatalityNotify;
}

// --- Private ---

Level FileRelations::OpenOrClose(bool open, bool continuing) {
  if (continuing && LASTTOUCHED.load() == PASSCOUNTER.load()) return FatalityNone;
  if (!continuing) ++PASSCOUNTER;
  LASTTOUCHED.store(PASSCOUNTER.load());

  Level result = FatalityNone;
  if (open) {
    result = ME->Open();
    // Only after a successful open: UseFile on a file whose open failed would stop the program
    // with "File Usage Error" on top of the open's own message.
    if (result == FatalityNone && !continuing) result = ME->UseFile(FileUse::kRecords);
  } else {
    result = ME->Close();
  }
  for (RelationEntry& relation : Relations()) {
    if (result != FatalityNone) break;
    result = open ? relation.FILE->Open(true) : relation.FILE->Close(true);
  }
  return result;
}

Level FileRelations::BeginFrame(bool* framed) {
  *framed = false;
  // Every driver asked may have answered that it cannot take part (USELOGOUT is then off): the
  // operation goes on without a transaction. An empty frame would stay active for good, as
  // nothing would commit it, and refuse every later enlisting on this thread.
  if (Transaction::enlisted_count() == 0) return FatalityNone;
  Transaction::Begin(kTransactionTimeout);
  if (RuntimeErrorState::code() != StatusOk) {
    Report(ErrTransactionFrame);
    return FatalityNotify;
  }
  *framed = true;
  return FatalityNone;
}

Level FileRelations::CommitFrame(bool framed) {
  if (!framed) return FatalityNone;
  Transaction::Commit();
  if (RuntimeErrorState::code() == StatusOk) return FatalityNone;
  // A commit that failed must not pass for a completed operation.
  Report(ErrTransactionFrame);
  return FatalityNotify;
}

void FileRelations::RollbackWhenLogged() {
  if (USELOGOUT != 0) Transaction::Rollback();
}

Level FileRelations::Report(ErrorId id) {
  ME->SetError(id);
  ME->SelectThreadInfo();
  return ME->PostLastError();
}

std::span<RelationEntry> FileRelations::Relations() {
  if (RELATIONS == nullptr) return {};
  return *RELATIONS;
}

bool FileRelations::EnlistReaches(EnlistNode from, EnlistNode target,
                                  std::vector<EnlistNode>* visited) {
  if (from == target) return true;
  if (std::find(visited->begin(), visited->end(), from) != visited->end()) return false;
  visited->push_back(from);
  if (from.first->RELATIONS == nullptr) return false;
  const bool deleting = from.second;
  for (const RelationEntry& relation : *from.first->RELATIONS) {
    if (!deleting && EnlistsUpdate(relation.UPDATEMODE) &&
        EnlistReaches({relation.FILE, false}, target, visited)) {
      return true;
    }
    if (deleting && relation.DELETEMODE == RelationModeCascade &&
        EnlistReaches({relation.FILE, true}, target, visited)) {
      return true;
    }
    if (deleting && relation.DELETEMODE == RelationModeClear &&
        EnlistReaches({relation.FILE, false}, target, visited)) {
      return true;
    }
  }
  return false;
}

}  // namespace morlan
