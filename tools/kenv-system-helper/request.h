// One change of the system scope as kenv-gui hands it to kenv-system-helper: the operation
// and its arguments as fields, each ended by a NUL byte, on the helper's standard input.
// Names, values and PATH entries never hold a NUL byte (the library takes C strings), so
// every other byte arrives as it was typed, and nothing of the change shows in the process
// list the way command-line arguments would.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The operations: "set" NAME VALUE, "unset" NAME, "path-add" ENTRY INDEX, "path-rm" ENTRY,
// "path-mv" ENTRY INDEX (an index in decimal), "path-on" ENTRY and "path-off" ENTRY (an own
// entry switched back on or off), "profile-on" NAME, "profile-off" NAME, "profile-new" NAME
// VARIABLE..., "profile-import" NAME FILE (a file the helper reads as root), "profile-rm"
// NAME and "apply" FILE LINES: the document applied as the window showed it, LINES being
// applied_lines of the changes the user confirmed; the helper plans it again and refuses
// when its own plan differs, so that it never carries out a change nobody saw.
struct SystemRequest {
  std::string operation;
  std::vector<std::string> args;
};

// Requests larger than this are refused unread: no value the library accepts comes near it.
inline constexpr std::size_t max_request_size = 1 << 20;

std::string encode_request(const SystemRequest &request);
// The request the text holds, or nothing when it is not one (an unknown operation, the
// wrong number of fields, an index that is not a 32-bit decimal number).
std::optional<SystemRequest> decode_request(const std::string &text);
// Runs a request decode_request returned on the system scope through the library. Returns the note a change
// may leave after succeeding; throws LibraryError with the library's words when it refuses.
std::string run_request(const SystemRequest &request);
inline constexpr const char *path_on_present = "present";

struct Change;
// The changes of an apply as the "apply" request carries them: their diff lines, one a line.
std::string applied_lines(const std::vector<Change> &changes);
