// A throw-away HOME for a fuzz target: HOME and the XDG directories point into a fresh
// temporary folder (on tmpfs when there is one), which is removed when the process exits.
// The targets only use the user scope; the system scope would be the build tree's.
#pragma once

#include <string>

namespace fuzz_home {

// Creates the folder, points the environment at it and makes flushing to disk free: the
// targets write thousands of files and are about their contents. Call once, first.
void set_up();
// Empties HOME, so that the next input starts from nothing.
void reset();

std::string home();
std::string data_dir();
std::string user_envd();

// Reports a failed check of the target, removes the folder and aborts, so that libFuzzer
// keeps the input.
[[noreturn]] void fail(const char *target, const std::string &what);

// Replaces the file with the bytes, creating missing parent directories.
void write(const std::string &path, const std::string &bytes);
// The whole file, or "" when it cannot be read.
std::string read(const std::string &path);

} // namespace fuzz_home
