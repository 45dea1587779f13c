#include "kenv_run.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

std::vector<std::string> environment_with(const EnvChanges &changes) {
  std::vector<std::string> env;
  for (char **e = environ; *e; ++e) {
    std::string entry = *e;
    if (changes.count(entry.substr(0, entry.find('='))) == 0)
      env.push_back(entry);
  }
  for (const auto &[name, value] : changes)
    if (value)
      env.push_back(name + "=" + *value);
  return env;
}

std::vector<char *> pointers(std::vector<std::string> &words) {
  std::vector<char *> out;
  for (std::string &w : words)
    out.push_back(w.data());
  out.push_back(nullptr);
  return out;
}

int wait_status(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Reads both pipes until both are closed, so neither child stream can fill up and block.
void drain(int out_fd, int err_fd, Outcome &run) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string *sinks[2] = {&run.out, &run.err};
  int open_count = (out_fd >= 0) + (err_fd >= 0);
  while (open_count > 0) {
    if (poll(fds, 2, -1) < 0 && errno == EINTR)
      continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
        continue;
      char buf[8192];
      ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
}

} // namespace

Outcome run_process(const std::vector<std::string> &argv, const EnvChanges &env,
                    const std::string &stdout_path) {
  Outcome run;
  int out_pipe[2] = {-1, -1}, err_pipe[2];
  if ((stdout_path.empty() && pipe(out_pipe) != 0) || pipe(err_pipe) != 0)
    return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (stdout_path.empty())
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  else
    posix_spawn_file_actions_addopen(&actions, 1, stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  std::vector<std::string> words = argv, vars = environment_with(env);
  std::vector<char *> args = pointers(words), envp = pointers(vars);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (out_pipe[1] >= 0)
    close(out_pipe[1]);
  close(err_pipe[1]);
  drain(out_pipe[0], err_pipe[0], run);
  if (rc == 0)
    run.status = wait_status(pid);
  return run;
}

Outcome run_in_terminal(const std::vector<std::string> &argv, const EnvChanges &env) {
  Outcome run;
  std::vector<std::string> words = argv, vars = environment_with(env);
  std::vector<char *> args = pointers(words), envp = pointers(vars);
  int master = -1;
  pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
  if (pid < 0)
    return run;
  char buf[4096];
  for (ssize_t n; (n = read(master, buf, sizeof buf)) != 0;) {
    if (n > 0)
      run.out.append(buf, static_cast<std::size_t>(n));
    else if (errno != EINTR)
      break; // EIO: the child closed the terminal
  }
  close(master);
  run.status = wait_status(pid);
  return run;
}

std::map<std::string, std::string> parse_env0(const std::string &text) {
  std::map<std::string, std::string> vars;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\0', at);
    if (end == std::string::npos)
      end = text.size();
    std::string entry = text.substr(at, end - at);
    std::size_t eq = entry.find('=');
    if (eq != std::string::npos)
      vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    at = end + 1;
  }
  return vars;
}

Outcome KenvTest::kenv(const std::vector<std::string> &args, const EnvChanges &env) {
  std::vector<std::string> argv{KENV_BIN};
  argv.insert(argv.end(), args.begin(), args.end());
  EnvChanges changes{{"NO_COLOR", std::nullopt}, {"SHELL", "/bin/sh"}};
  for (const auto &[name, value] : env)
    changes[name] = value;
  return run_process(argv, changes);
}

std::string KenvTest::kenv_ok(const std::vector<std::string> &args, const EnvChanges &env) {
  Outcome r = kenv(args, env);
  std::string words;
  for (const std::string &a : args)
    words += " " + a;
  EXPECT_EQ(r.status, 0) << "kenv" << words << "\nstderr: " << r.err;
  EXPECT_EQ(r.err, "") << "kenv" << words;
  return r.out;
}
