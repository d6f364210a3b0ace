// A list control on screen: a table with the list's columns (titles in a header when the format
// gives any) over a QtListModel, one row selected at most. What the person does comes out through
// the callbacks, rows numbered from 1 in the whole list: a row picked (click, arrow keys), a row
// double-clicked, and the page on screen (its first row and how many rows it shows, a partly
// shown last row included) whenever scrolling or resizing changes it.
//
// The program's changes (Show) move the selection and the page without calling back.
//
// Threading: GUI thread only.
#pragma once

#include <QTableView>
#include <functional>

#include "platform/window_snapshot.h"

namespace morlan {

class QtListModel;

class QtListView final : public QTableView {
 public:
  struct Callbacks {
    std::function<void(int row)> picked;
    std::function<void(int row)> activated;
    std::function<void(int first_row, int rows)> paged;
  };

  QtListView(QWidget* parent, Callbacks callbacks);

  // Shows `list`, a later state of the list, with row `selected` selected (0: none) and the page
  // starting at `first_row` on screen, as the person should see them. `column_widths` are the
  // columns' widths in pixels (0: as wide as the rest of the view).
  void Show(const ControlSnapshot& list, int selected, int first_row,
            const std::vector<int>& column_widths);

  // The page on screen, and the selected row (0: none).
  int first_visible_row() const;
  int visible_rows() const;
  int selected_row() const;

 protected:
  // A row the person selects; a row made current without being selected (as the view does when
  // it gets the focus) is not picked.
  void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
  // A double click activates the row under it, once the first click has picked it.
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  void ReportPage();

  Callbacks callbacks_;
  QtListModel* const model_;
  bool applying_ = false;  // the program's change: no callbacks
  int reported_first_ = 0;
  int reported_rows_ = 0;
};

}  // namespace morlan
