// The registry has no files of the library's own to check, tidy or guard: the Windows
// backend's answers to the pipeline's and the listing's questions about them.
// Compiled in every build; it yields code only for Windows and for the simulation build.
#if defined(_WIN32) || defined(KENV_WIN_SIM)

#include "platform/env_plat.h"

int env_plat_native_ready(env_scope) {
  return 0;
}

void env_plat_native_tidy(env_scope) {
}

bool env_plat_native_line(env_scope, const std::string &, std::string &, std::size_t &) {
  return false;
}

void env_plat_native_dirs(env_scope, std::vector<std::string> &) {
}

#endif
