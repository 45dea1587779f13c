// Works kenv-gui.exe as a user would, from another process: finds its controls by id, types
// into its fields (WM_SETTEXT), presses its buttons (BM_CLICK), reads its lists
// (LVM_GETITEMTEXT through memory in its process) and checks the registry afterwards.
//
//   kenv_gui_driver.exe PATH\kenv-gui.exe
//
// Meant for a fresh wine prefix: it adds variables, PATH entries and a profile to the user
// scope, the profile with kenv.exe, which it expects in the current folder.
#include "ids.h"

#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

const wchar_t *const env_key = L"Environment";

std::optional<std::wstring> registry_value(const wchar_t *name) {
  wchar_t data[8192];
  DWORD size = sizeof data;
  if (RegGetValueW(HKEY_CURRENT_USER, env_key, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                   nullptr, data, &size) != ERROR_SUCCESS)
    return std::nullopt;
  return std::wstring(data);
}

bool eventually(const std::function<bool()> &condition) {
  for (int i = 0; i < 300; ++i) {
    if (condition())
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

// kenv-gui.exe, started for the checks and closed after them.
class Gui {
public:
  explicit Gui(const std::wstring &exe) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::wstring command = L"\"" + exe + L"\"";
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_))
      return;
    eventually([this] {
      window_ = FindWindowW(main_window_class, nullptr);
      return window_ && text(id_status) == L"Ready";
    });
    memory_ = VirtualAllocEx(pi_.hProcess, nullptr, page_size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~Gui() {
    if (window_)
      PostMessageW(window_, WM_CLOSE, 0, 0);
    if (pi_.hProcess) {
      if (WaitForSingleObject(pi_.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(pi_.hProcess, 1);
      CloseHandle(pi_.hProcess);
      CloseHandle(pi_.hThread);
    }
  }
  Gui(const Gui &) = delete;
  Gui &operator=(const Gui &) = delete;

  bool ready() const { return window_ && memory_; }
  HWND control(int id) const { return GetDlgItem(window_, id); }

  std::wstring text(int id) const {
    wchar_t buf[4096] = L"";
    SendMessageW(control(id), WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buf));
    return buf;
  }
  void type(int id, const std::wstring &text) const {
    SendMessageW(control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  // Posted, so that a confirmation the click opens does not hold the driver.
  void click(int id) const { PostMessageW(control(id), BM_CLICK, 0, 0); }
  // Alt+letter, as the keyboard would choose a tab.
  void alt(wchar_t letter) const {
    PostMessageW(window_, WM_SYSCHAR, letter, 1 << 29);
    eventually([] { return true; });
  }

  int rows(int list) const { return static_cast<int>(SendMessageW(control(list), LVM_GETITEMCOUNT, 0, 0)); }
  std::wstring cell(int list, int row, int column) const {
    LVITEMW item{};
    item.iSubItem = column;
    item.cchTextMax = text_chars;
    item.pszText = reinterpret_cast<wchar_t *>(static_cast<char *>(memory_) + sizeof item);
    WriteProcessMemory(pi_.hProcess, memory_, &item, sizeof item, nullptr);
    SendMessageW(control(list), LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(memory_));
    std::vector<wchar_t> buf(text_chars + 1, L'\0');
    ReadProcessMemory(pi_.hProcess, item.pszText, buf.data(), text_chars * sizeof(wchar_t), nullptr);
    return buf.data();
  }
  int find_row(int list, const std::wstring &first_cell) const {
    for (int row = 0; row < rows(list); ++row)
      if (cell(list, row, 0) == first_cell)
        return row;
    return -1;
  }
  void select(int list, int row) const {
    LVITEMW item{};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    WriteProcessMemory(pi_.hProcess, memory_, &item, sizeof item, nullptr);
    SendMessageW(control(list), LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(memory_));
  }
  // Answers the confirmation the window shows with its Yes button.
  bool confirm() const {
    return eventually([this] {
      HWND dialog = nullptr;
      EnumThreadWindows(
          pi_.dwThreadId,
          [](HWND w, LPARAM out) {
            wchar_t cls[16] = L"";
            GetClassNameW(w, cls, 16);
            if (lstrcmpW(cls, L"#32770") != 0 || !IsWindowVisible(w))
              return TRUE;
            *reinterpret_cast<HWND *>(out) = w;
            return FALSE;
          },
          reinterpret_cast<LPARAM>(&dialog));
      if (dialog)
        PostMessageW(dialog, WM_COMMAND, IDYES, 0);
      return dialog != nullptr;
    });
  }

private:
  static constexpr SIZE_T page_size = 65536;
  static constexpr int text_chars = 4096;
  PROCESS_INFORMATION pi_{};
  HWND window_ = nullptr;
  void *memory_ = nullptr;
};

int failures = 0;

void check(bool ok, const char *what) {
  std::printf("%s - %s\n", ok ? "ok" : "not ok", what);
  failures += ok ? 0 : 1;
}

const std::wstring var_name = L"KENV_DRIVER_VAR", var_value = L"wert ünï 日本 😀 %TEMP%";

void adds_a_variable(const Gui &gui) {
  gui.type(id_name, var_name);
  gui.type(id_value, var_value);
  gui.click(id_set);
  check(eventually([] { return registry_value(var_name.c_str()) == var_value; }),
        "Set writes the variable to the user's Environment key, every character kept");
  check(eventually([&] { return gui.find_row(id_vars, var_name) >= 0; }), "the variable appears in the list");
}

void refuses_a_name_and_writes_nothing(const Gui &gui) {
  const std::wstring bad = L"BAD=NAME";
  gui.type(id_name, bad);
  gui.type(id_value, L"x");
  gui.click(id_set);
  check(eventually([&] { return gui.text(id_vars_message) == L"illegal character '=' in variable name"; }),
        "a refused name shows the library's message under the form");
  check(!registry_value(bad.c_str()) && !registry_value(L"BAD"), "a refused name writes nothing");
  check(gui.text(id_name) == bad && gui.text(id_value) == L"x", "the typed text stays in the fields");
}

std::wstring path_value() {
  return registry_value(L"PATH").value_or(L"");
}

void adds_marks_and_moves_path_entries(const Gui &gui) {
  const std::wstring missing = L"C:\\kenv-driver-nowhere", there = L"C:\\windows\\temp";
  gui.alt(L't');
  for (const std::wstring &entry : {missing, there}) {
    gui.type(id_entry, entry);
    gui.click(id_path_add);
    eventually(
        [&] { return path_value().find(entry) != std::wstring::npos && gui.find_row(id_path, entry) >= 0; });
  }
  check(path_value() == missing + L";" + there, "Add appends each entry to the user's PATH");
  int row = gui.find_row(id_path, missing);
  check(row >= 0 && gui.cell(id_path, row, 1).find(L"missing") == 0,
        "an entry with no folder is marked missing");
  gui.select(id_path, gui.find_row(id_path, there));
  eventually([&] { return IsWindowEnabled(gui.control(id_path_up)); });
  gui.click(id_path_up);
  check(eventually([&] { return path_value() == there + L";" + missing; }),
        "Move up moves the entry in PATH");
}

// A command of another program (reg.exe, kenv.exe beside the driver), run to its end.
void run(std::wstring command) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                     &si, &pi)) {
    WaitForSingleObject(pi.hProcess, 30000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
}

void switches_an_entry_off_and_on(const Gui &gui) {
  const std::wstring missing = L"C:\\kenv-driver-nowhere", there = L"C:\\windows\\temp";
  gui.select(id_path, gui.find_row(id_path, there));
  eventually([&] { return IsWindowEnabled(gui.control(id_path_switch_off)); });
  gui.click(id_path_switch_off);
  check(eventually([&] { return path_value() == missing; }), "Switch off takes the entry out of PATH");
  int row = -1;
  auto marked = [&] {
    row = gui.find_row(id_path, there);
    return row >= 0 && gui.cell(id_path, row, 1).find(L"switched off") == 0;
  };
  check(eventually(marked), "the switched-off entry stays listed, marked");
  gui.select(id_path, row);
  eventually([&] { return IsWindowEnabled(gui.control(id_path_switch_on)); });
  gui.click(id_path_switch_on);
  check(eventually([&] { return path_value() == there + L";" + missing; }),
        "Switch on puts it back at its place");
}

// A profile saved by kenv.exe from the variable as it is, which then changes.
void switches_a_profile_on_and_off(const Gui &gui) {
  run(L"kenv.exe profile new work --vars " + var_name);
  run(L"kenv.exe set " + var_name + L" changed");
  gui.alt(L'i');
  auto state = [&] {
    int row = gui.find_row(id_profiles, L"work");
    return row >= 0 ? gui.cell(id_profiles, row, 1) : L"";
  };
  check(eventually([&] { return state() == L"off"; }), "a saved profile is listed, off");
  gui.select(id_profiles, gui.find_row(id_profiles, L"work"));
  eventually([&] { return IsWindowEnabled(gui.control(id_profile_on)); });
  gui.click(id_profile_on);
  check(eventually([] { return registry_value(var_name.c_str()) == var_value; }),
        "Switch on sets the profile's value");
  check(eventually([&] { return state() == L"on"; }), "the profile shows on");
  gui.select(id_profiles, gui.find_row(id_profiles, L"work"));
  eventually([&] { return IsWindowEnabled(gui.control(id_profile_off)); });
  gui.click(id_profile_off);
  check(eventually([] { return registry_value(var_name.c_str()) == L"changed"; }),
        "Switch off puts back what it replaced");
}

void reloads_after_a_change_from_outside(const Gui &gui) {
  run(L"reg.exe add HKCU\\Environment /v KENV_DRIVER_OUTSIDE /d outside /f");
  check(eventually([&] { return gui.find_row(id_vars, L"KENV_DRIVER_OUTSIDE") >= 0; }),
        "a value reg add writes from outside appears without a reload asked for");
}

// The oldest backup was taken before the first change: restoring it takes the variable away.
void restores_a_backup(const Gui &gui) {
  gui.alt(L'b');
  eventually([&] { return gui.rows(id_backups) >= 3; });
  gui.select(id_backups, gui.rows(id_backups) - 1);
  check(eventually([&] { return gui.find_row(id_backup_diff, L"removed") >= 0; }),
        "the oldest backup's changes list the variable as removed");
  eventually([&] { return IsWindowEnabled(gui.control(id_restore)); });
  gui.click(id_restore);
  check(gui.confirm(), "Restore asks before it restores");
  check(eventually([] { return !registry_value(var_name.c_str()); }),
        "restoring the oldest backup removes the variable");
}

} // namespace

int wmain(int argc, wchar_t **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kenv_gui_driver.exe PATH\\kenv-gui.exe\n");
    return 2;
  }
  Gui gui(argv[1]);
  check(gui.ready(), "kenv-gui.exe starts and loads both scopes");
  if (!gui.ready())
    return 1;
  adds_a_variable(gui);
  refuses_a_name_and_writes_nothing(gui);
  adds_marks_and_moves_path_entries(gui);
  switches_an_entry_off_and_on(gui);
  switches_a_profile_on_and_off(gui);
  reloads_after_a_change_from_outside(gui);
  restores_a_backup(gui);
  std::printf("%d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
