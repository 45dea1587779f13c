// One scope in the window: its variables, its PATH, its profiles, what a new session gets,
// the warnings and, for the user scope, the backups. Every change a page asks for runs here, on the
// worker thread; the tab then asks the window to reload every view from the library.
#pragma once

#include "backups_page.h"
#include "library_queue.h"
#include "models.h"
#include "path_page.h"
#include "profiles_page.h"
#include "variables_page.h"

#include <QListWidget>
#include <QTabWidget>
#include <QTableView>

class ScopeTab : public QWidget {
  Q_OBJECT
public:
  ScopeTab(const std::string &scope, LibraryQueue &queue, QWidget *parent = nullptr);

  const std::string &scope() const { return scope_; }
  // Makes the tab read-only, with the note saying why; an empty text makes it writable.
  void set_read_only(const QString &why);
  void show_listing(const Listing &listing, const ScopeSets &sets);
  // The user tab's backups page; nullptr on the system tab.
  BackupsPage *backups() { return backups_; }
  VariablesPage *variables() { return variables_; }
  PathPage *path() { return path_; }
  ProfilesPage *profiles() { return profiles_; }
  SessionModel &session() { return session_; }
  QTabWidget *pages() { return pages_; }
  // Runs a change of this scope on the worker thread; a refusal shows at `where`.
  void run_change(LibraryCall call, QLabel *where);

signals:
  // A change ran (refused or not): the views must reload.
  void changed();

private:
  std::string scope_;
  LibraryQueue &queue_;
  QLabel *note_;
  QTabWidget *pages_;
  VariablesPage *variables_;
  PathPage *path_;
  ProfilesPage *profiles_;
  SessionModel session_;
  QListWidget *warnings_;
  BackupsPage *backups_ = nullptr;

  QWidget *make_session_page();
  void show_warnings(const Listing &listing);
};
