// kenv-gui.exe's window: one tab per scope, and in each the pages Variables, PATH, New
// session, Warnings and (for the user scope) Backups. Everything it shows comes from the
// front-end library's records of the library's listings; every change is one library call
// on the worker thread, after which every view reloads from the library, refused or not.
// Typed text stays in its field, and a refusal appears under the control that caused it.
#pragma once

#include "change_summary.h"
#include "ids.h"
#include "listing.h"
#include "profiles.h"
#include "worker.h"

#include <windows.h>

#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct WindowOptions {
  bool system_only = false; // the elevated instance "Edit system scope…" starts
  Page page = page_variables;
};

// What the front-end library keeps beside a scope's files: its profiles (each on or off) and
// the PATH entries switched off.
struct ScopeExtras {
  std::vector<std::pair<std::string, bool>> profiles;
  std::vector<OffEntry> off;
};

// Both scopes and the backups as the library returned them in one reload.
struct Snapshot {
  Listing user, system;
  ScopeExtras user_extras, system_extras;
  std::vector<Backup> backups;
  std::vector<std::string> changes; // what the change each backup came before did
  std::string errors;
};
Snapshot load_snapshot(SummaryCache &cache);

// The latest change of the user scope, looked up for "Undo last change".
struct UndoFound {
  std::optional<LastChange> change;
  std::string error;
};

class MainWindow {
public:
  explicit MainWindow(const WindowOptions &options);
  ~MainWindow();
  MainWindow(const MainWindow &) = delete;
  MainWindow &operator=(const MainWindow &) = delete;

  HWND hwnd() const { return hwnd_; }
  // Shows a snapshot at once (for --screenshot, which loads it without the worker).
  void show_snapshot(Snapshot snapshot);
  void reload();
  // Keyboard handling the dialog manager lacks: Ctrl+Tab between pages, Ctrl+F, Ctrl+Z, F5,
  // Delete, Alt+Up and Alt+Down, Alt+letter for the tabs. True when the message was used.
  bool translate_key(const MSG &msg);

private:
  HWND hwnd_ = nullptr;
  WindowOptions options_;
  bool system_writable_;
  UINT dpi_ = 96;
  HFONT font_ = nullptr;
  std::map<int, HWND> controls_;
  Snapshot shown_;
  bool loaded_ = false;
  bool reloading_ = false, reload_again_ = false;
  std::vector<int> var_rows_;               // the variables' indexes of the listed rows
  std::unique_ptr<SummaryCache> summaries_; // the worker's only
  Worker worker_;
  std::unique_ptr<EnvironmentWatch> watch_;

  static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp);
  void create_controls();
  HWND add(int id, const wchar_t *cls, const wchar_t *text, DWORD style, DWORD ex_style = 0);
  HWND control(int id) const { return controls_.at(id); }
  int px(int v) const { return MulDiv(v, static_cast<int>(dpi_), 96); }
  void apply_dpi(UINT dpi);
  void layout();

  std::string scope() const;
  bool is_system() const;
  bool read_only() const;
  const Listing &listing() const;
  const ScopeExtras &extras() const;
  Page page() const;
  void select_page(Page page);
  void show_scope();
  void show_page();
  void update_buttons();

  void fill_variables();
  void fill_path();
  void fill_session();
  void fill_warnings();
  void fill_profiles();
  void fill_backups();
  void fill_form_from_selection();
  void show_backup_diff();

  void on_command(int id, int code);
  void on_notify(const NMHDR &hdr);
  using Call = std::function<std::string()>;
  void run_change(Call call, int message_id);
  void show_message(int message_id, const std::string &text);
  void set_variable();
  void delete_variable();
  void edit_as_list();
  void add_entry();
  void remove_entry();
  void move_entry(int by);
  void switch_entry(bool on);
  void switch_profile(bool on);
  void browse_folder();
  void restore_selected();
  void undo_last_change();
  void confirm_undo(const UndoFound &found);
  void start_elevated();
  void set_status(const std::wstring &text);
  bool has_edit_focus() const;
};
