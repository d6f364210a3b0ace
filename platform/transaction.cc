#include "platform/transaction.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/runtime_error_state.h"

namespace morlan {

namespace {

thread_local std::vector<DataFile*> enlisted;
thread_local bool transaction_active = false;

// Empties the list and ends each file's participation. The list is taken first because the
// drivers withdraw themselves from it while we walk it.
void EndFrame() {
  std::vector<DataFile*> files;
  files.swap(enlisted);
  transaction_active = false;
  for (DataFile* file : files) file->SetTransactionParticipation(false);
}

}  // namespace

void Transaction::Enlist(DataFile* file) {
  if (transaction_active) return RuntimeErrorState::Set(StatusInvalidRequest);
  if (!IsEnlisted(file)) enlisted.push_back(file);
  RuntimeErrorState::SetOk();
}

void Transaction::Withdraw(DataFile* file) {
  std::erase(enlisted, file);
  RuntimeErrorState::SetOk();
}

void Transaction::Begin(int timeout_seconds) {
  if (transaction_active) return RuntimeErrorState::Set(StatusInvalidRequest);
  for (std::size_t i = 0; i < enlisted.size(); ++i) {
    enlisted[i]->BeginTransaction(timeout_seconds);
    if (RuntimeErrorState::code() == StatusOk) continue;
    // The roll-backs run operations of their own; the caller must see the failed begin.
    const RuntimeErrorState::Saved failure = RuntimeErrorState::Save();
    for (std::size_t j = 0; j < i; ++j) enlisted[j]->RollbackTransaction();
    EndFrame();
    return RuntimeErrorState::Restore(failure);
  }
  transaction_active = true;
  RuntimeErrorState::SetOk();
}

void Transaction::Commit() {
  if (!transaction_active) return RuntimeErrorState::Set(StatusInvalidRequest);
  // The first failure is the one reported; later files still end their transactions.
  RuntimeErrorState::Saved first;
  for (DataFile* file : enlisted) {
    file->CommitTransaction();
    if (first.code == StatusOk && RuntimeErrorState::code() != StatusOk) {
      first = RuntimeErrorState::Save();
    }
  }
  EndFrame();
  RuntimeErrorState::Restore(first);
}

void Transaction::Rollback() {
  RuntimeErrorState::Saved first;
  if (transaction_active) {
    for (DataFile* file : enlisted) {
      file->RollbackTransaction();
      if (first.code == StatusOk && RuntimeErrorState::code() != StatusOk) {
        first = RuntimeErrorState::Save();
      }
    }
  }
  EndFrame();
  RuntimeErrorState::Restore(first);
}

bool Transaction::active() { return transaction_active; }

std::size_t Transaction::enlisted_count() { return enlisted.size(); }

bool Transaction::IsEnlisted(const DataFile* file) {
  return std::find(enlisted.begin(), enlisted.end(), file) != enlisted.end();
}

}  // namespace morlan
