#include "platform/transaction.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/runtime_error_state.h"

namespace morlan {

namespace {

thread_local std::vector<DataFile*> enlisted;
thread_local bool transaction_active = false;

// A copy of the error state, so that the cleanup steps after a failure cannot overwrite the
// status the caller needs to see.
struct SavedError {
  StatusCode code = StatusOk;
  std::string text;
  std::string driver_code;
  std::string driver_text;

  static SavedError Take() {
    return {RuntimeErrorState::code(), std::string(RuntimeErrorState::text()),
            std::string(RuntimeErrorState::driver_code()),
            std::string(RuntimeErrorState::driver_text())};
  }

  void Put() const {
    if (code == StatusOk) return RuntimeErrorState::SetOk();
    if (code == StatusDriverError)
      return RuntimeErrorState::SetDriverError(driver_code, driver_text);
    RuntimeErrorState::Set(code, text);
  }
};

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
    const SavedError failure = SavedError::Take();
    for (std::size_t j = 0; j < i; ++j) enlisted[j]->RollbackTransaction();
    EndFrame();
    return failure.Put();
  }
  transaction_active = true;
  RuntimeErrorState::SetOk();
}

void Transaction::Commit() {
  if (!transaction_active) return RuntimeErrorState::Set(StatusInvalidRequest);
  SavedError first;
  for (DataFile* file : enlisted) {
    file->CommitTransaction();
    if (first.code == StatusOk && RuntimeErrorState::code() != StatusOk) {
      first = SavedError::Take();
    }
  }
  EndFrame();
  first.Put();
}

void Transaction::Rollback() {
  SavedError first;
  if (transaction_active) {
    for (DataFile* file : enlisted) {
      file->RollbackTransaction();
      if (first.code == StatusOk && RuntimeErrorState::code() != StatusOk) {
        first = SavedError::Take();
      }
    }
  }
  EndFrame();
  first.Put();
}

bool Transaction::active() { return transaction_active; }

std::size_t Transaction::enlisted_count() { return enlisted.size(); }

bool Transaction::IsEnlisted(const DataFile* file) {
  return std::find(enlisted.begin(), enlisted.end(), file) != enlisted.end();
}

}  // namespace morlan
