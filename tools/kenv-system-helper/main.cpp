// kenv-system-helper: makes one change of the system scope for kenv-gui, which starts it
// through polkit's pkexec, so that a user who proves to be an administrator can change the
// machine's variables without any of the desktop front end running as root. It reads the
// change from its standard input (see request.h), runs it through the library and answers
// with its exit status: 0 when the change was made (a note, if the library left one, on
// stdout), 1 when the library refused it (its words on stderr, one line), 2 when the
// input was not a request.
#include "library.h"
#include "request.h"

#include <cstdio>
#include <exception>
#include <iostream>

namespace {

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

} // namespace

int main(int argc, char **) {
  std::optional<std::string> text = argc == 1 ? read_request_text() : std::nullopt;
  std::optional<SystemRequest> request = text ? decode_request(*text) : std::nullopt;
  if (!request) {
    std::cerr << "kenv-system-helper: expected one change of the system scope on standard input, "
                 "as kenv-gui sends it\n";
    return 2;
  }
  try {
    std::string note = run_request(*request);
    if (!note.empty())
      std::cout << note << '\n';
    return 0;
  } catch (const std::exception &e) {
    // The library's refusals, and a document the request names that cannot be used.
    std::cerr << e.what() << '\n';
    return 1;
  }
}
