// A second process for the hardening tests: it edits the data directory of the HOME it
// inherits through the shared library, as a front end would, while the test runs another
// copy of it at the same time.
//
//   hardening_worker TAG COUNT   COUNT rounds of env_set("user", "TAG_i", "value i") and
//                                env_path_add("user", "/TAG/i", index)
//
// Exits 0 when every call succeeded, 1 after the first failure (its message on stderr) and
// 2 on bad arguments.
#include "kestrune_env.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s TAG COUNT\n", argv[0]);
    return 2;
  }
  const std::string tag = argv[1];
  const int count = std::atoi(argv[2]);
  for (int i = 0; i < count; ++i) {
    std::string name = tag + "_" + std::to_string(i);
    std::string value = "value " + std::to_string(i);
    std::string entry = "/" + tag + "/" + std::to_string(i);
    if (env_set("user", name.c_str(), value.c_str()) != 1) {
      std::fprintf(stderr, "%s: env_set %s: %s\n", tag.c_str(), name.c_str(), env_last_error());
      return 1;
    }
    // Entries go in at the front, the end and in between, so both processes' edits interleave.
    if (env_path_add("user", entry.c_str(), i % 3 == 0 ? 0 : (i % 3 == 1 ? -1 : i / 2)) != 1) {
      std::fprintf(stderr, "%s: env_path_add %s: %s\n", tag.c_str(), entry.c_str(), env_last_error());
      return 1;
    }
  }
  return 0;
}
