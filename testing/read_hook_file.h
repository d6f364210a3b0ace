// A driver double that runs a test's hook after every read (Next) of the file it wraps, with the
// number of reads so far: reading can take time on a manual clock, or the test can act at an
// exact point of a run (press Cancel, close a window). The hook leaves the read's error state as
// the read left it. Everything else is the wrapped file's, faults included (it is a
// FaultInjectingFile).
//
// Threading: the hook runs on the reading thread.
#pragma once

#include <functional>
#include <utility>

#include "platform/fault_injecting_file.h"
#include "platform/runtime_error_state.h"

namespace morlan::testing {

class ReadHookFile final : public FaultInjectingFile {
 public:
  explicit ReadHookFile(DataFile& inner, std::function<void(int reads)> hook = {})
      : FaultInjectingFile(inner), hook_(std::move(hook)) {}

  void Next() override {
    FaultInjectingFile::Next();
    ++reads_;
    if (!hook_) return;
    const RuntimeErrorState::Saved read = RuntimeErrorState::Save();
    hook_(reads_);
    RuntimeErrorState::Restore(read);
  }

  int reads() const { return reads_; }

 private:
  std::function<void(int)> hook_;
  int reads_ = 0;
};

}  // namespace morlan::testing
