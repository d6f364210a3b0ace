// The calling thread's transaction frame over the data files it enlisted.
//
// Drivers enlist and withdraw their files from SetTransactionParticipation. Begin starts a
// transaction on every enlisted file (in the order they were enlisted), Commit makes their changes
// stand and Rollback undoes them; either ends the frame: the thread's list is emptied and each
// file's participation ends (SetTransactionParticipation(false)).
//
// Error state: every operation leaves RuntimeErrorState set: 0 on success, otherwise the status of
// the first file that failed (with its texts), or 47 for a request that does not fit the frame's
// state (Enlist or Begin while a transaction is active, Commit without one).
//
// Threading: the list and the active flag are thread_local; each thread has its own frame. A file
// must be withdrawn (or its transaction ended) before it is destroyed; drivers do that in their
// destructors, which must then run on the enlisting thread.
#pragma once

#include <cstddef>

#include "platform/data_file.h"

namespace morlan {

class Transaction {
 public:
  Transaction() = delete;

  // Adds `file` to the thread's list; enlisting a listed file again changes nothing. 47 while a
  // transaction is active (a file cannot join a begun transaction).
  static void Enlist(DataFile* file);
  // Removes `file` from the list, if there. Always succeeds; a file withdrawn from an active
  // transaction is no longer reached by Commit or Rollback.
  static void Withdraw(DataFile* file);

  // Calls BeginTransaction on each enlisted file. When one fails, the files already begun are
  // rolled back, the frame ends as after Rollback, and the failing file's status is left set.
  static void Begin(int timeout_seconds);
  // Calls CommitTransaction on each file, carrying on past a failure (the files committed cannot
  // be undone), and ends the frame. The first failure's status is left set. 47 when no
  // transaction is active; the list then stays as it was.
  static void Commit();
  // Calls RollbackTransaction on each file of an active transaction and ends the frame; the first
  // failure's status is left set. Without an active transaction it only ends the frame
  // (withdrawing every enlisted file) and succeeds.
  static void Rollback();

  // Plain accessors (the error state is not touched).
  static bool active();
  static std::size_t enlisted_count();
  static bool IsEnlisted(const DataFile* file);
};

}  // namespace morlan
