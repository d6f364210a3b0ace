#include "platform/qt/qt_list_model.h"

#include <algorithm>

namespace morlan {

namespace {

Qt::Alignment ToQt(ColumnAlignment alignment) {
  switch (alignment) {
    case ColumnAlignment::kLeft:
      return Qt::AlignLeft | Qt::AlignVCenter;
    case ColumnAlignment::kRight:
    case ColumnAlignment::kDecimal:
      return Qt::AlignRight | Qt::AlignVCenter;
    case ColumnAlignment::kCentre:
      return Qt::AlignHCenter | Qt::AlignVCenter;
  }
  return Qt::AlignLeft | Qt::AlignVCenter;
}

}  // namespace

void QtListModel::Show(const ControlSnapshot& list) {
  std::vector<ListColumn> columns = list.columns;
  if (columns.empty()) columns.emplace_back();  // a list always shows one column at least
  if (columns != columns_) {
    // Only when the program changes the format: rare, and the views must start over.
    beginResetModel();
    columns_ = std::move(columns);
    total_ = 0;
    page_.clear();
    endResetModel();
  }

  const int total = std::max(list.total_rows, 0);
  if (total > total_) {
    beginInsertRows(QModelIndex(), total_, total - 1);
    total_ = total;
    endInsertRows();
  }
  if (total < total_) {
    beginRemoveRows(QModelIndex(), total, total_ - 1);
    total_ = total;
    endRemoveRows();
  }

  std::vector<std::vector<QString>> page;
  page.reserve(list.rows.size());
  for (const std::vector<std::string>& row : list.rows) {
    std::vector<QString> cells;
    cells.reserve(row.size());
    for (const std::string& cell : row) cells.push_back(QString::fromStdString(cell));
    page.push_back(std::move(cells));
  }
  if (page == page_ && list.first_row == first_row_) return;
  const int old_first = first_row_;
  const int old_last = first_row_ + static_cast<int>(page_.size()) - 1;
  first_row_ = list.first_row;
  page_ = std::move(page);
  RowsChanged(old_first, old_last);
  RowsChanged(first_row_, first_row_ + static_cast<int>(page_.size()) - 1);
}

void QtListModel::RowsChanged(int first, int last) {
  first = std::max(first, 1);
  last = std::min(last, total_);
  if (first > last) return;
  emit dataChanged(index(first - 1, 0), index(last - 1, columnCount() - 1), {Qt::DisplayRole});
}

int QtListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : total_; }

int QtListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant QtListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.column() >= columnCount()) return {};
  if (role == Qt::TextAlignmentRole) {
    return QVariant::fromValue(ToQt(columns_[static_cast<std::size_t>(index.column())].alignment));
  }
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  const int at = index.row() + 1 - first_row_;
  if (at < 0 || at >= static_cast<int>(page_.size())) return QString();
  const std::vector<QString>& row = page_[static_cast<std::size_t>(at)];
  const auto column = static_cast<std::size_t>(index.column());
  return column < row.size() ? row[column] : QString();
}

QVariant QtListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
  const ListColumn& column = columns_[static_cast<std::size_t>(section)];
  if (role == Qt::DisplayRole) return QString::fromStdString(column.title);
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(ToQt(column.title_alignment));
  return {};
}

bool QtListModel::has_titles() const {
  return std::any_of(columns_.begin(), columns_.end(),
                     [](const ListColumn& c) { return !c.title.empty(); });
}

}  // namespace morlan
