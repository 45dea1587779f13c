// What kenv-system-helper does with a request (request.h): the one change it names, made on
// the system scope through the front-end library. kenv-gui links this too, for the lines an
// apply carries and the note of an entry already on.
#pragma once

#include "request.h"

#include <string>
#include <vector>

// Runs a request decode_request returned. Returns the note a change may leave after
// succeeding; throws with the words to show when it is refused (LibraryError with the
// library's, DocumentError naming what is wrong with a name or a document).
std::string run_request(const SystemRequest &request);
inline constexpr const char *path_on_present = "present";

struct Change;
// The changes of an apply as the "apply" request carries them: their diff lines, one a line.
std::string applied_lines(const std::vector<Change> &changes);
