#include "platform/qt/qt_list_view.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>
#include <utility>

#include "platform/qt/qt_list_model.h"

namespace morlan {

QtListView::QtListView(QWidget* parent, Callbacks callbacks)
    : QTableView(parent), callbacks_(std::move(callbacks)), model_(new QtListModel(this)) {
  setModel(model_);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setShowGrid(false);
  setWordWrap(false);
  setTabKeyNavigation(false);
  // Every row the same height, never measured: a list of any length costs what its page costs.
  QHeaderView* rows = verticalHeader();
  rows->hide();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(fontMetrics().height() + 4);
  QHeaderView* header = horizontalHeader();
  header->setHighlightSections(false);
  header->setSectionsClickable(false);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void QtListView::Show(const ControlSnapshot& list, int selected, int first_row,
                      const std::vector<int>& column_widths) {
  applying_ = true;
  const int columns_before = model_->columnCount();
  model_->Show(list);
  if (model_->columnCount() != columns_before) {
    horizontalHeader()->setVisible(model_->has_titles());
    const int columns = model_->columnCount();
    for (int c = 0; c < columns; ++c) {
      const int width = c < static_cast<int>(column_widths.size()) ? column_widths[c] : 0;
      const bool resizable = model_->columns()[static_cast<std::size_t>(c)].resizable;
      horizontalHeader()->setSectionResizeMode(
          c, resizable ? QHeaderView::Interactive : QHeaderView::Fixed);
      if (width > 0) setColumnWidth(c, width);
    }
    // A column without a width takes what is left, as the last one does when none has a width.
    horizontalHeader()->setStretchLastSection(column_widths.empty() || column_widths.back() <= 0);
  }

  if (selected != selected_row()) {
    // Scrolling is the page's business below, not the selection's.
    const bool auto_scroll = hasAutoScroll();
    setAutoScroll(false);
    if (selected > 0 && selected <= model_->rowCount()) {
      selectionModel()->setCurrentIndex(
          model_->index(selected - 1, 0),
          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    } else {
      selectionModel()->clear();
    }
    setAutoScroll(auto_scroll);
  }
  applying_ = false;
  if (first_row >= 1 && first_row != first_visible_row()) {
    verticalScrollBar()->setValue(first_row - 1);
  }
  ReportPage();
}

int QtListView::first_visible_row() const { return verticalScrollBar()->value() + 1; }

int QtListView::visible_rows() const {
  const int row_height = std::max(verticalHeader()->defaultSectionSize(), 1);
  return std::max((viewport()->height() + row_height - 1) / row_height, 1);
}

int QtListView::selected_row() const {
  const QModelIndexList rows = selectionModel()->selectedRows();
  return rows.empty() ? 0 : rows.first().row() + 1;
}

void QtListView::selectionChanged(const QItemSelection& selected,
                                  const QItemSelection& deselected) {
  QTableView::selectionChanged(selected, deselected);
  if (applying_ || selected.isEmpty() || !callbacks_.picked) return;
  callbacks_.picked(selected.indexes().first().row() + 1);
}

void QtListView::mouseDoubleClickEvent(QMouseEvent* event) {
  QTableView::mouseDoubleClickEvent(event);
  const QModelIndex index = indexAt(event->position().toPoint());
  if (event->button() != Qt::LeftButton || !index.isValid() || !callbacks_.activated) return;
  callbacks_.activated(index.row() + 1);
}

void QtListView::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  ReportPage();
}

void QtListView::scrollContentsBy(int dx, int dy) {
  QTableView::scrollContentsBy(dx, dy);
  ReportPage();
}

void QtListView::ReportPage() {
  if (applying_ || !isVisible()) return;
  const int first = first_visible_row();
  const int rows = visible_rows();
  if (first == reported_first_ && rows == reported_rows_) return;
  reported_first_ = first;
  reported_rows_ = rows;
  if (callbacks_.paged) callbacks_.paged(first, rows);
}

}  // namespace morlan
