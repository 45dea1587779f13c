// The ids of kenv-gui.exe's window class and controls: the program creates its controls with
// them, and the test driver finds them by them.
#pragma once

inline constexpr wchar_t main_window_class[] = L"KestruneEnvironmentEditor";

enum ControlId : int {
  id_scopes = 100, // the scope tabs
  id_pages,        // the page tabs
  id_note,         // why the system scope is read-only
  id_elevate,      // "Edit system scope…"
  id_status,

  id_filter_label = 200,
  id_filter,
  id_vars,
  id_name_label,
  id_name,
  id_value_label,
  id_value,
  id_set,
  id_clear,
  id_delete,
  id_edit_list,
  id_vars_message,

  id_path = 300,
  id_entry_label,
  id_entry,
  id_browse,
  id_path_add,
  id_path_remove,
  id_path_up,
  id_path_down,
  id_path_switch_off,
  id_path_switch_on,
  id_path_message,

  id_session = 400,

  id_warnings = 500,

  id_profiles = 550,
  id_profile_on,
  id_profile_off,
  id_profiles_message,

  id_backups = 600,
  id_backup_diff,
  id_restore,
  id_undo,
  id_backups_message,
};

// The pages, in the order of their tabs; the system scope has no Backups page.
enum Page : int {
  page_variables,
  page_path,
  page_session,
  page_warnings,
  page_profiles,
  page_backups,
  page_count
};
