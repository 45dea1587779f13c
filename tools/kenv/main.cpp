// kenv: view and edit persistent environment variables from the command line.
//
// Exit status: 0 on success; 1 when the library reports a failure (its message goes to
// stderr as "kenv: <message>"), when `get` finds no such variable, or when `doctor` finds
// something; 2 for a usage error.
#include "args.h"
#include "commands.h"
#include "help.h"
#include "library.h"
#include "output.h"
#include "platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

struct Command {
  std::string_view name;
  int (*run)(const Words &);
};

constexpr Command commands[] = {
    {"list", cmd_list},       {"env", cmd_env},
    {"get", cmd_get},         {"set", cmd_set},
    {"unset", cmd_unset},     {"path", cmd_path},
    {"backups", cmd_backups}, {"restore", cmd_restore},
    {"export", cmd_export},   {"apply", cmd_apply},
    {"profile", cmd_profile}, {"shell-init", cmd_shell_init},
    {"doctor", cmd_doctor},   {"__complete", cmd_complete},
};

int usage_error(const UsageError &e) {
  std::string topic = e.command.empty() ? "" : " " + e.command;
  write_err("kenv: " + std::string(e.what()) + "\nTry 'kenv" + topic + " --help'.\n");
  return 2;
}

int run_top_level(const Words &given) {
  Words words = move_global_options(given);
  if (words.empty()) {
    write_err(help_summary());
    return 2;
  }
  const std::string &first = words[0];
  Words rest(words.begin() + 1, words.end());
  if (first == "--help" || first == "-h")
    return show_help("");
  if (first == "--version") {
    write_out("kenv " KENV_VERSION "\n");
    return 0;
  }
  if (first == "help")
    return show_help_for(rest);
  for (const Command &c : commands)
    if (c.name == first)
      return c.run(rest);
  if (!first.empty() && first[0] == '-')
    throw UsageError("", "unknown option '" + first + "'");
  throw UsageError("", "unknown command '" + first + "'");
}

// Output that could not be written (a full disk, a closed pipe) is a failure too.
int finish(int status) {
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    write_err(std::string("kenv: cannot write output: ") + std::strerror(errno) + "\n");
    return status == 0 ? 1 : status;
  }
  return status;
}

} // namespace

int main(int argc, char **argv) {
  binary_stdout_unless_console();
  Words words = command_words(argc, argv);
  int status;
  try {
    status = run_top_level(words);
  } catch (const UsageError &e) {
    status = usage_error(e);
  } catch (const LibraryError &e) {
    write_err("kenv: " + std::string(e.what()) + "\n");
    status = 1;
  } catch (const std::exception &e) {
    write_err("kenv: " + std::string(e.what()) + "\n");
    status = 1;
  }
  return finish(status);
}
