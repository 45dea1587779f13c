// The profiles of a scope: each with a check box that switches it on or off (one change
// each), what it sets and, while it is on, what it replaced. A new profile is made from the
// variables selected on the Variables page or imported from a file; a profile that is off
// can be deleted. A refusal (another profile owns a variable, a variable changed since the
// profile went on) shows under the list, beside the switch that was flipped.
#pragma once

#include "change_runner.h"
#include "window_sets.h"

#include <QPushButton>
#include <QTreeWidget>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class ProfilesPage : public QWidget {
  Q_OBJECT
public:
  ProfilesPage(ChangeRunner runner, QWidget *parent = nullptr);

  void show_profiles(const std::string &scope, const std::vector<ProfileRow> &rows);
  void set_read_only(bool read_only);
  // The names selected on the Variables page, for "New from selected".
  std::function<std::vector<std::string>()> selected_names;
  // Ask for a profile's name and for a file to import; tests replace them.
  std::function<QString(const QString &suggested)> ask_name;
  std::function<QString()> choose_file;

private:
  ChangeRunner runner_;
  std::string scope_;
  bool read_only_ = false;
  bool filling_ = false;
  QTreeWidget *list_;
  QPushButton *new_;
  QPushButton *import_;
  QPushButton *delete_;
  QLabel *message_;

  void flipped(QTreeWidgetItem *item, int column);
  void new_from_selected();
  void import_file();
  void delete_selected();
  void update_buttons();
};
