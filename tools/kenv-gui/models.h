// Table models over a listing: the scope's variables and what a new session gets. They hold
// the listing's records as they are and make display texts only for the rows a view asks
// for, so that a reload of ten thousand variables costs one copy of the records.
#pragma once

#include "listing.h"

#include <QAbstractTableModel>

#include <vector>

// Role of the raw name (a QString) of a row, for the edit form.
inline constexpr int raw_name_role = Qt::UserRole + 1;
// Role of the raw value (a QString) of a row.
inline constexpr int raw_value_role = Qt::UserRole + 2;

// A text as a view shows it: control characters written as \n, \t, \xHH.
QString shown(const std::string &text);

class VariablesModel : public QAbstractTableModel {
  Q_OBJECT
public:
  enum Column { name, value, expanded, source, column_count };
  using QAbstractTableModel::QAbstractTableModel;

  // The variables with where each comes from, in the user's words.
  void set(std::vector<Variable> vars, std::vector<std::string> places);
  const std::vector<Variable> &vars() const { return vars_; }

  int rowCount(const QModelIndex &parent = {}) const override;
  int columnCount(const QModelIndex &parent = {}) const override;
  QVariant data(const QModelIndex &index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
  std::vector<Variable> vars_;
  std::vector<std::string> places_;
};

class SessionModel : public QAbstractTableModel {
  Q_OBJECT
public:
  enum Column { name, value, file, shell, column_count };
  using QAbstractTableModel::QAbstractTableModel;

  void set(std::vector<SessionVariable> vars);
  const std::vector<SessionVariable> &vars() const { return vars_; }

  int rowCount(const QModelIndex &parent = {}) const override;
  int columnCount(const QModelIndex &parent = {}) const override;
  QVariant data(const QModelIndex &index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
  std::vector<SessionVariable> vars_;
};
