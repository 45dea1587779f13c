// kenv-system-helper: makes one change of the system scope for kenv-gui, which starts it
// through polkit's pkexec, so that a user who proves to be an administrator can change the
// machine's variables without any of the desktop front end running as root. It reads the
// change from its standard input (request.h has the format and the exit statuses), runs it
// through the library and answers with its exit status.
//
// It runs as root on bytes from whoever started it, so it treats every byte as hostile: it
// opens no path a request names, and no input ends it by a signal or with a status other
// than 0, 1 and 2. Whatever is thrown, whatever its type, becomes a refusal in one line.
#include "run_request.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string>

namespace {

constexpr int changed = 0, refused = 1, not_a_request = 2;

// Standard input, whole; nothing when it is larger than any request can be.
std::optional<std::string> read_request_text() {
  std::string text;
  char buffer[65536];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;) {
    text.append(buffer, got);
    if (text.size() > max_request_size)
      return std::nullopt;
  }
  return text;
}

// The words on stderr as one line, line breaks written as spaces. It allocates nothing, so
// it still works when memory ran out.
void say_line(const char *words) noexcept {
  if (!words || !*words)
    words = "kenv-system-helper: the change failed without a reason";
  for (; *words; ++words)
    std::fputc(*words == '\n' || *words == '\r' ? ' ' : *words, stderr);
  std::fputc('\n', stderr);
}

int run(int argc) {
  std::optional<std::string> text = argc == 1 ? read_request_text() : std::nullopt;
  std::optional<SystemRequest> request = text ? decode_request(*text) : std::nullopt;
  if (!request) {
    say_line("kenv-system-helper: expected one change of the system scope on standard input, "
             "as kenv-gui sends it");
    return not_a_request;
  }
  std::string note = run_request(*request);
  if (!note.empty())
    std::printf("%s\n", note.c_str());
  return changed;
}

} // namespace

int main(int argc, char **) {
  // kenv-gui gone before the answer makes a write fail; it never ends the helper.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    return run(argc);
  } catch (const std::bad_alloc &) {
    say_line("kenv-system-helper: ran out of memory");
  } catch (const std::exception &e) {
    say_line(e.what());
  } catch (...) {
    say_line("kenv-system-helper: the change failed for a reason it cannot name");
  }
  return refused;
}
