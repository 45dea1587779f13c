// The process environment on Windows, read wide. The C library's copy that getenv reads is
// converted to the ANSI code page, which turns every character it lacks into '?': a user
// profile folder named "Dossier ü 日本" would become "Dossier ü ??" under code page 1252.
// Compiled in every build; it yields code only for Windows and for the simulation build.
#if defined(_WIN32) || defined(KENV_WIN_SIM)

#include "platform/env_plat.h"
#include "win/utf16.h"

std::optional<std::string> env_plat_process_variable(std::string_view name) {
  win_wstring wide_name = win_to_wide(name);
  // 0 for an unset variable; an empty one needs room for its NUL.
  DWORD needed = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  win_wstring value;
  while (needed > value.size()) {
    value.assign(needed, WCHAR{0});
    SetLastError(0);
    DWORD got = GetEnvironmentVariableW(wide_name.c_str(), value.data(), needed);
    if (got == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND)
      return std::nullopt;
    if (got < needed) {
      value.resize(got);
      return win_to_utf8(value);
    }
    needed = got; // it grew in between
  }
  return std::nullopt;
}

#endif
