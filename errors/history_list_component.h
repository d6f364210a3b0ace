// The list of the error history window: feeds the window's list control from the error manager's
// history as a virtual list (rows fetched through CellText, only the page on screen), and selects
// the newest entry when the window opens.
//
// Use: set ERR, HISTORY (the manager's history_list()) and WIN, and add the component to the
// history window (HistoryWindow::HISTORYHANDLER); the open-window event binds the list. Kill
// unbinds it, so the window, which outlives the component, never calls into a component that is
// gone.
//
// Threading: belongs to the thread that runs the history window. The history it reads may grow or
// shrink meanwhile on other threads; rows that are gone read as empty text.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "common/levels.h"
#include "errors/error_manager.h"
#include "window/window_component.h"

namespace morlan {

class Window;

class HistoryListComponent final : public WindowComponent {
 public:
  // What CellText answers: a number for the list's questions, a text for a cell.
  using Cell = std::variant<int, std::string>;
  // The list's questions, asked as rows.
  static constexpr int kRowCount = -1;
  static constexpr int kColumnCount = -2;
  static constexpr int kContentsChanged = -3;

  // --- WindowComponent ---

  // Unbinds the list (it then shows no rows).
  void Kill() override;
  void Reset(std::uint8_t force) override { (void)force; }
  bool NeedsReset() override { return false; }
  void RegisterAlerts() override {}
  // TakeWindowEvent.
  Level TakeEvent() override { return TakeWindowEvent(); }
  void Update() override {}
  // Shows the list's current page again.
  void Redraw() override;

  // --- Its own ---

  // On the open-window event: selects the last row (the newest entry), reads the list's column
  // count into LBCOLUMNS and binds the list to CellText. 0 for every event.
  Level TakeWindowEvent();
  // Answers the list: row kRowCount the number of entries, kColumnCount LBCOLUMNS,
  // kContentsChanged 1 (the history may change at any time, so every refresh fetches afresh);
  // row n >= 1 entry n (oldest first), column 1 its text, column 2 its category, any other
  // column, row or missing entry empty text.
  Cell CellText(int row, int column) const;

  // --- Fields ---

  ErrorManager* ERR = nullptr;                         // the manager that runs the window
  const ErrorManager::HistoryList* HISTORY = nullptr;  // the manager's list, read in place
  std::int16_t LBCOLUMNS = 0;                          // columns of the list control
  Window* WIN = nullptr;                               // the history window

 private:
  bool bound_ = false;  // the list fetches its rows through this component
};

}  // namespace morlan
