#include "backups_page.h"

#include "backup_diff.h"
#include "change_summary.h"
#include "library.h"
#include "models.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QSplitter>
#include <QVBoxLayout>

namespace {

QString change_lines(const std::vector<VariableChange> &changes) {
  QString out;
  for (const VariableChange &c : changes) {
    if (c.kind == VariableChange::added)
      out += QObject::tr("+ %1=%2\n").arg(shown(c.name), shown(c.backup));
    else if (c.kind == VariableChange::changed)
      out += QObject::tr("~ %1: %2  →  %3\n").arg(shown(c.name), shown(c.now), shown(c.backup));
    else
      out += QObject::tr("- %1=%2\n").arg(shown(c.name), shown(c.now));
  }
  return out;
}

} // namespace

BackupsPage::BackupsPage(ChangeRunner runner, LibraryQueue &queue, QWidget *parent)
    : QWidget(parent), runner_(std::move(runner)), queue_(queue) {
  confirm = [this](const QString &question) {
    return QMessageBox::question(this, tr("Restore a backup"), question) == QMessageBox::Yes;
  };
  auto *layout = new QVBoxLayout(this);
  auto *split = new QSplitter(this);
  list_ = new QTreeWidget(split);
  list_->setObjectName(QStringLiteral("backups"));
  list_->setHeaderLabels({tr("Taken (UTC)"), tr("Scope"), tr("Change"), tr("Variables"), tr("File")});
  list_->setRootIsDecorated(false);
  diff_ = new QPlainTextEdit(split);
  diff_->setObjectName(QStringLiteral("backupDiff"));
  diff_->setReadOnly(true);
  diff_->setPlaceholderText(tr("Choose a backup to see what restoring it would change."));
  layout->addWidget(split, 1);
  auto *row = new QHBoxLayout;
  restore_ = new QPushButton(tr("&Restore…"), this);
  restore_->setObjectName(QStringLiteral("restore"));
  undo_ = new QPushButton(tr("U&ndo last change"), this);
  undo_->setObjectName(QStringLiteral("undo"));
  row->addWidget(restore_);
  row->addWidget(undo_);
  row->addStretch(1);
  layout->addLayout(row);
  message_ = make_message_label(QStringLiteral("backupsMessage"), this);
  layout->addWidget(message_);
  restore_->setEnabled(false);
  undo_->setEnabled(false);
  connect(list_, &QTreeWidget::currentItemChanged, this, &BackupsPage::show_diff);
  connect(restore_, &QPushButton::clicked, this, &BackupsPage::restore_selected);
  connect(undo_, &QPushButton::clicked, this, &BackupsPage::undo_last_change);
}

void BackupsPage::show_backups(const std::vector<Backup> &backups, const Listing &user) {
  QString keep = list_->currentItem() ? list_->currentItem()->text(4) : QString();
  backups_ = backups;
  user_ = user;
  list_->clear();
  bool any_user = false;
  for (const Backup &b : backups) {
    auto *item = new QTreeWidgetItem(list_, {shown(b.ts.value_or("-")), shown(b.scope.value_or("-")),
                                             QString(), QString::number(b.vars), shown(b.path)});
    if (item->text(4) == keep)
      list_->setCurrentItem(item);
    any_user = any_user || !is_system_scope(b.scope);
  }
  list_->resizeColumnToContents(0);
  undo_->setEnabled(any_user);
}

void BackupsPage::show_changes(const std::vector<std::string> &changes) {
  for (int row = 0; row < list_->topLevelItemCount() && static_cast<std::size_t>(row) < changes.size(); ++row)
    list_->topLevelItem(row)->setText(2, QString::fromStdString(changes[static_cast<std::size_t>(row)]));
  list_->resizeColumnToContents(2);
}

void BackupsPage::show_diff() {
  QTreeWidgetItem *item = list_->currentItem();
  int row = item ? list_->indexOfTopLevelItem(item) : -1;
  restore_->setEnabled(row >= 0 && !is_system_scope(backups_[static_cast<std::size_t>(row)].scope));
  if (row < 0)
    return diff_->clear();
  std::string path = backups_[static_cast<std::size_t>(row)].path;
  Listing now = user_;
  queue_.run<QString>(
      this,
      [path, now] {
        try {
          QString lines = change_lines(backup_changes(read_backup_file(path), now));
          return lines.isEmpty() ? QObject::tr("This backup holds what the user scope holds now.") : lines;
        } catch (const std::exception &e) {
          return QString::fromUtf8(e.what());
        }
      },
      [this](QString text) {
        diff_->setPlainText(text);
        emit diffShown();
      });
}

void BackupsPage::restore_selected() {
  QTreeWidgetItem *item = list_->currentItem();
  if (!item)
    return;
  std::string path = backups_[static_cast<std::size_t>(list_->indexOfTopLevelItem(item))].path;
  if (!confirm(tr("Make the variables of %1 the user scope's variables again? A backup of the current state "
                  "is taken first.")
                   .arg(shown(path))))
    return;
  runner_([path] { return lib_restore(path); }, message_);
}

namespace {

struct Undoable {
  std::optional<LastChange> change;
  QString error;
};

} // namespace

void BackupsPage::undo_last_change() {
  queue_.run<Undoable>(
      this,
      [] {
        try {
          // Read afresh: another front end may have changed the scope since the last reload.
          return Undoable{last_change(parse_listing(lib_list("user"))), {}};
        } catch (const std::exception &e) {
          return Undoable{std::nullopt, QString::fromUtf8(e.what())};
        }
      },
      [this](Undoable undoable) {
        if (!undoable.change) {
          message_->setText(undoable.error.isEmpty()
                                ? tr("There is no backup of the user scope to go back to.")
                                : tr("Not undone: %1").arg(undoable.error));
          return message_->show();
        }
        const LastChange &change = *undoable.change;
        if (!confirm(tr("Undo the last change (%1) by restoring the backup taken before it (%2)?")
                         .arg(QString::fromStdString(change.summary), shown(change.backup_path))))
          return;
        runner_([change] { return undo_change(change); }, message_);
      });
}
