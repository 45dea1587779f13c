#include "platform.h"

#include <cstdlib>

#if defined(_WIN32)
#if !defined(WIN32_LEAN_AND_MEAN)
#define WIN32_LEAN_AND_MEAN
#endif
#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace {

std::wstring to_wide(std::string_view utf8) {
  if (utf8.empty())
    return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0)
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string to_utf8(std::wstring_view wide) {
  if (wide.empty())
    return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                              nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                        nullptr);
  return out;
}

struct local_freer {
  void operator()(LPWSTR *p) const { LocalFree(p); }
};

struct key_closer {
  void operator()(HKEY key) const { RegCloseKey(key); }
};

struct handle_closer {
  void operator()(HANDLE h) const { CloseHandle(h); }
};

} // namespace

std::vector<std::string> command_words(int, char **) {
  int count = 0;
  std::unique_ptr<LPWSTR, local_freer> args(CommandLineToArgvW(GetCommandLineW(), &count));
  std::vector<std::string> words;
  for (int i = 1; args && i < count; ++i)
    words.push_back(to_utf8(args.get()[i]));
  return words;
}

// A console is written through WriteConsoleW (write_stream), which takes "\n" as it is.
void binary_stdout_unless_console() {
  HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (h != nullptr && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode))
    return;
  std::fflush(stdout);
  (void)_setmode(_fileno(stdout), _O_BINARY);
}

void write_stream(std::FILE *stream, std::string_view text) {
  HANDLE h = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (h == INVALID_HANDLE_VALUE || !GetConsoleMode(h, &mode)) {
    std::fwrite(text.data(), 1, text.size(), stream);
    return;
  }
  std::fflush(stream); // what was written before goes first
  std::wstring wide = to_wide(text);
  DWORD written = 0;
  for (std::size_t at = 0; at < wide.size(); at += written) {
    std::size_t chunk = std::min<std::size_t>(wide.size() - at, 16384);
    if (chunk < wide.size() - at && wide[at + chunk - 1] >= 0xD800 && wide[at + chunk - 1] <= 0xDBFF)
      --chunk; // a surrogate pair goes in one piece
    if (!WriteConsoleW(h, wide.data() + at, static_cast<DWORD>(chunk), &written, nullptr) || written == 0)
      return;
  }
}

std::string shown_path(const std::string &path) {
  std::string out = path;
  std::replace(out.begin(), out.end(), '/', '\\');
  return out;
}

bool colour_terminal(std::FILE *stream) {
  HANDLE h = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (h == INVALID_HANDLE_VALUE || !GetConsoleMode(h, &mode))
    return false;
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) ||
         SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

FileKind file_kind(const std::string &path) {
  struct _stat64 st;
  if (::_wstat64(to_wide(path).c_str(), &st) != 0)
    return errno == ENOENT ? FileKind::missing : FileKind::unknown;
  return (st.st_mode & _S_IFMT) == _S_IFDIR ? FileKind::directory : FileKind::other;
}

std::optional<std::string> process_variable(const std::string &name) {
  std::wstring wname = to_wide(name);
  DWORD needed = GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
  if (needed == 0)
    return std::nullopt;
  std::wstring value(needed, L'\0');
  DWORD got = GetEnvironmentVariableW(wname.c_str(), value.data(), needed);
  if (got >= needed)
    return std::nullopt;
  value.resize(got);
  return to_utf8(value);
}

std::vector<std::string> unexpanded_value_names(const std::string &scope) {
  bool system = scope == "system";
  HKEY opened = nullptr;
  if (RegOpenKeyExW(system ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                    system ? L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment"
                           : L"Environment",
                    0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
    return {};
  std::unique_ptr<HKEY__, key_closer> key(opened);
  std::vector<std::string> names;
  std::vector<wchar_t> name(32768);
  for (DWORD index = 0;; ++index) {
    DWORD len = static_cast<DWORD>(name.size()), type = REG_NONE;
    LONG rc = RegEnumValueW(key.get(), index, name.data(), &len, nullptr, &type, nullptr, nullptr);
    if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA)
      return names;
    if (rc == ERROR_SUCCESS && type == REG_SZ)
      names.push_back(to_utf8(std::wstring_view(name.data(), len)));
  }
}

bool process_is_elevated() {
  HANDLE opened = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened))
    return false;
  std::unique_ptr<void, handle_closer> token(opened);
  TOKEN_ELEVATION elevation{};
  DWORD size = sizeof elevation;
  return GetTokenInformation(token.get(), TokenElevation, &elevation, size, &size) &&
         elevation.TokenIsElevated;
}

int open_without_waiting(const std::string &path) {
  return ::_wopen(to_wide(path).c_str(), _O_RDONLY | _O_BINARY);
}

long long utc_seconds(std::tm &tm) {
  return static_cast<long long>(_mkgmtime(&tm));
}

long long process_id() {
  return static_cast<long long>(GetCurrentProcessId());
}

#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::vector<std::string> command_words(int argc, char **argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

void binary_stdout_unless_console() {
}

void write_stream(std::FILE *stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

std::string shown_path(const std::string &path) {
  return path;
}

bool colour_terminal(std::FILE *stream) {
  return isatty(fileno(stream)) == 1;
}

FileKind file_kind(const std::string &path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0)
    return errno == ENOENT ? FileKind::missing : FileKind::unknown;
  return S_ISDIR(st.st_mode) ? FileKind::directory : FileKind::other;
}

std::optional<std::string> process_variable(const std::string &name) {
  const char *value = std::getenv(name.c_str());
  return value ? std::optional<std::string>(value) : std::nullopt;
}

std::vector<std::string> unexpanded_value_names(const std::string &) {
  return {};
}

bool process_is_elevated() {
  return false;
}

int open_without_waiting(const std::string &path) {
  return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

long long utc_seconds(std::tm &tm) {
  return static_cast<long long>(timegm(&tm));
}

long long process_id() {
  return static_cast<long long>(::getpid());
}

#endif
