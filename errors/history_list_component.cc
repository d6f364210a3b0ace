#include "errors/history_list_component.h"

#include <algorithm>
#include <climits>
#include <optional>

#include "errors/history_window_definition.h"
#include "platform/event_loop.h"
#include "platform/window.h"

namespace morlan {

namespace {

int Number(const HistoryListComponent::Cell& cell) {
  const int* number = std::get_if<int>(&cell);
  return number != nullptr ? *number : 0;
}

std::string Text(HistoryListComponent::Cell cell) {
  std::string* text = std::get_if<std::string>(&cell);
  return text != nullptr ? std::move(*text) : std::string();
}

}  // namespace

void HistoryListComponent::Kill() {
  // A list this component never bound (its window never opened here) is not its to change.
  if (WIN == nullptr || !bound_) return;
  bound_ = false;
  // The window is prepared once and outlives this component: its list must not keep calling
  // back into it. An empty source also clears the rows and the selection this run showed.
  WIN->SetListSource(kHistoryListControl, {[] { return 0; }, [](int, int) { return std::string(); },
                                           [] { return false; }});
}

void HistoryListComponent::Redraw() {
  if (WIN != nullptr) WIN->Display(kHistoryListControl);
}

Level HistoryListComponent::TakeWindowEvent() {
  const EventLoop* loop = EventLoop::Current();
  if (loop == nullptr || loop->event() != EventOpenWindow || WIN == nullptr) return FatalityNone;
  LBCOLUMNS = static_cast<std::int16_t>(WIN->column_count(kHistoryListControl));
  bound_ = true;
  WIN->SetListSource(kHistoryListControl,
                     {[this] { return Number(CellText(kRowCount, 0)); },
                      [this](int row, int column) { return Text(CellText(row, column)); },
                      [this] { return Number(CellText(kContentsChanged, 0)) != 0; }});
  // Selected once the list knows its length: a row beyond the rows the list last had (none,
  // after the previous run) would be cut back to them.
  WIN->SelectRow(kHistoryListControl, Number(CellText(kRowCount, 0)));
  return FatalityNone;
}

HistoryListComponent::Cell HistoryListComponent::CellText(int row, int column) const {
  switch (row) {
    case kRowCount:
      if (HISTORY == nullptr) return 0;
      return static_cast<int>(std::min<std::size_t>(HISTORY->size(), INT_MAX));
    case kColumnCount:
      return static_cast<int>(LBCOLUMNS);
    case kContentsChanged:
      return 1;
    default:
      break;
  }
  if (row < 1 || HISTORY == nullptr || (column != 1 && column != 2)) return std::string();
  std::optional<ErrorManager::HistoryEntry> entry = HISTORY->at(static_cast<std::size_t>(row - 1));
  if (!entry) return std::string();
  return column == 1 ? std::move(entry->TXT) : std::move(entry->CATEGORY);
}

}  // namespace morlan
