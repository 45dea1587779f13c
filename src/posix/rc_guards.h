// The `-d` tests that guard the lines of a shell start-up file, for the static scan of the
// PATH entries it adds (rc_files.cpp). Debian's skeleton ~/.profile adds ~/bin only inside
// `if [ -d "$HOME/bin" ]`, so while ~/bin is missing the line adds nothing.
#pragma once

#include <string_view>
#include <vector>

// Reads a start-up file line by line and keeps the directories whose `[ -d DIR ]`,
// `[[ -d DIR ]]` or `test -d DIR` guards the line: the condition of each `if` that is open
// (up to its `else`, `elif` or `fi`), and a test that is followed by `&&` on the line.
// Nothing is run: only those shapes are recognised, any other condition guards nothing.
class rc_dir_guards {
public:
  // The part of the line that runs under the guards (what follows `then` or `&&`, or the
  // whole line), after reading the line's `if`, `then`, `else`, `elif` and `fi`.
  std::string_view read(std::string_view line);
  // The DIR words, without their quotes, that guard the text read() returned last.
  const std::vector<std::string_view> &dirs() const { return dirs_; }

private:
  std::vector<std::string_view> open_; // one per open `if`: its DIR, or empty
  std::vector<std::string_view> dirs_;
  std::string_view body(std::string_view rest, std::string_view line_dir);
};
