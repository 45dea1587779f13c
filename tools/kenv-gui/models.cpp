#include "models.h"

#include "output.h"

QString shown(const std::string &text) {
  return QString::fromStdString(visible(text));
}

void VariablesModel::set(std::vector<Variable> vars, std::vector<std::string> places) {
  beginResetModel();
  vars_ = std::move(vars);
  places_ = std::move(places);
  endResetModel();
}

int VariablesModel::rowCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : static_cast<int>(vars_.size());
}

int VariablesModel::columnCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : column_count;
}

QVariant VariablesModel::data(const QModelIndex &index, int role) const {
  if (!index.isValid() || index.row() >= rowCount())
    return {};
  const Variable &v = vars_[static_cast<std::size_t>(index.row())];
  if (role == raw_name_role)
    return QString::fromStdString(v.name);
  if (role == raw_value_role)
    return QString::fromStdString(v.value);
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
    return {};
  switch (index.column()) {
  case name:
    return shown(v.name);
  case value:
    return shown(v.value);
  case expanded:
    return shown(v.expanded);
  default:
    return QString::fromStdString(places_[static_cast<std::size_t>(index.row())]);
  }
}

QVariant VariablesModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
    return {};
  static const char *const titles[] = {"Name", "Value", "Expanded value", "Comes from"};
  return tr(titles[section]);
}

void SessionModel::set(std::vector<SessionVariable> vars) {
  beginResetModel();
  vars_ = std::move(vars);
  endResetModel();
}

int SessionModel::rowCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : static_cast<int>(vars_.size());
}

int SessionModel::columnCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : column_count;
}

QVariant SessionModel::data(const QModelIndex &index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
    return {};
  const SessionVariable &v = vars_[static_cast<std::size_t>(index.row())];
  switch (index.column()) {
  case name:
    return shown(v.name);
  case value:
    return shown(v.value);
  case file:
    return shown(v.file);
  default:
    if (!v.differs)
      return role == Qt::ToolTipRole ? tr("a login shell gets the same value") : QString();
    return v.shell ? shown(*v.shell) : tr("(not set)");
  }
}

QVariant SessionModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
    return {};
  static const char *const titles[] = {"Name", "Value in a new session", "Set by",
                                       "A login shell gets instead"};
  return tr(titles[section]);
}
