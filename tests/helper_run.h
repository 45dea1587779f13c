// Runs kenv-system-helper as pkexec would, on one request: the request's bytes on its
// standard input, and its exit status, or the signal that ended it, and stderr kept.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

struct HelperRun {
  int status = -1; // the exit status; -1 when a signal ended the helper
  int signal = 0;
  std::string err;
};

inline std::string file_text(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The fields of a request, each ended by a NUL byte.
inline std::string request_bytes(std::initializer_list<std::string> fields) {
  std::string text;
  for (const std::string &f : fields)
    text += f + '\0';
  return text;
}

// Runs `argv` (an absolute path first) in `dir` with `input` on stdin; stdout is dropped.
inline HelperRun run_with_input(const std::vector<std::string> &argv, const std::string &input,
                                const std::string &dir) {
  const std::string in_path = dir + "/request", err_path = dir + "/stderr";
  std::ofstream(in_path, std::ios::binary | std::ios::trunc) << input;
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 0, in_path.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&files, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char *> args;
  for (const std::string &a : argv)
    args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  HelperRun ran;
  pid_t pid = 0;
  int started = posix_spawn(&pid, args[0], &files, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&files);
  int wait_status = 0;
  if (started != 0 || waitpid(pid, &wait_status, 0) != pid)
    return ran;
  if (WIFEXITED(wait_status))
    ran.status = WEXITSTATUS(wait_status);
  if (WIFSIGNALED(wait_status))
    ran.signal = WTERMSIG(wait_status);
  ran.err = file_text(err_path);
  return ran;
}
