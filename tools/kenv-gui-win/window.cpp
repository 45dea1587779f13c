#include "window.h"

#include "backup_diff.h"
#include "backup_files.h"
#include "change_summary.h"
#include "library.h"
#include "list_dialog.h"
#include "output.h"
#include "platform.h"
#include "switches.h"
#include "wide.h"
#include "window_texts.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windowsx.h>

#include <algorithm>
#include <cwctype>

namespace {

constexpr UINT msg_snapshot = WM_APP + 1; // a Snapshot from the worker
constexpr UINT msg_change = WM_APP + 2;   // a ChangeDone from the worker
constexpr UINT msg_environment = WM_APP + 3;
constexpr UINT msg_diff = WM_APP + 4; // a DiffDone from the worker
constexpr UINT msg_undo = WM_APP + 5; // an UndoFound from the worker
// Backups whose change the list summarises; older ones are listed without.
constexpr std::size_t summarised_backups = 200;
constexpr UINT_PTR reload_timer = 1;

struct ChangeDone {
  bool ok = true;
  std::string message;
  int where = 0;
};

struct DiffDone {
  std::string path;
  std::vector<VariableChange> changes;
  std::string error;
};

const wchar_t *const page_titles[page_count] = {L"&Variables", L"PA&TH",     L"New &session",
                                                L"&Warnings",  L"Prof&iles", L"&Backups"};

Listing load_scope(const std::string &scope, std::string &errors) {
  try {
    return parse_listing(lib_list(scope));
  } catch (const std::exception &e) {
    errors += scope + " scope: " + e.what() + "\n";
    Listing empty;
    empty.scope = scope;
    return empty;
  }
}

std::wstring text_of(HWND control) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return text;
}

// A text as a list shows it: control characters written as \n, \t, \xHH.
std::wstring shown(const std::string &text) {
  return widen(visible(text));
}

void add_columns(HWND list, std::initializer_list<std::pair<const wchar_t *, int>> columns, int dpi) {
  int i = 0;
  for (auto [title, width] : columns) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<wchar_t *>(title);
    column.cx = MulDiv(width, dpi, 96);
    column.iSubItem = i;
    ListView_InsertColumn(list, i++, &column);
  }
}

void add_row(HWND list, const std::vector<std::wstring> &cells) {
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = ListView_GetItemCount(list);
  item.pszText = const_cast<wchar_t *>(cells[0].c_str());
  int row = ListView_InsertItem(list, &item);
  for (std::size_t i = 1; i < cells.size(); ++i)
    ListView_SetItemText(list, row, static_cast<int>(i), const_cast<wchar_t *>(cells[i].c_str()));
}

int selected_row(HWND list) {
  return ListView_GetNextItem(list, -1, LVNI_SELECTED);
}

void select_row(HWND list, int row) {
  if (row < 0 || row >= ListView_GetItemCount(list))
    return;
  ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(list, row, FALSE);
}

// Refills a list, keeping the row selected whose cell in `key` (a column of unique texts) is
// still there.
class Refill {
public:
  explicit Refill(HWND list, int key = 0) : list_(list), key_(key) {
    int row = selected_row(list);
    if (row >= 0) {
      wchar_t buf[4096] = L"";
      ListView_GetItemText(list, row, key_, buf, 4096);
      keep_ = buf;
    }
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(list);
  }
  ~Refill() {
    wchar_t buf[4096];
    for (int row = 0; !keep_.empty() && row < ListView_GetItemCount(list_); ++row) {
      ListView_GetItemText(list_, row, key_, buf, 4096);
      if (keep_ == buf) {
        select_row(list_, row);
        break;
      }
    }
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
  }
  Refill(const Refill &) = delete;
  Refill &operator=(const Refill &) = delete;

private:
  HWND list_;
  int key_;
  std::wstring keep_;
};

std::wstring lower(std::wstring text) {
  CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

std::wstring change_kind(VariableChange::Kind kind) {
  return kind == VariableChange::added ? L"added" : kind == VariableChange::changed ? L"changed" : L"removed";
}

} // namespace

ScopeExtras load_extras(const std::string &scope, std::string &errors) {
  ScopeExtras x;
  try {
    std::vector<ProfileRecord> active = active_profiles(scope);
    for (const std::string &name : profile_names(scope))
      x.profiles.emplace_back(name, find_active(active, name) != nullptr);
    x.off = path_off_entries(scope);
  } catch (const std::exception &e) {
    errors += scope + " scope's profiles: " + e.what() + "\n";
  }
  return x;
}

Snapshot load_snapshot(SummaryCache &cache) {
  Snapshot s;
  s.user = load_scope("user", s.errors);
  s.system = load_scope("system", s.errors);
  s.user_extras = load_extras("user", s.errors);
  s.system_extras = load_extras("system", s.errors);
  try {
    s.backups = parse_backups(lib_backups());
    s.changes = summarise_backups(s.backups, s.user, s.system, summarised_backups, cache);
  } catch (const std::exception &e) {
    s.errors += std::string("backups: ") + e.what() + "\n";
  }
  return s;
}

MainWindow::MainWindow(const WindowOptions &options)
    : options_(options), system_writable_(process_is_elevated()),
      summaries_(std::make_unique<SummaryCache>()) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = window_proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = main_window_class;
  RegisterClassExW(&wc);
  const wchar_t *title = options.system_only ? L"Environment variables (system)" : L"Environment variables";
  CreateWindowExW(WS_EX_CONTROLPARENT, main_window_class, title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                  CW_USEDEFAULT, CW_USEDEFAULT, 1000, 680, nullptr, nullptr, wc.hInstance, this);
  watch_ = std::make_unique<EnvironmentWatch>(hwnd_, msg_environment);
}

MainWindow::~MainWindow() {
  watch_.reset();
  if (font_)
    DeleteObject(font_);
}

LRESULT CALLBACK MainWindow::window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto *self = static_cast<MainWindow *>(reinterpret_cast<CREATESTRUCTW *>(lp)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto *self = reinterpret_cast<MainWindow *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  return self ? self->handle(msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT MainWindow::handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
  case WM_CREATE:
    dpi_ = GetDpiForWindow(hwnd_);
    create_controls();
    apply_dpi(dpi_);
    SetWindowPos(hwnd_, nullptr, 0, 0, px(1000), px(680), SWP_NOMOVE | SWP_NOZORDER);
    return 0;
  case WM_SIZE:
    layout();
    return 0;
  case WM_GETMINMAXINFO:
    reinterpret_cast<MINMAXINFO *>(lp)->ptMinTrackSize = {px(640), px(420)};
    return 0;
  case WM_DPICHANGED: {
    apply_dpi(HIWORD(wp));
    const RECT *r = reinterpret_cast<const RECT *>(lp);
    SetWindowPos(hwnd_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top, SWP_NOZORDER);
    return 0;
  }
  case WM_COMMAND:
    on_command(LOWORD(wp), HIWORD(wp));
    return 0;
  case WM_NOTIFY:
    on_notify(*reinterpret_cast<const NMHDR *>(lp));
    return 0;
  case WM_SETTINGCHANGE:
    if (lp && lstrcmpiW(reinterpret_cast<const wchar_t *>(lp), L"Environment") == 0)
      SetTimer(hwnd_, reload_timer, 250, nullptr);
    return 0;
  case msg_environment:
    SetTimer(hwnd_, reload_timer, 250, nullptr);
    return 0;
  case WM_TIMER:
    KillTimer(hwnd_, reload_timer);
    reload();
    return 0;
  case msg_snapshot:
    reloading_ = false;
    show_snapshot(std::move(*take_posted<Snapshot>(lp)));
    if (std::exchange(reload_again_, false))
      reload();
    return 0;
  case msg_change: {
    auto done = take_posted<ChangeDone>(lp);
    show_message(done->where, done->message);
    return 0;
  }
  case msg_diff: {
    auto diff = take_posted<DiffDone>(lp);
    int row = selected_row(control(id_backups));
    if (row < 0 || static_cast<std::size_t>(row) >= shown_.backups.size() ||
        shown_.backups[static_cast<std::size_t>(row)].path != diff->path)
      return 0;
    HWND list = control(id_backup_diff);
    Refill refill(list);
    if (!diff->error.empty())
      add_row(list, {L"", widen(diff->error), L"", L""});
    else if (diff->changes.empty())
      add_row(list, {L"", L"This backup holds what the user scope holds now.", L"", L""});
    for (const VariableChange &c : diff->changes)
      add_row(list, {change_kind(c.kind), shown(c.name), shown(c.now), shown(c.backup)});
    return 0;
  }
  case msg_undo:
    confirm_undo(*take_posted<UndoFound>(lp));
    return 0;
  case WM_DESTROY:
    PostQuitMessage(0);
    return 0;
  default:
    return DefWindowProcW(hwnd_, msg, wp, lp);
  }
}

HWND MainWindow::add(int id, const wchar_t *cls, const wchar_t *text, DWORD style, DWORD ex_style) {
  HWND h =
      CreateWindowExW(ex_style, cls, text, WS_CHILD | style, 0, 0, 10, 10, hwnd_,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  controls_[id] = h;
  return h;
}

// Created in the order the Tab key visits them.
void MainWindow::create_controls() {
  const DWORD tab = WS_TABSTOP, button = WS_TABSTOP | BS_PUSHBUTTON;
  const DWORD list = WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL;
  HWND scopes = add(id_scopes, WC_TABCONTROLW, L"", tab | WS_VISIBLE | WS_CLIPSIBLINGS);
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  for (const wchar_t *title : {L"&User", L"S&ystem"}) {
    if (options_.system_only && title[0] == L'&')
      continue;
    item.pszText = const_cast<wchar_t *>(title);
    TabCtrl_InsertItem(scopes, TabCtrl_GetItemCount(scopes), &item);
  }
  add(id_note, WC_STATICW,
      L"The system scope is read-only here: changing the machine's variables needs an administrator.",
      SS_LEFT | SS_NOPREFIX);
  add(id_elevate, WC_BUTTONW, L"&Edit system scope…", button);
  SendMessageW(control(id_elevate), BCM_SETSHIELD, 0, TRUE);
  add(id_pages, WC_TABCONTROLW, L"", tab | WS_VISIBLE | WS_CLIPSIBLINGS);

  add(id_filter_label, WC_STATICW, L"&Filter:", SS_LEFT | SS_CENTERIMAGE);
  add(id_filter, WC_EDITW, L"", tab | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE);
  SendMessageW(control(id_filter), EM_SETCUEBANNER, TRUE,
               reinterpret_cast<LPARAM>(L"Name or value (Ctrl+F)"));
  add(id_vars, WC_LISTVIEWW, L"Variables", list);
  add_columns(control(id_vars), {{L"Name", 180}, {L"Value", 260}, {L"Expanded value", 260}, {L"Source", 120}},
              96);
  add(id_name_label, WC_STATICW, L"&Name:", SS_LEFT | SS_CENTERIMAGE);
  add(id_name, WC_EDITW, L"", tab | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE);
  add(id_value_label, WC_STATICW, L"V&alue:", SS_LEFT | SS_CENTERIMAGE);
  add(id_value, WC_EDITW, L"", tab | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE);
  add(id_set, WC_BUTTONW, L"S&et", button);
  add(id_clear, WC_BUTTONW, L"&Clear", button);
  add(id_delete, WC_BUTTONW, L"&Delete", button);
  add(id_edit_list, WC_BUTTONW, L"Edit as &list…", button);
  add(id_vars_message, WC_STATICW, L"", SS_LEFT | SS_NOPREFIX);

  add(id_path, WC_LISTVIEWW, L"PATH", list);
  add_columns(control(id_path), {{L"Entry", 340}, {L"State", 220}, {L"Comes from", 300}}, 96);
  add(id_entry_label, WC_STATICW, L"F&older:", SS_LEFT | SS_CENTERIMAGE);
  add(id_entry, WC_EDITW, L"", tab | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE);
  add(id_browse, WC_BUTTONW, L"B&rowse…", button);
  add(id_path_add, WC_BUTTONW, L"&Add", button);
  add(id_path_remove, WC_BUTTONW, L"Re&move", button);
  add(id_path_up, WC_BUTTONW, L"Move u&p", button);
  add(id_path_down, WC_BUTTONW, L"Move dow&n", button);
  add(id_path_switch_off, WC_BUTTONW, L"Switch o&ff", button);
  add(id_path_switch_on, WC_BUTTONW, L"Switc&h on", button);
  add(id_path_message, WC_STATICW, L"", SS_LEFT | SS_NOPREFIX);

  add(id_session, WC_LISTVIEWW, L"New session", list);
  add_columns(control(id_session), {{L"Name", 180}, {L"Value", 420}, {L"Set by", 300}}, 96);
  add(id_warnings, WC_LISTVIEWW, L"Warnings", list);
  add_columns(control(id_warnings), {{L"Warning", 800}}, 96);

  add(id_profiles, WC_LISTVIEWW, L"Profiles", list);
  add_columns(control(id_profiles), {{L"Profile", 300}, {L"State", 120}}, 96);
  add(id_profile_on, WC_BUTTONW, L"Switch o&n", button);
  add(id_profile_off, WC_BUTTONW, L"Switch o&ff", button);
  add(id_profiles_message, WC_STATICW, L"", SS_LEFT | SS_NOPREFIX);

  add(id_backups, WC_LISTVIEWW, L"Backups", list);
  add_columns(control(id_backups),
              {{L"Taken (UTC)", 170}, {L"Scope", 70}, {L"Change", 260}, {L"Variables", 70}, {L"File", 400}},
              96);
  add(id_backup_diff, WC_LISTVIEWW, L"What restoring changes", list);
  add_columns(control(id_backup_diff),
              {{L"Change", 80}, {L"Name", 180}, {L"Now", 280}, {L"In the backup", 280}}, 96);
  add(id_restore, WC_BUTTONW, L"&Restore…", button);
  add(id_undo, WC_BUTTONW, L"Un&do last change", button);
  add(id_backups_message, WC_STATICW, L"", SS_LEFT | SS_NOPREFIX);

  add(id_status, STATUSCLASSNAMEW, L"Loading…", WS_VISIBLE | SBARS_SIZEGRIP);
  for (int id : {id_vars, id_path, id_session, id_warnings, id_profiles, id_backups, id_backup_diff})
    ListView_SetExtendedListViewStyle(control(id),
                                      LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
  show_scope();
}

void MainWindow::apply_dpi(UINT dpi) {
  UINT old = dpi_;
  dpi_ = dpi;
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
  HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
  for (auto &[id, h] : controls_) {
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (old != dpi && (id == id_vars || id == id_path || id == id_session || id == id_warnings ||
                       id == id_profiles || id == id_backups || id == id_backup_diff)) {
      HWND header = ListView_GetHeader(h);
      for (int c = 0; c < Header_GetItemCount(header); ++c)
        ListView_SetColumnWidth(
            h, c, MulDiv(ListView_GetColumnWidth(h, c), static_cast<int>(dpi), static_cast<int>(old)));
    }
  }
  if (font_)
    DeleteObject(font_);
  font_ = font;
  layout();
}

namespace {

// Places controls along a row from the left; `fill` ones share what is left over.
struct Row {
  int x, y, h, gap;
  void put(HWND w, int width) {
    MoveWindow(w, x, y, width, h, TRUE);
    x += width + gap;
  }
};

} // namespace

void MainWindow::layout() {
  if (controls_.empty())
    return;
  RECT client;
  GetClientRect(hwnd_, &client);
  SendMessageW(control(id_status), WM_SIZE, 0, 0);
  RECT status;
  GetWindowRect(control(id_status), &status);
  const int m = px(8), gap = px(6), line = px(24), label_h = px(20);
  const int width = client.right - 2 * m;
  int bottom = client.bottom - (status.bottom - status.top) - m;
  RECT tab_item{};
  TabCtrl_GetItemRect(control(id_scopes), 0, &tab_item);
  const int tabs_h = tab_item.bottom + px(2);
  int y = m;
  MoveWindow(control(id_scopes), m, y, width, tabs_h, TRUE);
  y += tabs_h + gap;
  if (IsWindowVisible(control(id_note))) {
    int button_w = px(170);
    MoveWindow(control(id_note), m, y, width - button_w - gap, line, TRUE);
    MoveWindow(control(id_elevate), m + width - button_w, y - px(2), button_w, line + px(4), TRUE);
    y += line + gap;
  }
  MoveWindow(control(id_pages), m, y, width, tabs_h, TRUE);
  y += tabs_h + gap;

  const int message_h = px(36), bw = px(96);
  // Variables: filter, list, form, message.
  Row filter{m, y, line, gap};
  filter.put(control(id_filter_label), px(50));
  filter.put(control(id_filter), width - px(50) - gap);
  int form_y = bottom - message_h - line - gap;
  MoveWindow(control(id_vars), m, y + line + gap, width, form_y - gap - (y + line + gap), TRUE);
  Row form{m, form_y, line, gap};
  int edits = width - 2 * px(50) - 4 * bw - 6 * gap - px(30);
  form.put(control(id_name_label), px(50));
  form.put(control(id_name), edits / 3);
  form.put(control(id_value_label), px(50));
  form.put(control(id_value), edits - edits / 3);
  for (int id : {id_set, id_clear, id_delete})
    form.put(control(id), bw * 3 / 4);
  form.put(control(id_edit_list), bw + px(30));
  MoveWindow(control(id_vars_message), m, bottom - message_h, width, message_h, TRUE);

  // PATH: list, entry row, message.
  MoveWindow(control(id_path), m, y, width, form_y - gap - y, TRUE);
  Row entry{m, form_y, line, gap};
  entry.put(control(id_entry_label), px(50));
  entry.put(control(id_entry), width - px(50) - 7 * (bw + gap) - gap);
  for (int id : {id_browse, id_path_add, id_path_remove, id_path_up, id_path_down, id_path_switch_off,
                 id_path_switch_on})
    entry.put(control(id), bw);
  MoveWindow(control(id_path_message), m, bottom - message_h, width, message_h, TRUE);

  MoveWindow(control(id_session), m, y, width, bottom - y, TRUE);
  MoveWindow(control(id_warnings), m, y, width, bottom - y, TRUE);
  MoveWindow(control(id_profiles), m, y, width, form_y - gap - y, TRUE);
  Row profile_buttons{m, form_y, line, gap};
  profile_buttons.put(control(id_profile_on), bw);
  profile_buttons.put(control(id_profile_off), bw);
  MoveWindow(control(id_profiles_message), m, bottom - message_h, width, message_h, TRUE);

  // Backups: the list above, what restoring changes below, the buttons, the message.
  int lists_h = form_y - gap - y;
  MoveWindow(control(id_backups), m, y, width, lists_h / 2 - gap / 2, TRUE);
  MoveWindow(control(id_backup_diff), m, y + lists_h / 2 + gap / 2, width, lists_h - lists_h / 2 - gap / 2,
             TRUE);
  Row buttons{m, form_y, line, gap};
  buttons.put(control(id_restore), bw + px(20));
  buttons.put(control(id_undo), bw + px(50));
  MoveWindow(control(id_backups_message), m, bottom - message_h, width, message_h, TRUE);
  (void)label_h;
}

std::string MainWindow::scope() const {
  return is_system() ? "system" : "user";
}

bool MainWindow::is_system() const {
  return options_.system_only || TabCtrl_GetCurSel(control(id_scopes)) == 1;
}

bool MainWindow::read_only() const {
  return is_system() && !system_writable_;
}

const Listing &MainWindow::listing() const {
  return is_system() ? shown_.system : shown_.user;
}

const ScopeExtras &MainWindow::extras() const {
  return is_system() ? shown_.system_extras : shown_.user_extras;
}

Page MainWindow::page() const {
  int sel = TabCtrl_GetCurSel(control(id_pages));
  return sel < 0 ? page_variables : static_cast<Page>(sel);
}

void MainWindow::select_page(Page p) {
  int count = TabCtrl_GetItemCount(control(id_pages));
  TabCtrl_SetCurSel(control(id_pages), std::min(static_cast<int>(p), count - 1));
  show_page();
}

// The scope's pages: the system scope has no backups of its own to restore.
void MainWindow::show_scope() {
  HWND pages = control(id_pages);
  Page keep = TabCtrl_GetItemCount(pages) > 0 ? page() : options_.page;
  TabCtrl_DeleteAllItems(pages);
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  int count = is_system() ? page_backups : page_count;
  for (int i = 0; i < count; ++i) {
    item.pszText = const_cast<wchar_t *>(page_titles[i]);
    TabCtrl_InsertItem(pages, i, &item);
  }
  ShowWindow(control(id_note), read_only() ? SW_SHOW : SW_HIDE);
  ShowWindow(control(id_elevate), read_only() ? SW_SHOW : SW_HIDE);
  for (int id : {id_name, id_value, id_entry})
    SendMessageW(control(id), EM_SETREADONLY, read_only(), 0);
  layout();
  if (loaded_) {
    fill_variables();
    fill_path();
    fill_session();
    fill_warnings();
    fill_profiles();
  }
  select_page(keep);
}

void MainWindow::show_page() {
  static const std::vector<int> members[page_count] = {
      {id_filter_label, id_filter, id_vars, id_name_label, id_name, id_value_label, id_value, id_set,
       id_clear, id_delete, id_edit_list, id_vars_message},
      {id_path, id_entry_label, id_entry, id_browse, id_path_add, id_path_remove, id_path_up, id_path_down,
       id_path_switch_off, id_path_switch_on, id_path_message},
      {id_session},
      {id_warnings},
      {id_profiles, id_profile_on, id_profile_off, id_profiles_message},
      {id_backups, id_backup_diff, id_restore, id_undo, id_backups_message}};
  Page current = page();
  for (int p = 0; p < page_count; ++p)
    for (int id : members[p]) {
      bool is_message = id == id_vars_message || id == id_path_message || id == id_profiles_message ||
                        id == id_backups_message;
      bool visible = p == current && (!is_message || GetWindowTextLengthW(control(id)) > 0);
      ShowWindow(control(id), visible ? SW_SHOW : SW_HIDE);
    }
  update_buttons();
}

void MainWindow::update_buttons() {
  bool writable = !read_only() && loaded_;
  bool named = GetWindowTextLengthW(control(id_name)) > 0;
  const std::string &sep = listing().path_sep;
  bool list_like = !sep.empty() && text_of(control(id_value)).find(widen(sep)) != std::wstring::npos;
  EnableWindow(control(id_set), writable && named);
  EnableWindow(control(id_clear), writable);
  EnableWindow(control(id_delete), writable && named);
  EnableWindow(control(id_edit_list), writable && named && list_like);
  int own = own_index(listing().path, static_cast<std::size_t>(selected_row(control(id_path))));
  int owns = own_count(listing().path);
  EnableWindow(control(id_browse), writable);
  EnableWindow(control(id_path_add), writable && GetWindowTextLengthW(control(id_entry)) > 0);
  EnableWindow(control(id_path_remove), writable && own >= 0);
  EnableWindow(control(id_path_up), writable && own > 0);
  EnableWindow(control(id_path_down), writable && own >= 0 && own + 1 < owns);
  int path_row = selected_row(control(id_path));
  std::size_t listed = listing().path.size();
  EnableWindow(control(id_path_switch_off), writable && own >= 0);
  EnableWindow(control(id_path_switch_on),
               writable && path_row >= 0 && static_cast<std::size_t>(path_row) >= listed &&
                   static_cast<std::size_t>(path_row) < listed + extras().off.size());
  int profile = selected_row(control(id_profiles));
  bool chosen = profile >= 0 && static_cast<std::size_t>(profile) < extras().profiles.size();
  bool on = chosen && extras().profiles[static_cast<std::size_t>(profile)].second;
  EnableWindow(control(id_profile_on), writable && chosen && !on);
  EnableWindow(control(id_profile_off), writable && chosen && on);
  int backup = selected_row(control(id_backups));
  EnableWindow(control(id_restore),
               loaded_ && backup >= 0 && static_cast<std::size_t>(backup) < shown_.backups.size() &&
                   !is_system_scope(shown_.backups[static_cast<std::size_t>(backup)].scope));
  bool any_user = std::any_of(shown_.backups.begin(), shown_.backups.end(),
                              [](const Backup &b) { return !is_system_scope(b.scope); });
  EnableWindow(control(id_undo), loaded_ && any_user);
}

void MainWindow::show_snapshot(Snapshot snapshot) {
  shown_ = std::move(snapshot);
  loaded_ = true;
  fill_variables();
  fill_path();
  fill_session();
  fill_warnings();
  fill_profiles();
  fill_backups();
  set_status(shown_.errors.empty() ? L"Ready" : widen(shown_.errors.substr(0, shown_.errors.find('\n'))));
  update_buttons();
}

void MainWindow::reload() {
  if (reloading_) {
    reload_again_ = true;
    return;
  }
  reloading_ = true;
  HWND window = hwnd_;
  SummaryCache *cache = summaries_.get();
  worker_.post([window, cache] {
    post_record(window, msg_snapshot, std::make_unique<Snapshot>(load_snapshot(*cache)));
  });
}

void MainWindow::fill_variables() {
  HWND list = control(id_vars);
  std::wstring filter = lower(text_of(control(id_filter)));
  Refill refill(list);
  var_rows_.clear();
  const std::vector<Variable> &vars = listing().vars;
  std::vector<std::string> places = variable_places(listing());
  for (std::size_t i = 0; i < vars.size(); ++i) {
    std::wstring name = shown(vars[i].name), value = shown(vars[i].value);
    if (!filter.empty() && lower(name).find(filter) == std::wstring::npos &&
        lower(value).find(filter) == std::wstring::npos)
      continue;
    var_rows_.push_back(static_cast<int>(i));
    add_row(list, {name, value, shown(vars[i].expanded), widen(places[i])});
  }
}

void MainWindow::fill_path() {
  HWND list = control(id_path);
  Refill refill(list);
  for (const PathEntry &e : listing().path)
    add_row(list, {e.entry.empty() ? L"(empty)" : shown(e.entry), widen(entry_state_text(e)),
                   widen(entry_origin_text(e, listing().scope))});
  for (const OffEntry &off : extras().off)
    add_row(list, {shown(off.entry), L"switched off (was at " + std::to_wstring(off.position) + L")",
                   widen(listing().scope) + L" scope · switched off"});
}

void MainWindow::fill_profiles() {
  HWND list = control(id_profiles);
  Refill refill(list);
  for (const auto &[name, on] : extras().profiles)
    add_row(list, {shown(name), on ? L"on" : L"off"});
}

void MainWindow::fill_session() {
  HWND list = control(id_session);
  Refill refill(list);
  for (const SessionVariable &v : listing().session)
    add_row(list, {shown(v.name), shown(v.value), shown(v.file)});
}

void MainWindow::fill_warnings() {
  HWND list = control(id_warnings);
  Refill refill(list);
  for (const Warning &w : listing().warnings)
    add_row(list, {widen(warning_line(w))});
  if (listing().warnings.empty())
    add_row(list, {L"No warnings."});
}

void MainWindow::fill_backups() {
  HWND list = control(id_backups);
  {
    Refill refill(list, 4); // by file
    for (std::size_t i = 0; i < shown_.backups.size(); ++i) {
      const Backup &b = shown_.backups[i];
      std::wstring change = i < shown_.changes.size() ? widen(shown_.changes[i]) : L"";
      add_row(list, {shown(b.ts.value_or("-")), shown(b.scope.value_or("-")), change, std::to_wstring(b.vars),
                     shown(b.path)});
    }
  }
  show_backup_diff();
}

void MainWindow::fill_form_from_selection() {
  int row = selected_row(control(id_vars));
  if (row < 0 || static_cast<std::size_t>(row) >= var_rows_.size())
    return;
  const Variable &v = listing().vars[static_cast<std::size_t>(var_rows_[static_cast<std::size_t>(row)])];
  SetWindowTextW(control(id_name), widen(v.name).c_str());
  SetWindowTextW(control(id_value), widen(v.value).c_str());
}

// What restoring the chosen backup would change, read on the worker thread.
void MainWindow::show_backup_diff() {
  int row = selected_row(control(id_backups));
  if (row < 0 || static_cast<std::size_t>(row) >= shown_.backups.size()) {
    ListView_DeleteAllItems(control(id_backup_diff));
    return;
  }
  std::string path = shown_.backups[static_cast<std::size_t>(row)].path;
  Listing now = shown_.user;
  HWND window = hwnd_;
  worker_.post([window, path, now] {
    auto diff = std::make_unique<DiffDone>();
    diff->path = path;
    try {
      diff->changes = backup_changes(read_backup_file(path), now);
    } catch (const std::exception &e) {
      diff->error = e.what();
    }
    post_record(window, msg_diff, std::move(diff));
  });
}

void MainWindow::on_command(int id, int code) {
  if (code == EN_CHANGE) {
    if (id == id_filter)
      fill_variables();
    update_buttons();
    return;
  }
  if (code != BN_CLICKED && id != IDOK && id != IDCANCEL)
    return;
  HWND focus = GetFocus();
  switch (id) {
  case IDOK: // Enter in a field
    if (focus == control(id_name) || focus == control(id_value))
      set_variable();
    else if (focus == control(id_entry))
      add_entry();
    return;
  case id_set:
    return set_variable();
  case id_clear:
    ListView_SetItemState(control(id_vars), -1, 0, LVIS_SELECTED);
    SetWindowTextW(control(id_name), L"");
    SetWindowTextW(control(id_value), L"");
    SetFocus(control(id_name));
    return;
  case id_delete:
    return delete_variable();
  case id_edit_list:
    return edit_as_list();
  case id_browse:
    return browse_folder();
  case id_path_add:
    return add_entry();
  case id_path_remove:
    return remove_entry();
  case id_path_up:
    return move_entry(-1);
  case id_path_down:
    return move_entry(1);
  case id_path_switch_off:
    return switch_entry(false);
  case id_path_switch_on:
    return switch_entry(true);
  case id_profile_on:
    return switch_profile(true);
  case id_profile_off:
    return switch_profile(false);
  case id_restore:
    return restore_selected();
  case id_undo:
    return undo_last_change();
  case id_elevate:
    return start_elevated();
  default:
    return;
  }
}

void MainWindow::on_notify(const NMHDR &hdr) {
  if (hdr.code == TCN_SELCHANGE && hdr.idFrom == id_scopes)
    return show_scope();
  if (hdr.code == TCN_SELCHANGE && hdr.idFrom == id_pages)
    return show_page();
  if (hdr.code != LVN_ITEMCHANGED)
    return;
  const auto &change = reinterpret_cast<const NMLISTVIEW &>(hdr);
  if (!(change.uChanged & LVIF_STATE) || !((change.uNewState ^ change.uOldState) & LVIS_SELECTED))
    return;
  if (hdr.idFrom == id_vars && (change.uNewState & LVIS_SELECTED))
    fill_form_from_selection();
  if (hdr.idFrom == id_backups && (change.uNewState & LVIS_SELECTED))
    show_backup_diff();
  update_buttons();
}

void MainWindow::run_change(Call call, int message_id) {
  show_message(message_id, "");
  set_status(L"Working…");
  HWND window = hwnd_;
  worker_.post([window, call = std::move(call), message_id] {
    auto done = std::make_unique<ChangeDone>();
    done->where = message_id;
    try {
      done->message = call();
    } catch (const std::exception &e) {
      done->ok = false;
      done->message = e.what();
    }
    post_record(window, msg_change, std::move(done));
  });
  reload();
}

void MainWindow::show_message(int message_id, const std::string &text) {
  HWND label = control(message_id);
  SetWindowTextW(label, widen(text).c_str());
  show_page();
}

void MainWindow::set_variable() {
  if (!IsWindowEnabled(control(id_set)))
    return;
  std::string s = scope(), name = narrow(text_of(control(id_name))),
              value = narrow(text_of(control(id_value)));
  run_change(
      [s, name, value] {
        lib_set(s, name, value);
        return std::string();
      },
      id_vars_message);
}

void MainWindow::delete_variable() {
  if (!IsWindowEnabled(control(id_delete)))
    return;
  std::string s = scope(), name = narrow(text_of(control(id_name)));
  run_change(
      [s, name] {
        lib_del(s, name);
        return std::string();
      },
      id_vars_message);
}

void MainWindow::edit_as_list() {
  if (!IsWindowEnabled(control(id_edit_list)))
    return;
  std::optional<std::string> edited = edit_list(
      hwnd_, text_of(control(id_name)), narrow(text_of(control(id_value))), listing().path_sep, font_, dpi_);
  if (!edited)
    return;
  SetWindowTextW(control(id_value), widen(*edited).c_str());
  set_variable();
}

void MainWindow::add_entry() {
  if (!IsWindowEnabled(control(id_path_add)))
    return;
  std::string s = scope(), entry = narrow(text_of(control(id_entry)));
  std::int32_t at = own_count(listing().path);
  run_change([s, entry, at] { return lib_path_add(s, entry, at); }, id_path_message);
}

void MainWindow::remove_entry() {
  int row = selected_row(control(id_path));
  if (!IsWindowEnabled(control(id_path_remove)) || row < 0)
    return;
  std::string s = scope(), entry = listing().path[static_cast<std::size_t>(row)].entry;
  run_change([s, entry] { return lib_path_del(s, entry); }, id_path_message);
}

// The entry moves past the next own entry up or down, skipping read-only ones between.
void MainWindow::move_entry(int by) {
  int row = selected_row(control(id_path));
  int own = own_index(listing().path, static_cast<std::size_t>(row));
  if (read_only() || own < 0 || own + by < 0 || own + by >= own_count(listing().path))
    return;
  std::string s = scope(), entry = listing().path[static_cast<std::size_t>(row)].entry;
  int to = own + by;
  run_change([s, entry, to] { return lib_path_move(s, entry, to); }, id_path_message);
}

// Off: an own entry leaves PATH, its position remembered. On: a switched-off entry (listed
// after PATH's) goes back.
void MainWindow::switch_entry(bool on) {
  int row = selected_row(control(id_path));
  if (!IsWindowEnabled(control(on ? id_path_switch_on : id_path_switch_off)) || row < 0)
    return;
  std::size_t at = static_cast<std::size_t>(row), listed = listing().path.size();
  std::string s = scope(), entry = on ? extras().off[at - listed].entry : listing().path[at].entry;
  run_change(
      [s, entry, on] {
        if (on)
          switch_entry_on(s, entry);
        else
          switch_entry_off(s, entry);
        return std::string();
      },
      id_path_message);
}

void MainWindow::switch_profile(bool on) {
  int row = selected_row(control(id_profiles));
  if (!IsWindowEnabled(control(on ? id_profile_on : id_profile_off)) || row < 0)
    return;
  std::string s = scope(), name = extras().profiles[static_cast<std::size_t>(row)].first;
  run_change(
      [s, name, on] {
        if (on)
          switch_profile_on(s, name);
        else
          switch_profile_off(s, name, false);
        return std::string();
      },
      id_profiles_message);
}

void MainWindow::browse_folder() {
  BROWSEINFOW info{};
  info.hwndOwner = hwnd_;
  info.lpszTitle = L"Choose a folder for PATH";
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  if (!chosen)
    return;
  wchar_t path[MAX_PATH * 4] = L"";
  if (SHGetPathFromIDListEx(chosen, path, MAX_PATH * 4, GPFIDL_DEFAULT))
    SetWindowTextW(control(id_entry), path);
  CoTaskMemFree(chosen);
}

void MainWindow::restore_selected() {
  int row = selected_row(control(id_backups));
  if (!IsWindowEnabled(control(id_restore)) || row < 0)
    return;
  std::string path = shown_.backups[static_cast<std::size_t>(row)].path;
  std::wstring question = L"Make the variables of " + widen(path) +
                          L" the user scope's variables again? A backup of the current state is taken first.";
  if (MessageBoxW(hwnd_, question.c_str(), L"Restore a backup", MB_YESNO | MB_ICONQUESTION) != IDYES)
    return;
  run_change([path] { return lib_restore(path); }, id_backups_message);
}

// The latest change of the user scope, whichever front end made it, is looked up on the
// worker thread; the window asks before it is taken back.
void MainWindow::undo_last_change() {
  Listing now = shown_.user;
  HWND window = hwnd_;
  worker_.post([window, now] {
    auto found = std::make_unique<UndoFound>();
    try {
      found->change = last_change(now);
    } catch (const std::exception &e) {
      found->error = e.what();
    }
    post_record(window, msg_undo, std::move(found));
  });
}

void MainWindow::confirm_undo(const UndoFound &found) {
  if (!found.error.empty() || !found.change)
    return show_message(id_backups_message, found.error.empty()
                                                ? "There is no backup of the user scope to go back to."
                                                : found.error);
  std::wstring question = L"Undo the last change (" + widen(found.change->summary) +
                          L") by restoring the backup taken before it (" + widen(found.change->backup_path) +
                          L")?";
  if (MessageBoxW(hwnd_, question.c_str(), L"Undo the last change", MB_YESNO | MB_ICONQUESTION) != IDYES)
    return;
  LastChange change = *found.change;
  run_change([change] { return undo_change(change); }, id_backups_message);
}

// Another instance of this program, elevated, for the system scope only.
void MainWindow::start_elevated() {
  wchar_t self[MAX_PATH * 4];
  GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOASYNC;
  info.hwnd = hwnd_;
  info.lpVerb = L"runas";
  info.lpFile = self;
  info.lpParameters = L"--scope system";
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info) && GetLastError() != ERROR_CANCELLED)
    set_status(L"Could not start an elevated instance for the system scope.");
}

void MainWindow::set_status(const std::wstring &text) {
  SetWindowTextW(control(id_status), text.c_str());
}

bool MainWindow::has_edit_focus() const {
  HWND focus = GetFocus();
  return focus == control(id_filter) || focus == control(id_name) || focus == control(id_value) ||
         focus == control(id_entry);
}

bool MainWindow::translate_key(const MSG &msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN && msg.message != WM_SYSCHAR)
    return false;
  bool ctrl = GetKeyState(VK_CONTROL) < 0, shift = GetKeyState(VK_SHIFT) < 0;
  if (msg.message == WM_KEYDOWN && ctrl && msg.wParam == VK_TAB) {
    int count = TabCtrl_GetItemCount(control(id_pages));
    select_page(static_cast<Page>((page() + (shift ? count - 1 : 1)) % count));
    return true;
  }
  if (msg.message == WM_KEYDOWN && ctrl && msg.wParam == 'F') {
    select_page(page_variables);
    SetFocus(control(id_filter));
    SendMessageW(control(id_filter), EM_SETSEL, 0, -1);
    return true;
  }
  // Ctrl+Z undoes the last change of the user scope, except in a field, whose own undo it is.
  if (msg.message == WM_KEYDOWN && ctrl && msg.wParam == 'Z' && !is_system() && !has_edit_focus()) {
    undo_last_change();
    return true;
  }
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_F5) {
    reload();
    return true;
  }
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_DELETE && msg.hwnd == control(id_vars)) {
    delete_variable();
    return true;
  }
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_DELETE && msg.hwnd == control(id_path)) {
    remove_entry();
    return true;
  }
  if (msg.message == WM_SYSKEYDOWN && (msg.wParam == VK_UP || msg.wParam == VK_DOWN) &&
      msg.hwnd == control(id_path)) {
    move_entry(msg.wParam == VK_UP ? -1 : 1);
    return true;
  }
  if (msg.message != WM_SYSCHAR)
    return false;
  // Alt+letter on a tab's title selects that tab.
  wchar_t key = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(msg.wParam)));
  for (int id : {id_scopes, id_pages}) {
    HWND tabs = control(id);
    for (int i = 0; i < TabCtrl_GetItemCount(tabs); ++i) {
      wchar_t title[64] = L"";
      TCITEMW item{};
      item.mask = TCIF_TEXT;
      item.pszText = title;
      item.cchTextMax = 64;
      TabCtrl_GetItem(tabs, i, &item);
      const wchar_t *amp = wcschr(title, L'&');
      if (amp && std::towlower(static_cast<wint_t>(amp[1])) == key) {
        TabCtrl_SetCurSel(tabs, i);
        id == id_scopes ? show_scope() : show_page();
        SetFocus(tabs);
        return true;
      }
    }
  }
  return false;
}
