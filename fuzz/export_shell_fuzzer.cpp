// Names and values through the export file, sourced by dash. The input is NUL-separated
// name, value, name, value... Every variable whose name is a shell name and whose value
// holds no reference must come out of the shell with exactly its value (the last one of a
// name wins; PATH is appended to the PATH the shell has; an empty value, which environment.d
// drops, exports nothing), and sourcing must print nothing and succeed: no value or name may
// run code or end the shell. A value with a `$NAME` or `${NAME}` reference expands as in a
// session, against what the shell has then, so it is sourced but its result not checked.
#include "fuzz_home.h"

#include "core/state.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifndef KENV_DASH
#error "the target needs KENV_DASH, the path of dash"
#endif

extern char **environ;

namespace {

constexpr std::size_t max_vars = 8;


bool name_start(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

// Whether the value holds a `$NAME` or `${NAME}` reference.
bool has_reference(const std::string &v) {
  for (std::size_t i = 0; i + 1 < v.size(); ++i) {
    if (v[i] != '$')
      continue;
    std::size_t at = i + 1 + (v[i + 1] == '{' ? 1 : 0);
    if (at < v.size() && name_start(v[at]))
      return true;
  }
  return false;
}

// The PATH after sourcing a PATH line: the value after the PATH the shell has, if any.
std::string extended_path(const std::map<std::string, std::string> &expected, const std::string &value) {
  auto set = expected.find("PATH");
  const char *inherited = std::getenv("PATH");
  std::string current = set != expected.end() ? set->second : inherited ? inherited : "";
  return current.empty() ? value : current + ":" + value;
}

// Runs dash on the script with the file as $1; its standard output, and its exit status.
std::string run_dash(const std::string &script, const std::string &file, int &status) {
  int out[2];
  if (pipe(out) != 0)
    std::abort();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  char *argv[] = {const_cast<char *>("dash"),         const_cast<char *>("-c"),
                  const_cast<char *>(script.c_str()), const_cast<char *>("dash"),
                  const_cast<char *>(file.c_str()),   nullptr};
  pid_t pid = -1;
  int rc = posix_spawn(&pid, KENV_DASH, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  // libFuzzer's timer interrupts system calls once a second.
  std::string text;
  char buf[4096];
  for (;;) {
    ssize_t n = read(out[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    text.append(buf, static_cast<std::size_t>(n));
  }
  close(out[0]);
  int wait_status = 0;
  pid_t waited = -1;
  do
    waited = rc == 0 ? waitpid(pid, &wait_status, 0) : -1;
  while (waited < 0 && errno == EINTR);
  status = waited != pid            ? -1
           : WIFEXITED(wait_status) ? WEXITSTATUS(wait_status)
                                    : 128 + WTERMSIG(wait_status);
  return text;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz_home::set_up();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char *>(data), size);
  env_kv_list vars;
  std::map<std::string, std::string> expected;
  std::map<std::string, bool> unknown; // names whose value the model cannot tell
  while (!input.empty() && vars.size() < max_vars) {
    std::size_t cut = input.find('\0');
    std::string name(input.substr(0, cut));
    input.remove_prefix(cut == std::string_view::npos ? input.size() : cut + 1);
    cut = input.find('\0');
    std::string value(input.substr(0, cut));
    input.remove_prefix(cut == std::string_view::npos ? input.size() : cut + 1);
    env_kv_push(vars, name.c_str(), value.c_str(), "overlay");
    if (!export_writes(env_kv{name, value, ""}))
      continue;
    if (has_reference(value))
      unknown[name] = true;
    else if (name == "PATH")
      expected[name] = extended_path(expected, value);
    else
      expected[name] = value;
  }
  for (const auto &[name, ignored] : unknown)
    expected.erase(name);
  const std::string file = fuzz_home::home() + "/user-env.sh";
  fuzz_home::write(file, export_text(file, env_scope::user, vars, 0));
  std::string script = ". \"$1\" || exit 99";
  std::string want;
  for (const auto &[name, value] : expected) {
    script += "; printf '%s\\0' \"$" + name + "\"";
    want += value + '\0';
  }
  int status = 0;
  std::string got = run_dash(script, file, status);
  if (status != 0 || got != want)
    fuzz_home::fail("export_shell_fuzzer", "dash exited " + std::to_string(status) + " and printed " +
                                               std::to_string(got.size()) + " bytes, " +
                                               std::to_string(want.size()) + " expected");
  return 0;
}
