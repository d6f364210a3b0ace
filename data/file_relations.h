// The relation manager of one data file: it knows the file's relations to other files and carries
// out what must reach them. Procedures open and close their files through it (a pass opens or
// closes the file and everything related to it, each file once), switch the driver's quick-scan
// mode over a family of files, and update or delete records with referential integrity: clear,
// restrict or cascade on the related records, framed in a transaction when the drivers take part.
//
// Relations: entry i of RELATIONS links this file to FILE. Its FIELDS pairs the linking fields,
// LEFT in this file and RIGHT in the related file (BUFFER keeps the left values from before the
// current change, see SaveLinkValues); HISKEY is a key of the related file whose leading
// components are the RIGHT fields, in pair order, so that the related records of this record can
// be found. UPDATEMODE and DELETEMODE say what changing this record's linking fields, or deleting
// this record, does to the related records: 0 nothing, 1 clear their linking fields, 2 refuse
// while they exist, 3 carry the change on (delete: delete them, recursively).
//
// Levels (common/levels.h): 0 success; 5 the operation did not happen (the reason has been shown);
// otherwise what the file manager or the error manager returned. Errors are shown through ME.
//
// Threading: the pass counter and LASTTOUCHED are process-wide and unlocked (atomic, so that
// concurrent passes are not undefined behaviour, though they may visit a file twice); the rest is
// used by one thread at a time. Transactions are the calling thread's (platform/transaction.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "common/error_ids.h"
#include "common/levels.h"
#include "data/field_pairs.h"
#include "platform/file_key.h"

namespace morlan {

class FileManager;
class FileRelations;

inline constexpr std::uint8_t RelationModeNone = 0;
inline constexpr std::uint8_t RelationModeClear = 1;
inline constexpr std::uint8_t RelationModeRestrict = 2;
inline constexpr std::uint8_t RelationModeCascade = 3;

// 1, 2 and 3 are active; anything else does nothing.
inline bool IsActiveMode(std::uint8_t mode) { return mode >= 1 && mode <= 3; }

struct RelationEntry final {
  FileRelations* FILE = nullptr;
  std::unique_ptr<FieldPairs> FIELDS;  // owned; null for a relation without linking fields
  const FileKey* HISKEY = nullptr;     // a key of FILE, owned by its driver
  std::uint8_t UPDATEMODE = RelationModeNone;
  std::uint8_t DELETEMODE = RelationModeNone;
};

class FileRelations {
 public:
  FileRelations() = default;
  virtual ~FileRelations() = default;

  FileRelations(const FileRelations&) = delete;
  FileRelations& operator=(const FileRelations&) = delete;

  // --- Virtual operations, in slot order ---

  // ME's CancelAutoNumber with this object, so an unfinished auto-numbered record is removed
  // through Delete(0) and its cascades.
  virtual Level CancelAutoNumber();
  // `continuing` 0 starts a new pass: closes this file and, once each, every file reachable
  // through the relations. 1 is for calls inside a pass. Stops at the first non-zero level.
  virtual Level Close(bool continuing);
  // Deletes ME's current record and applies the delete modes, in a transaction when USELOGOUT
  // is set. `ask` asks "Confirm Delete" first; any answer but Yes returns 5 and touches nothing.
  // A failed delete offers "Record Delete Error"; Yes tries again without asking to confirm.
  virtual Level Delete(bool ask);
  // Run on the related file's object by the parent's Delete: applies `mode` to the records of
  // this file that `key` finds equal to the parent's linking values (`pairs` LEFT). Puts this
  // file's state (buffer, position, auto-number flag) back before returning, also on failure.
  // Nothing to do (0) without a key or linking fields.
  virtual Level CascadeDeleteChildren(const FileKey* key, FieldPairs* pairs, std::uint8_t mode);
  // Releases the relations and their field pairs; safe to call twice.
  virtual void Kill();
  // As Close, opening. With `continuing` 0 this file is also opened physically at once (a missing
  // file is created when ME's CREATE says so); related lazy files are only counted. Open
  // failures return ME's level and the remaining related files are not opened.
  virtual Level Open(bool continuing);
  // Remembers the current linking values (LEFT into BUFFER) of every relation, so that Update
  // can tell which changed. Call it after reading the record that is about to change.
  virtual void SaveLinkValues();
  // Sends "QUICKSCAN=on" (or "=off") to this file. `propagate` 0: this file only. Otherwise its
  // low seven bits select the relations to pass it on to (1 those without HISKEY, 2 those with,
  // anything else all); the high bit marks a call inside a pass.
  virtual void SetQuickScan(bool on, std::uint8_t propagate);
  // Writes ME's record buffer and carries changed linking values to the related records by the
  // update modes, in a transaction when USELOGOUT is set. Returns 5 for a record changed by
  // another station (shown as "changed elsewhere", or as id 7 when `from_form`), 1 for other
  // write failures, the cascade's level when a cascade fails (the linking fields of ME's buffer
  // are then put back to their remembered values). Restrict modes are settled before the write:
  // a refused change writes nothing, with or without a transaction.
  virtual Level Update(bool from_form);
  // Run on the related file's object by the parent's Update: the records of this file linked to
  // the parent's old values (`pairs` BUFFER) are cleared (mode 1), refused (2: the parent's
  // linking fields are reset) or given the new values (3). State restored as for the delete.
  virtual Level CascadeUpdateChildren(const FileKey* key, FieldPairs* pairs, std::uint8_t mode);

  // --- Non-virtual operations ---

  // `file_manager` must be initialised and outlive this object.
  void Init(FileManager* file_manager, bool use_logout);

  // Adds a relation to `related` and returns its (empty) linking-field pairs, owned by the
  // relation; the caller adds the pairs, LEFT in this file and RIGHT in `related`, in the order
  // of `hiskey`'s leading components. Returns nullptr and adds nothing before Init or after Kill,
  // for a null `related`, for an active mode without `hiskey` (the related records could not be
  // found), and for modes that would make the transaction enlisting endless (a cycle of clear or
  // cascade modes back to a file, itself included).
  FieldPairs* AddRelation(FileRelations* related, const FileKey* hiskey, std::uint8_t updatemode,
                          std::uint8_t deletemode);

  // Makes ME's file take part in the calling thread's next transaction, when USELOGOUT is set.
  // A driver that cannot (80) clears USELOGOUT for good; 0. Any other failure shows "Transaction
  // cancelled" and returns 5.
  Level EnlistInTransaction();
  // This file, then (recursively) the files reached by update modes 1 and 3.
  Level EnlistUpdateCascade();
  // This file, then the files reached by delete mode 3 (recursively) and delete mode 1 (as for
  // an update).
  Level EnlistDeleteCascade();
  // Writes the related record just changed by a cascade, carrying changes of its own linking
  // fields on first. 0, or a non-zero level after showing why.
  Level UpdateWithCascade();

  // The process-wide pass number; 1 when the program starts.
  static std::int32_t pass_counter() { return PASSCOUNTER.load(); }

  // --- Fields, in declared order ---

  FileManager* ME = nullptr;
  std::unique_ptr<std::vector<RelationEntry>> RELATIONS;
  void* ALIASFILE = nullptr;  // not used
  std::uint8_t USELOGOUT = 0;
  std::atomic<std::int32_t> LASTTOUCHED{0};  // pass number of the last pass that visited the file

 private:
  inline static std::atomic<std::int32_t> PASSCOUNTER{1};

  // Open and Close.
  Level OpenOrClose(bool open, bool continuing);
  // One attempt of Delete after the question; sets `*offer_retry` when the record itself could
  // not be deleted.
  Level DeleteAttempt(bool* offer_retry);
  // Begins the thread's transaction over the enlisted files; `*framed` tells whether one began.
  Level BeginFrame(bool* framed);
  // Commits a transaction that began; a failed commit is shown and gives 5.
  Level CommitFrame(bool framed);
  // Starts reading this (the child) file's records of the parent: keeps the file's state in
  // `*state`, blanks the buffer, gives the linking fields `link`'s values and positions `key`
  // there. False, after a roll-back, when the file cannot be used or refuses the position (shown
  // as "Record Retrieval Error", the file's state put back).
  bool StartChildren(const FileKey* key, FieldPairs& pairs, void (FieldPairs::*link)(),
                     std::uint16_t* state);
  // Reads the next record; true while it belongs to the parent by `belongs`. A failed read
  // other than the end rolls back, shows its message and sets `*result` to 5.
  bool NextChild(FieldPairs& pairs, bool (FieldPairs::*belongs)() const, Level* result);
  // The roll-back of a cascade step, when USELOGOUT is set.
  void RollbackWhenLogged();
  // Records `id` with the platform's error state, names ME's file and shows it.
  Level Report(ErrorId id);
  // The relations, empty before Init and after Kill.
  std::span<RelationEntry> Relations();
  // True when the enlisting recursion started at `from` reaches `target`.
  using EnlistNode = std::pair<const FileRelations*, bool>;  // (file, enlisted for a delete)
  static bool EnlistReaches(EnlistNode from, EnlistNode target, std::vector<EnlistNode>* visited);
};

}  // namespace morlan
