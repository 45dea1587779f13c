// The registry checks as a Windows program, run under wine by win_wine_test. Without
// arguments it runs every check: one line per check, "PASS <name>" or "FAIL <name>" followed
// by what failed, then a summary line; the exit status is 0 only when every check passed.
//
// With an argument it does one step of a check whose other half is wine's own reg.exe:
//   write-samples   writes win_unicode_samples.h's values through the backend
//   list NAME       prints the value of NAME as the backend lists the user's key, in UTF-8
//   reg-sz-names    prints the user's REG_SZ value names as kenv's doctor reads them
//   variable NAME   prints the ANSI code page, the C library's copy of NAME (getenv) and
//                   NAME as the backend reads it, one per line
//   clean           removes every KENV_CHECK_... value
#include "core/names.h"
#include "platform.h"
#include "platform/env_plat.h"
#include "win_registry_checks.h"

#include "support/core_calls.h"
#include "win_unicode_samples.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int run_checks() {
  int failed = 0;
  for (const registry_check &check : registry_checks()) {
    std::string failures = check.run();
    std::printf("%s %s\n%s", failures.empty() ? "PASS" : "FAIL", check.name, failures.c_str());
    failed += failures.empty() ? 0 : 1;
  }
  std::printf("checks: %zu, failing: %d\n", registry_checks().size(), failed);
  return failed == 0 ? 0 : 1;
}

int write_samples() {
  for (const unicode_sample &sample : unicode_samples)
    if (native_set(env_scope::user, sample.name, sample.value) != 0)
      return 1;
  return 0;
}

int list(const char *name) {
  env_kv_list vars;
  env_plat_native_vars(env_scope::user, vars);
  const env_kv *kv = env_kv_find(vars, name);
  if (!kv)
    return 1;
  std::fwrite(kv->value.data(), 1, kv->value.size(), stdout);
  return 0;
}

int reg_sz_names() {
  for (const std::string &name : unexpanded_value_names("user"))
    std::printf("%s\n", name.c_str());
  return 0;
}

int variable(const char *name) {
  const char *ansi = std::getenv(name);
  std::optional<std::string> wide = env_plat_process_variable(name);
  std::printf("%u\n%s\n%s\n", GetACP(), ansi ? ansi : "(unset)", wide ? wide->c_str() : "(unset)");
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  std::string step = argc > 1 ? argv[1] : "";
  if (step.empty())
    return run_checks();
  if (step == "write-samples")
    return write_samples();
  if (step == "list" && argc > 2)
    return list(argv[2]);
  if (step == "reg-sz-names")
    return reg_sz_names();
  if (step == "variable" && argc > 2)
    return variable(argv[2]);
  if (step == "clean") {
    remove_registry_check_values();
    return 0;
  }
  std::fprintf(stderr, "unknown step '%s'\n", step.c_str());
  return 2;
}
