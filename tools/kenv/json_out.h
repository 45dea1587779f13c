// The JSON kenv writes itself (as opposed to the library's documents, which it prints
// unchanged): flags are JSON true and false, never the 0 and 1 of the library's documents,
// and every text is valid UTF-8, a byte that is not becoming U+FFFD.
#pragma once

#include "doctor.h"
#include "listing.h"

#include <cstddef>
#include <string>
#include <vector>

// `kenv doctor --json`: {"ok":..,"found":N,"checks":[{"title":..,"ok":..,"findings":[..],
// "notes":[..]}]}, compact, on one line.
std::string doctor_json(const std::vector<Check> &checks, std::size_t found);
// `kenv env --json`: the listing's session view, [{"name","value","file","shell","differs"}],
// "shell" null where the export files leave the variable alone, compact, on one line.
std::string session_json(const std::vector<SessionVariable> &session);
