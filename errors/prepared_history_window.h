// The error manager's history window as the program keeps it: prepared once from its definition
// (at start-up), reused by every run, freed with this object (at exit). Start-up hands it to the
// error manager with ErrorManager::SetHistoryView; it must outlive every run.
//
// Each run builds a HistoryWindow and its HistoryListComponent over the prepared window, runs
// them modally on the calling thread, reads the answer and drops both. A run that finds the
// prepared window in use (another thread's run, or a run nested on the same thread) prepares a
// window of its own for that run instead of waiting, since a thread waiting for another's window
// could be the GUI thread that window needs.
//
// Threading: Run may be called from any thread, by several at once.
#pragma once

#include <atomic>
#include <string_view>

#include "common/codes.h"
#include "errors/history_view.h"
#include "platform/window.h"

namespace morlan {

class ErrorManager;

class PreparedHistoryWindow final : public HistoryView {
 public:
  PreparedHistoryWindow();
  PreparedHistoryWindow(const PreparedHistoryWindow&) = delete;
  PreparedHistoryWindow& operator=(const PreparedHistoryWindow&) = delete;

  // See HistoryView::Run.
  ButtonFlags Run(ErrorManager& manager, std::string_view caption, int icon, ButtonFlags buttons,
                  ButtonFlags default_button) override;

  // The prepared window. Its properties belong to the run in progress, if any.
  const Window& window() const { return window_; }

 private:
  Window window_;
  std::atomic<bool> busy_{false};  // a run has the prepared window
};

}  // namespace morlan
