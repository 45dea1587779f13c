// The backups the library took before every change, newest first, each with what that change
// did, what restoring the chosen one would change in the user scope, "Restore" after a
// confirmation, and "Undo last change", which restores the backup taken before the latest
// change of the user scope, whichever front end made it. Restore and undo work on the user
// scope here.
#pragma once

#include "change_runner.h"
#include "library_queue.h"
#include "listing.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class BackupsPage : public QWidget {
  Q_OBJECT
public:
  BackupsPage(ChangeRunner runner, LibraryQueue &queue, QWidget *parent = nullptr);

  void show_backups(const std::vector<Backup> &backups, const Listing &user);
  // For each backup shown, what the change it came before did ("" when unknown).
  void show_changes(const std::vector<std::string> &changes);
  void undo_last_change();
  // Asks before a restore or an undo; tests replace it.
  std::function<bool(const QString &question)> confirm;

signals:
  void diffShown();

private:
  ChangeRunner runner_;
  LibraryQueue &queue_;
  Listing user_;
  std::vector<Backup> backups_;
  QTreeWidget *list_;
  QPlainTextEdit *diff_;
  QPushButton *restore_;
  QPushButton *undo_;
  QLabel *message_;

  void show_diff();
  void restore_selected();
};
