// The backups the library took before every change, newest first, with what restoring the
// chosen one would change in the user scope, "Restore" after a confirmation, and "Undo last
// change", which restores the backup the last change made here took: the newest user backup
// taken at or after that change started. Restore and undo exist for the user scope only, as
// in the library.
#pragma once

#include "change_runner.h"
#include "library_queue.h"
#include "listing.h"

#include <QDateTime>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QWidget>

#include <functional>
#include <optional>

class BackupsPage : public QWidget {
  Q_OBJECT
public:
  BackupsPage(ChangeRunner runner, LibraryQueue &queue, QWidget *parent = nullptr);

  void show_backups(const std::vector<Backup> &backups, const Listing &user);
  // Called as a change of the user scope starts.
  void change_started(const QDateTime &utc);
  void undo_last_change();
  // Asks before a restore; tests replace it.
  std::function<bool(const QString &question)> confirm;

signals:
  void diffShown();

private:
  ChangeRunner runner_;
  LibraryQueue &queue_;
  Listing user_;
  std::vector<Backup> backups_;
  std::optional<QDateTime> last_change_;
  QTreeWidget *list_;
  QPlainTextEdit *diff_;
  QPushButton *restore_;
  QPushButton *undo_;
  QLabel *message_;

  void show_diff();
  void restore_selected();
};

// The backup a change that started at `started` (UTC) took: the newest backup of the user
// scope whose time is that or later. nullopt when there is none. `backups` is newest first.
std::optional<Backup> backup_taken_by(const std::vector<Backup> &backups, const QDateTime &started);
