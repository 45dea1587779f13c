// kenv-gui.exe: the Windows front end.
//
//   kenv-gui.exe [--scope system] [--screenshot FILE [--page NAME]]
//
// --scope system is how "Edit system scope…" starts the elevated instance: that scope only.
// --screenshot draws the window for the current state into FILE (PNG or BMP by its name) and
// exits; --page chooses the page shown (variables, path, session, warnings, profiles, backups).
#include "screenshot.h"
#include "wide.h"
#include "window.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <optional>
#include <string>
#include <vector>

namespace {

struct Arguments {
  WindowOptions window;
  std::optional<std::wstring> screenshot;
  std::wstring error;
};

std::optional<Page> page_named(const std::wstring &name) {
  const wchar_t *const names[page_count] = {L"variables", L"path",     L"session",
                                            L"warnings",  L"profiles", L"backups"};
  for (int i = 0; i < page_count; ++i)
    if (name == names[i])
      return static_cast<Page>(i);
  return std::nullopt;
}

Arguments read_arguments() {
  int argc = 0;
  wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::wstring> words(argv + 1, argv + argc);
  LocalFree(argv);
  Arguments args;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::wstring &w = words[i];
    bool has_value = i + 1 < words.size();
    if (w == L"--scope" && has_value && words[i + 1] == L"system")
      args.window.system_only = true, ++i;
    else if (w == L"--screenshot" && has_value)
      args.screenshot = words[++i];
    else if (w == L"--page" && has_value && page_named(words[i + 1]))
      args.window.page = *page_named(words[++i]);
    else
      args.error = L"Unknown or incomplete argument: " + w +
                   L"\n\nUsage: kenv-gui.exe [--scope system] [--screenshot FILE [--page "
                   L"variables|path|session|warnings|profiles|backups]]";
  }
  return args;
}

int screenshot(MainWindow &window, const std::wstring &file) {
  SummaryCache cache;
  window.show_snapshot(load_snapshot(cache));
  ShowWindow(window.hwnd(), SW_SHOWNOACTIVATE);
  UpdateWindow(window.hwnd());
  bool ok = save_screenshot(window.hwnd(), file);
  DestroyWindow(window.hwnd());
  return ok ? 0 : 1;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
  Arguments args = read_arguments();
  if (!args.error.empty()) {
    MessageBoxW(nullptr, args.error.c_str(), L"kenv-gui", MB_ICONERROR);
    return 2;
  }
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES |
                                                     ICC_TAB_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); // the folder picker
  MainWindow window(args.window);
  if (args.screenshot)
    return screenshot(window, *args.screenshot);
  ShowWindow(window.hwnd(), show);
  window.reload();
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (window.translate_key(msg) || IsDialogMessageW(window.hwnd(), &msg))
      continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
