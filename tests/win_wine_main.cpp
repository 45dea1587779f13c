// The registry checks as a Windows program, run under wine by win_wine_test. One line per
// check, "PASS <name>" or "FAIL <name>" followed by what failed, then a summary line; the
// exit status is 0 only when every check passed.
#include "win_registry_checks.h"

#include <cstdio>

int main() {
  int failed = 0;
  for (const registry_check &check : registry_checks()) {
    std::string failures = check.run();
    std::printf("%s %s\n%s", failures.empty() ? "PASS" : "FAIL", check.name, failures.c_str());
    failed += failures.empty() ? 0 : 1;
  }
  std::printf("checks: %zu, failing: %d\n", registry_checks().size(), failed);
  return failed == 0 ? 0 : 1;
}
