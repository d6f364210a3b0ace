// The rows of a list control as a Qt item model: as many rows as the list has, but only the page
// the window model sent (ControlSnapshot::rows) holds text; a row off that page reads as empty
// until the view scrolls to it and the window model sends its page. Columns, their titles and
// alignment come from the list's format.
//
// Threading: GUI thread only.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <vector>

#include "platform/list_format.h"
#include "platform/window_snapshot.h"

namespace morlan {

class QtListModel final : public QAbstractTableModel {
 public:
  explicit QtListModel(QObject* parent) : QAbstractTableModel(parent) {}

  // Takes the columns, row count and page of `list`, telling the views only what changed: the
  // rows added or removed at the end, and the rows that entered or left the page.
  void Show(const ControlSnapshot& list);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Whether a column title is set; a list without titles shows no header.
  bool has_titles() const;
  const std::vector<ListColumn>& columns() const { return columns_; }

 private:
  // Tells the views that rows first..last (1-based, clipped to the list) changed.
  void RowsChanged(int first, int last);

  std::vector<ListColumn> columns_;
  int total_ = 0;
  int first_row_ = 1;
  std::vector<std::vector<QString>> page_;
};

}  // namespace morlan
