// What kenv needs of the operating system beyond the library, and the only place where
// Windows and POSIX differ for it. kenv's texts are UTF-8 everywhere: on Windows the
// command line, the console, paths and the process environment are UTF-16, and they are
// converted here. Windows also says which registry values it expands, which the library's
// listing does not carry.
#pragma once

#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The words after the program name, in UTF-8. On Windows they are read from the UTF-16
// command line: argv holds them in the ANSI code page, with '?' for what it lacks.
std::vector<std::string> command_words(int argc, char **argv);

// On Windows, puts stdout in binary mode unless it is a console, so that what kenv prints
// reaches a file or a pipe byte for byte: in text mode every "\n" becomes "\r\n", and a value
// holding a newline would no longer be the value. Nothing to do elsewhere.
void binary_stdout_unless_console();

// Writes UTF-8 text to stdout or stderr. A Windows console is given UTF-16, which shows
// every character whatever its code page; files and pipes receive the UTF-8 bytes.
void write_stream(std::FILE *stream, std::string_view text);

// True when the stream is a terminal that shows ANSI colour sequences. A Windows console is
// asked to interpret them, which Windows 10 and later do on request.
bool colour_terminal(std::FILE *stream);

// A path as the platform shows it to the user: on Windows with a backslash for every '/'
// (the library joins its own file names with '/', which Windows accepts), elsewhere as it is.
std::string shown_path(const std::string &path);

enum class FileKind { missing, directory, other, unknown };
// What a path names; `unknown` when it cannot be examined (no permission, a bad name).
FileKind file_kind(const std::string &path);

// Opens a file for reading without waiting on a FIFO or a device that has no writer; -1 on
// failure.
int open_without_waiting(const std::string &path);

// Seconds since the epoch of a broken-down UTC time.
long long utc_seconds(std::tm &tm);

// This process's number, as the library's temporary names carry it.
long long process_id();

// A variable of kenv's own process environment, in UTF-8.
std::optional<std::string> process_variable(const std::string &name);

// The names of the scope's registry values of type REG_SZ, whose %NAME% references
// Windows does not expand. Empty where there is no registry.
std::vector<std::string> unexpanded_value_names(const std::string &scope);

// True when this process may write the machine's Environment key: on Windows an elevated
// process. Always false elsewhere, where the system scope's rights are the files' own.
bool process_is_elevated();
