// The PATH editor of a scope: its entries as a list, each with its state and where it comes
// from, and the edits of the scope's own entries, each one library call: add (typed or
// picked with a folder dialog) appends with env_path_add, remove is env_path_del, and moving
// by the buttons (Alt+Up, Alt+Down) or by a drag is env_path_move. Unchecking an own entry
// switches it off as one change, and checking it puts it back in its place.
#pragma once

#include "change_runner.h"
#include "path_model.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QWidget>

class PathPage : public QWidget {
  Q_OBJECT
public:
  PathPage(ChangeRunner runner, QWidget *parent = nullptr);

  void show_listing(const Listing &listing, const ProfileMarks &marks);
  void set_read_only(bool read_only);
  PathModel &model() { return model_; }

private:
  ChangeRunner runner_;
  std::string scope_;
  bool read_only_ = false;
  PathModel model_;
  QTreeView *list_;
  QLineEdit *entry_;
  QPushButton *browse_;
  QPushButton *add_;
  QPushButton *remove_;
  QPushButton *up_;
  QPushButton *down_;
  QLabel *message_;

  void build_buttons(class QVBoxLayout *layout);
  int current_row() const;
  void update_buttons();
  void add_entry();
  void remove_entry();
  void move_current(int by);
  void move_entry(const QString &entry, int own_index);
  void switch_entry(const QString &entry, bool on);
};
