// Runs a shell command for a test and returns what it printed on stdout.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <sys/wait.h>

inline std::string run(const std::string &cmd, int *exit_status = nullptr) {
  std::string out;
  FILE *pipe = popen(cmd.c_str(), "r");
  if (!pipe)
    return out;
  char buf[4096];
  for (std::size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;)
    out.append(buf, n);
  int status = pclose(pipe);
  if (exit_status)
    *exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}
