// kenv-gui's window: a tab per scope, reloaded from the library on F5, after every change,
// and by itself when the store, the backups or environment.d change on disk (another kenv,
// another editor), a quarter of a second after the last change it sees.
#pragma once

#include "change_summary.h"
#include "library_queue.h"
#include "scope_tab.h"

#include <QFileSystemWatcher>
#include <QMainWindow>

#include <QTimer>
#include <functional>

class MainWindow : public QMainWindow {
  Q_OBJECT
public:
  explicit MainWindow(QWidget *parent = nullptr);
  ~MainWindow() override;

  ScopeTab *user() { return user_; }
  ScopeTab *system() { return system_; }
  QTabWidget *scopes() { return scopes_; }
  LibraryQueue &queue() { return queue_; }
  QStringList watched() const;
  // Ask for the file to export to (saving) or to apply, and before an apply; tests replace them.
  std::function<QString(bool saving)> choose_file;
  std::function<bool(const QString &question)> confirm;

public slots:
  // Reads both scopes and the backups afresh, on the worker thread.
  void reload();

signals:
  // Every view shows what the library returned at the end of a reload.
  void reloaded();

private:
  LibraryQueue queue_;
  QTabWidget *scopes_;
  ScopeTab *user_;
  ScopeTab *system_;
  // Read and written on the worker thread only.
  SummaryCache summaries_;
  QFileSystemWatcher watcher_;
  QTimer debounce_;
  bool loading_ = false;
  bool again_ = false;

  QLabel *message_;

  void build_menus();
  ScopeTab *current_scope();
  void export_scope();
  void apply_file();
  void apply(const struct Snapshot &snapshot);
  void watch(const struct Snapshot &snapshot);
};
