#include "main_window.h"

#include "library.h"
#include "scope_changes.h"
#include "system_edit.h"
#include "window_sets.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>

#include <memory>
#include <set>

// Both scopes and the backups as the library returned them in one reload.
struct Snapshot {
  Listing user, system;
  ScopeSets user_sets, system_sets;
  std::vector<Backup> backups;
  QStringList errors;
};

namespace {

Listing load_scope(const std::string &scope, QStringList &errors) {
  try {
    return parse_listing(lib_list(scope));
  } catch (const std::exception &e) {
    errors << QObject::tr("%1 scope: %2").arg(QString::fromStdString(scope), QString::fromUtf8(e.what()));
    Listing empty;
    empty.scope = scope;
    return empty;
  }
}

// The backups whose changes the list says: a reload reads at most these many backups, and
// only those taken since the last reload once their summaries are known.
constexpr std::size_t summarised_backups = 200;

Snapshot load_snapshot() {
  Snapshot s;
  s.user = load_scope("user", s.errors);
  s.system = load_scope("system", s.errors);
  s.user_sets = read_sets("user", s.user);
  s.system_sets = read_sets("system", s.system);
  try {
    s.backups = parse_backups(lib_backups());
  } catch (const std::exception &e) {
    s.errors << QObject::tr("backups: %1").arg(QString::fromUtf8(e.what()));
  }
  return s;
}

QString parent_of(const std::string &file) {
  return QFileInfo(QString::fromStdString(file)).absolutePath();
}

// The folders whose changes a reload must follow: the data directory, its backups, exports
// and profiles, and every environment.d directory the listings name.
QStringList folders_to_watch(const Snapshot &s) {
  std::set<QString> dirs;
  for (const Listing *l : {&s.user, &s.system}) {
    if (l->export_file) {
      QString exports = parent_of(*l->export_file);
      QString data = QFileInfo(exports).absolutePath();
      dirs.insert({exports, data, data + QStringLiteral("/backups"), data + QStringLiteral("/profiles")});
    }
    for (const PathEntry &e : l->path)
      if (!e.origin.empty())
        dirs.insert(parent_of(e.origin));
    for (const SessionVariable &v : l->session)
      dirs.insert(parent_of(v.file));
  }
  // A folder that does not exist yet is followed through the nearest one above it that
  // does, so that its creation (the first change makes the data directory) is seen too.
  std::set<QString> existing;
  for (QString d : dirs) {
    while (!QFileInfo(d).isDir() && QFileInfo(d).absolutePath() != d)
      d = QFileInfo(d).absolutePath();
    existing.insert(d);
  }
  return QStringList(existing.begin(), existing.end());
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent) {
  setWindowTitle(tr("Environment variables"));
  scopes_ = new QTabWidget(this);
  scopes_->setObjectName(QStringLiteral("scopes"));
  user_ = new ScopeTab("user", queue_, scopes_);
  system_ = new ScopeTab("system", queue_, scopes_);
  scopes_->addTab(user_, tr("&User"));
  scopes_->addTab(system_, tr("S&ystem"));
  setCentralWidget(scopes_);
  for (ScopeTab *tab : {user_, system_})
    connect(tab, &ScopeTab::changed, this, &MainWindow::reload);

  debounce_.setSingleShot(true);
  debounce_.setInterval(250);
  connect(&debounce_, &QTimer::timeout, this, &MainWindow::reload);
  auto later = [this] { debounce_.start(); };
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, later);
  connect(&watcher_, &QFileSystemWatcher::fileChanged, this, later);
  choose_file = [this](bool saving) {
    QString filter = tr("Scope state (*.json);;environment.d file (*.conf);;Any file (*)");
    return saving ? QFileDialog::getSaveFileName(this, tr("Export scope"), QString(), filter)
                  : QFileDialog::getOpenFileName(this, tr("Apply file"), QString(), filter);
  };
  confirm = [this](const QString &question) {
    return QMessageBox::question(this, tr("Apply file"), question) == QMessageBox::Yes;
  };
  message_ = make_message_label(QStringLiteral("windowMessage"), this);
  statusBar()->addPermanentWidget(message_, 1);
  build_menus();
  set_up_system_tab(system_, edit_menu_, system_access_here());
  statusBar()->showMessage(tr("Loading…"));
  resize(1100, 720);
}

MainWindow::~MainWindow() {
  queue_.wait_idle();
}

void MainWindow::build_menus() {
  QMenu *file = menuBar()->addMenu(tr("&File"));
  QAction *reload = file->addAction(tr("&Reload"), this, &MainWindow::reload);
  reload->setShortcut(QKeySequence::Refresh);
  file->addSeparator();
  file->addAction(tr("&Export scope…"), this, &MainWindow::export_scope)
      ->setObjectName(QStringLiteral("exportScope"));
  file->addAction(tr("&Apply file…"), this, &MainWindow::apply_file)
      ->setObjectName(QStringLiteral("applyFile"));
  file->addSeparator();
  QAction *quit = file->addAction(tr("&Quit"), this, &QWidget::close);
  quit->setShortcut(QKeySequence::Quit);
  QMenu *edit = edit_menu_ = menuBar()->addMenu(tr("&Edit"));
  QAction *undo = edit->addAction(tr("&Undo last change"), this, [this] {
    scopes_->setCurrentWidget(user_);
    user_->pages()->setCurrentWidget(user_->backups());
    user_->backups()->undo_last_change();
  });
  undo->setShortcut(QKeySequence::Undo);
  QMenu *go = menuBar()->addMenu(tr("&Go"));
  QAction *to_user = go->addAction(tr("&User scope"), this, [this] { scopes_->setCurrentWidget(user_); });
  to_user->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_1));
  QAction *to_system =
      go->addAction(tr("&System scope"), this, [this] { scopes_->setCurrentWidget(system_); });
  to_system->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_2));
}

void MainWindow::reload() {
  if (loading_) {
    again_ = true;
    return;
  }
  loading_ = true;
  queue_.run<Snapshot>(this, load_snapshot, [this](Snapshot loaded) {
    auto s = std::make_shared<const Snapshot>(std::move(loaded));
    apply(*s);
    // What each backed-up change did comes after the rest is shown: the first reload may
    // read a few hundred backups.
    queue_.run<std::vector<std::string>>(
        this,
        [this, s] {
          return summarise_backups(s->backups, s->user, s->system, summarised_backups, summaries_);
        },
        [this](std::vector<std::string> changes) {
          user_->backups()->show_changes(changes);
          loading_ = false;
          if (std::exchange(again_, false))
            return reload();
          emit reloaded();
        });
  });
}

void MainWindow::apply(const Snapshot &s) {
  user_->show_listing(s.user, s.user_sets);
  system_->show_listing(s.system, s.system_sets);
  user_->backups()->show_backups(s.backups, s.user);
  watch(s);
  statusBar()->showMessage(
      s.errors.isEmpty()
          ? tr("%1 user and %2 system variables").arg(s.user.vars.size()).arg(s.system.vars.size())
          : s.errors.join(QStringLiteral("; ")));
}

void MainWindow::watch(const Snapshot &s) {
  QStringList wanted = folders_to_watch(s);
  QStringList now = watched();
  std::sort(now.begin(), now.end());
  if (now == wanted)
    return;
  if (!now.isEmpty())
    watcher_.removePaths(now);
  if (!wanted.isEmpty())
    watcher_.addPaths(wanted);
}

QStringList MainWindow::watched() const {
  return watcher_.directories();
}

ScopeTab *MainWindow::current_scope() {
  return scopes_->currentWidget() == system_ ? system_ : user_;
}

void MainWindow::export_scope() {
  QString file = choose_file(true);
  if (file.isEmpty())
    return;
  std::string scope = current_scope()->scope(), path = file.toStdString();
  message_->hide();
  queue_.run<ChangeResult>(
      this,
      [scope, path] {
        return guarded([&] {
          ::export_scope(scope, path);
          return std::string();
        });
      },
      [this, scope, file](ChangeResult result) {
        message_->setText(result.ok
                              ? tr("Exported the %1 scope to %2").arg(QString::fromStdString(scope), file)
                              : tr("Not exported: %1").arg(result.message));
        message_->show();
      });
}

namespace {

struct Planned {
  std::optional<ApplyPlan> plan;
  QString error;
};

QString changes_text(const std::vector<Change> &changes) {
  QString out;
  for (const Change &c : changes)
    out += QString::fromStdString(diff_line(c)) + QLatin1Char('\n');
  return out;
}

} // namespace

void MainWindow::apply_file() {
  QString file = choose_file(false);
  if (file.isEmpty())
    return;
  std::string scope = current_scope()->scope(), path = file.toStdString();
  message_->hide();
  queue_.run<Planned>(
      this,
      [scope, path] {
        try {
          return Planned{plan_apply(path, scope), {}};
        } catch (const std::exception &e) {
          return Planned{std::nullopt, QString::fromUtf8(e.what())};
        }
      },
      [this, file](Planned planned) {
        if (!planned.plan) {
          message_->setText(tr("Not applied: %1").arg(planned.error));
          return message_->show();
        }
        ApplyPlan plan = std::move(*planned.plan);
        QString scope = QString::fromStdString(plan.now.scope);
        if (plan.changes.empty()) {
          message_->setText(tr("%1 holds nothing the %2 scope lacks: no changes").arg(file, scope));
          return message_->show();
        }
        if (!confirm(tr("Apply %1 to the %2 scope? As one change, which Undo takes back:\n\n%3")
                         .arg(file, scope, changes_text(plan.changes))))
          return;
        ScopeTab *tab = plan.now.scope == "system" ? system_ : user_;
        tab->run_change([plan = std::move(plan)] { return change_apply(plan); }, message_);
      });
}
