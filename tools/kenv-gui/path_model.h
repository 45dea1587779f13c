// The PATH entries of a scope as a list: each with its state, marked by an icon and a
// tooltip as well as a word (never by colour alone), and where it comes from. The scope's
// own entries can be moved, by the buttons or by a drag; a move is one env_path_move, which
// the model asks for through moveRequested, and the view reloads from the library after it.
// Each own entry has a check box: unchecking switches it off and checking puts it back,
// through switchRequested; a switched-off entry stays listed, greyed and unchecked, at its
// place.
#pragma once

#include "listing.h"
#include "views.h"

#include <QAbstractTableModel>

#include <vector>

class PathModel : public QAbstractTableModel {
  Q_OBJECT
public:
  enum Column { entry, state, origin, column_count };
  using QAbstractTableModel::QAbstractTableModel;

  void set(const std::string &scope, const std::vector<PathRow> &rows);
  const std::vector<PathEntry> &entries() const { return entries_; }
  // The position of the row among the scope's own entries, which the PATH edits count in;
  // -1 for a read-only row.
  int own_index(int row) const;
  int own_count() const;

  int rowCount(const QModelIndex &parent = {}) const override;
  int columnCount(const QModelIndex &parent = {}) const override;
  QVariant data(const QModelIndex &index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex &index) const override;
  // Unchecking or checking an entry asks for the switch; the view shows it after the reload.
  bool setData(const QModelIndex &index, const QVariant &value, int role) override;
  bool is_off(int row) const { return off_[static_cast<std::size_t>(row)]; }

  // A drag performs this: the row moves before `destination_child` (counted before the move).
  bool moveRows(const QModelIndex &source_parent, int source_row, int count,
                const QModelIndex &destination_parent, int destination_child) override;
  Qt::DropActions supportedDropActions() const override;
  QStringList mimeTypes() const override;
  QMimeData *mimeData(const QModelIndexList &indexes) const override;
  bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                    const QModelIndex &parent) override;

signals:
  void moveRequested(const QString &entry, int own_index);
  void switchRequested(const QString &entry, bool on);

private:
  std::string scope_;
  std::vector<PathEntry> entries_;
  std::vector<bool> off_;
  QString state_text(const PathEntry &e, bool off) const;
  QString origin_text(const PathEntry &e, bool off) const;
};
