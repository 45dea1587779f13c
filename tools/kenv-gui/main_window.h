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

  void build_menus();
  void apply(const struct Snapshot &snapshot);
  void watch(const struct Snapshot &snapshot);
};
