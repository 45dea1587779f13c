#include "path_model.h"

#include "models.h"
#include "window_texts.h"

#include <QApplication>
#include <QMimeData>
#include <QPalette>
#include <QStyle>

namespace {

const char row_mime[] = "application/x-kenv-path-row";

} // namespace

void PathModel::set(const std::string &scope, const std::vector<PathRow> &rows) {
  beginResetModel();
  scope_ = scope;
  entries_.clear();
  off_.clear();
  for (const PathRow &row : rows) {
    // A switched-off entry is no entry of PATH: it is neither moved nor counted among the own.
    entries_.push_back(row.entry ? *row.entry : PathEntry{row.off->entry, true, false, "path", "", false});
    off_.push_back(row.off != nullptr);
  }
  endResetModel();
}

int PathModel::own_index(int row) const {
  return row < 0 ? -1 : ::own_index(entries_, static_cast<std::size_t>(row));
}

int PathModel::own_count() const {
  return ::own_count(entries_);
}

int PathModel::rowCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

int PathModel::columnCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : column_count;
}

QString PathModel::state_text(const PathEntry &e, bool off) const {
  if (off)
    return tr("switched off");
  return QString::fromStdString(entry_state_text(e));
}

QString PathModel::origin_text(const PathEntry &e, bool off) const {
  if (off)
    return tr("%1 scope · switched off").arg(QString::fromStdString(scope_));
  return QString::fromStdString(entry_origin_text(e, scope_));
}

QVariant PathModel::data(const QModelIndex &index, int role) const {
  if (!index.isValid() || index.row() >= rowCount())
    return {};
  const PathEntry &e = entries_[static_cast<std::size_t>(index.row())];
  bool off = off_[static_cast<std::size_t>(index.row())];
  if (role == Qt::CheckStateRole && index.column() == entry && (e.editable || off))
    return off ? Qt::Unchecked : Qt::Checked;
  if (role == Qt::ForegroundRole && off)
    return QApplication::palette().color(QPalette::Disabled, QPalette::Text);
  bool flagged = !e.exists || e.dup;
  if (role == Qt::DecorationRole && index.column() == entry && flagged) {
    QStyle::StandardPixmap icon = e.exists ? QStyle::SP_MessageBoxInformation : QStyle::SP_MessageBoxWarning;
    return QApplication::style()->standardIcon(icon);
  }
  if (role == Qt::ToolTipRole && off)
    return tr("switched off: not in PATH until checked again") + QStringLiteral("\n") + origin_text(e, off);
  if (role == Qt::ToolTipRole)
    return flagged ? state_text(e, off) + QStringLiteral("\n") + origin_text(e, off) : origin_text(e, off);
  if (role == Qt::UserRole)
    return QString::fromStdString(e.entry);
  if (role != Qt::DisplayRole)
    return {};
  if (index.column() == entry)
    return e.entry.empty() ? tr("(empty)") : shown(e.entry);
  return index.column() == state ? state_text(e, off) : origin_text(e, off);
}

QVariant PathModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
    return {};
  static const char *const titles[] = {"Entry", "State", "Comes from"};
  return tr(titles[section]);
}

Qt::ItemFlags PathModel::flags(const QModelIndex &index) const {
  if (!index.isValid())
    return Qt::ItemIsDropEnabled;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (entries_[static_cast<std::size_t>(index.row())].editable)
    f |= Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
  if (index.column() == entry &&
      (entries_[static_cast<std::size_t>(index.row())].editable || is_off(index.row())))
    f |= Qt::ItemIsUserCheckable;
  return f;
}

bool PathModel::setData(const QModelIndex &index, const QVariant &value, int role) {
  if (role != Qt::CheckStateRole || !(flags(index) & Qt::ItemIsUserCheckable))
    return false;
  bool on = value.value<Qt::CheckState>() == Qt::Checked;
  if (on == !is_off(index.row()))
    return false;
  emit switchRequested(QString::fromStdString(entries_[static_cast<std::size_t>(index.row())].entry), on);
  return false;
}

bool PathModel::moveRows(const QModelIndex &source_parent, int source_row, int count,
                         const QModelIndex &destination_parent, int destination_child) {
  if (source_parent.isValid() || destination_parent.isValid() || count != 1 || own_index(source_row) < 0)
    return false;
  destination_child = std::clamp(destination_child, 0, rowCount());
  if (destination_child == source_row || destination_child == source_row + 1)
    return false;
  // The entry's position among the own entries once it has moved.
  int own = own_index_moved(entries_, static_cast<std::size_t>(source_row),
                            static_cast<std::size_t>(destination_child));
  QString moved = QString::fromStdString(entries_[static_cast<std::size_t>(source_row)].entry);
  beginMoveRows({}, source_row, source_row, {}, destination_child);
  PathEntry e = std::move(entries_[static_cast<std::size_t>(source_row)]);
  entries_.erase(entries_.begin() + source_row);
  int at = destination_child > source_row ? destination_child - 1 : destination_child;
  entries_.insert(entries_.begin() + at, std::move(e));
  endMoveRows();
  emit moveRequested(moved, own);
  return true;
}

Qt::DropActions PathModel::supportedDropActions() const {
  return Qt::MoveAction;
}

QStringList PathModel::mimeTypes() const {
  return {QString::fromLatin1(row_mime)};
}

QMimeData *PathModel::mimeData(const QModelIndexList &indexes) const {
  if (indexes.isEmpty())
    return nullptr;
  auto *data = new QMimeData;
  data->setData(QString::fromLatin1(row_mime), QByteArray::number(indexes.first().row()));
  return data;
}

// The drop moves the row itself and answers false, so that the view does not also remove
// the dragged row as it would after a move between models.
bool PathModel::dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int,
                             const QModelIndex &parent) {
  if (action != Qt::MoveAction || !data->hasFormat(QString::fromLatin1(row_mime)))
    return false;
  int destination = row >= 0 ? row : (parent.isValid() ? parent.row() : rowCount());
  moveRows({}, data->data(QString::fromLatin1(row_mime)).toInt(), 1, {}, destination);
  return false;
}
