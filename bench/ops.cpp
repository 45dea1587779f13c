// The library calls behind each operation.
#include "ops.h"

#include "kestrune_env.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace bench {

namespace {

constexpr const char *new_name = "BENCH_NEW";
constexpr const char *deleted_name = "BENCH_GONE";

// A store variable from the middle of the scope; its value keeps its length.
const char *existing_name() {
  return "BENCH_S_00001";
}

// An existing directory that the PATH does not hold.
constexpr const char *added_entry = "extra";

bool listed(char *text) {
  bool ok = text != nullptr;
  env_free_string(text);
  return ok;
}

int path_middle(const workload &w) {
  return static_cast<int>(w.path_entries().size() / 2);
}

bool move_entry(workload &w, long iteration) {
  const std::string &entry = w.path_entries()[static_cast<std::size_t>(path_middle(w))];
  int to = iteration % 2 == 0 ? 0 : static_cast<int>(w.path_entries().size());
  return env_path_move("user", entry.c_str(), to) == 1;
}

} // namespace

const char *op_name(op o) {
  switch (o) {
  case op::list:
    return "env_list";
  case op::set_new:
    return "env_set_new";
  case op::set_existing:
    return "env_set_existing";
  case op::del:
    return "env_del";
  case op::path_add:
    return "env_path_add";
  case op::path_move:
    return "env_path_move";
  case op::restore:
    return "env_restore";
  case op::backups:
    return "env_backups";
  case op::kenv_restore_latest:
    return "kenv_restore_latest";
  case op::kenv_apply:
    return "kenv_apply";
  }
  return "?";
}

bool op_changes(op o) {
  return o != op::list && o != op::backups && o != op::kenv_restore_latest && o != op::kenv_apply;
}

namespace {

// Runs the program with stdout going to `out_fd` (or /dev/null) and stderr to /dev/null;
// its exit status, or -1.
int run_program(char *const argv[], int out_fd) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (out_fd >= 0)
    posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
  else
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0)
    return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR)
      return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

bool run_kenv_restore_latest() {
  if (!*KENV_BIN)
    return false;
  char *argv[] = {const_cast<char *>(KENV_BIN), const_cast<char *>("restore"), const_cast<char *>("--latest"),
                  nullptr};
  return run_program(argv, -1) == 0;
}

bool run_kenv_apply(const std::string &file) {
  char *argv[] = {const_cast<char *>(KENV_BIN), const_cast<char *>("apply"), const_cast<char *>(file.c_str()),
                  nullptr};
  return *KENV_BIN && run_program(argv, -1) == 0;
}

bool run_kenv_set(const char *name, const char *value) {
  char *argv[] = {const_cast<char *>(KENV_BIN), const_cast<char *>("set"), const_cast<char *>(name),
                  const_cast<char *>(value), nullptr};
  return *KENV_BIN && run_program(argv, -1) == 0;
}

long kenv_restore_latest_peak_kib() {
  if (!*KENV_PEAK_RSS)
    return -1;
  char *argv[] = {const_cast<char *>(KENV_PEAK_RSS), const_cast<char *>(KENV_BIN),
                  const_cast<char *>("restore"), const_cast<char *>("--latest"), nullptr};
  int fds[2];
  if (pipe(fds) != 0)
    return -1;
  int status = run_program(argv, fds[1]);
  close(fds[1]);
  char buf[64] = {};
  long n = read(fds[0], buf, sizeof buf - 1);
  close(fds[0]);
  return status == 0 && n > 0 ? std::strtol(buf, nullptr, 10) : -1;
}

bool op_has_prepare(op o) {
  return o == op::del;
}

bool op_has_reset(op o) {
  return o == op::set_new || o == op::path_add;
}

bool op_prepare(op o, workload &) {
  return o != op::del || env_set("user", deleted_name, "value-gone") == 1;
}

bool op_reset(op o, workload &) {
  if (o == op::set_new)
    return env_del("user", new_name) == 1;
  if (o == op::path_add)
    return env_path_del("user", added_entry) == 1;
  return true;
}

bool op_call(op o, workload &w, long iteration) {
  switch (o) {
  case op::list:
    return listed(env_list("user"));
  case op::set_new:
    return env_set("user", new_name, "value-new") == 1;
  case op::set_existing:
    return env_set("user", existing_name(), iteration % 2 ? "value-x00001" : "value-y00001") == 1;
  case op::del:
    return env_del("user", deleted_name) == 1;
  case op::path_add:
    return env_path_add("user", added_entry, path_middle(w)) == 1;
  case op::path_move:
    return move_entry(w, iteration);
  case op::restore:
    return env_restore(w.restore_file(static_cast<int>(iteration % 2)).c_str()) == 1;
  case op::backups:
    return listed(env_backups());
  case op::kenv_restore_latest:
    return run_kenv_restore_latest();
  case op::kenv_apply:
    return false; // measured as a whole process by its own benchmark
  }
  return false;
}

} // namespace bench
