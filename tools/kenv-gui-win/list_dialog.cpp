#include "list_dialog.h"

#include "wide.h"
#include "window_texts.h"

#include <commctrl.h>

namespace {

constexpr wchar_t list_window_class[] = L"KestruneListEditor";
constexpr int id_lines = 1, id_ok = IDOK, id_cancel = IDCANCEL;

struct ListState {
  HWND lines = nullptr;
  bool done = false;
  bool accepted = false;
  std::wstring result;
};

LRESULT CALLBACK list_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto *state = reinterpret_cast<ListState *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == WM_NCCREATE)
    SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW *>(lp)->lpCreateParams));
  if (state && msg == WM_COMMAND && (LOWORD(wp) == id_ok || LOWORD(wp) == id_cancel)) {
    state->accepted = LOWORD(wp) == id_ok;
    if (state->accepted) {
      std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(state->lines)) + 1, L'\0');
      text.resize(
          static_cast<std::size_t>(GetWindowTextW(state->lines, text.data(), static_cast<int>(text.size()))));
      state->result = text;
    }
    state->done = true;
    return 0;
  }
  if (state && msg == WM_CLOSE) {
    state->done = true;
    return 0;
  }
  if (state && msg == WM_SIZE) {
    int w = LOWORD(lp), h = HIWORD(lp), m = 8, bh = 26, bw = 90;
    MoveWindow(state->lines, m, m, w - 2 * m, h - 3 * m - bh, TRUE);
    MoveWindow(GetDlgItem(hwnd, id_ok), w - 2 * (bw + m), h - m - bh, bw, bh, TRUE);
    MoveWindow(GetDlgItem(hwnd, id_cancel), w - bw - m, h - m - bh, bw, bh, TRUE);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND child(HWND parent, int id, const wchar_t *cls, const wchar_t *text, DWORD style, HFONT font) {
  HWND h =
      CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 0, 0, 10, 10, parent,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  return h;
}

// The items one per line, and back; an item never holds a line break of its own here.
std::wstring items_as_lines(const std::string &value, const std::string &separator) {
  std::vector<std::string> items = split_list(value, separator);
  std::wstring out;
  for (std::size_t i = 0; i < items.size(); ++i)
    out += (i > 0 ? L"\r\n" : L"") + widen(items[i]);
  return out;
}

std::string lines_as_value(const std::wstring &lines, const std::string &separator) {
  return join_list(split_list(narrow(lines), "\r\n"), separator);
}

} // namespace

std::optional<std::string> edit_list(HWND owner, const std::wstring &name, const std::string &value,
                                     const std::string &separator, HFONT font, UINT dpi) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = list_proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = list_window_class;
  RegisterClassExW(&wc);
  ListState state;
  std::wstring title = name + L": one entry per line";
  HWND window = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, list_window_class, title.c_str(),
                                WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, CW_USEDEFAULT,
                                CW_USEDEFAULT, MulDiv(520, static_cast<int>(dpi), 96),
                                MulDiv(380, static_cast<int>(dpi), 96), owner, nullptr, wc.hInstance, &state);
  state.lines = child(window, id_lines, WC_EDITW, items_as_lines(value, separator).c_str(),
                      WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
                          ES_WANTRETURN,
                      font);
  child(window, id_ok, WC_BUTTONW, L"OK", BS_DEFPUSHBUTTON, font);
  child(window, id_cancel, WC_BUTTONW, L"Cancel", BS_PUSHBUTTON, font);
  RECT client;
  GetClientRect(window, &client);
  SendMessageW(window, WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
  EnableWindow(owner, FALSE);
  ShowWindow(window, SW_SHOW);
  SetFocus(state.lines);
  MSG msg;
  while (!state.done && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    bool escape = msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE;
    if (escape)
      state.done = true;
    else if (!IsDialogMessageW(window, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  EnableWindow(owner, TRUE);
  DestroyWindow(window);
  SetActiveWindow(owner);
  if (!state.accepted)
    return std::nullopt;
  return lines_as_value(state.result, separator);
}
