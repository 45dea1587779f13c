// The variables of a scope: a table filtered by text, and a form below it that adds, edits
// and deletes one variable. Selecting a row fills the form; "Set" writes the form's name and
// value with env_set, "Delete" removes the name with env_del, and "Edit as list" edits a
// value that holds the separator (PATH-like variables: MANPATH, XDG_DATA_DIRS, ...) as a
// list, written back whole with env_set.
#pragma once

#include "change_runner.h"
#include "listing.h"
#include "models.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QWidget>

class VariablesPage : public QWidget {
  Q_OBJECT
public:
  VariablesPage(ChangeRunner runner, QWidget *parent = nullptr);

  void show_listing(const Listing &listing);
  void set_read_only(bool read_only);
  VariablesModel &model() { return model_; }
  // The names of the selected rows.
  std::vector<std::string> selected_names() const;

private:
  ChangeRunner runner_;
  std::string scope_;
  std::string separator_;
  VariablesModel model_;
  QSortFilterProxyModel filtered_;
  QLineEdit *filter_;
  QTableView *table_;
  QLineEdit *name_;
  QLineEdit *value_;
  QPushButton *new_;
  QPushButton *set_;
  QPushButton *delete_;
  QPushButton *edit_list_;
  QLabel *message_;

  void build_form(class QVBoxLayout *layout);
  void fill_form(const QModelIndex &index);
  void update_buttons();
  void set_variable();
  void delete_variable();
  void edit_as_list();
};
