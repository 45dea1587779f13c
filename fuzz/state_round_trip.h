// What both state-document targets check of a text: when parse_state takes it, writing the
// document in each of the formats and reading that back gives the same document, and writing
// the read-back document gives the same text again. A text parse_state refuses must be refused with a
// DocumentError; any other exception escapes and fails the target.
#pragma once

#include "state.h"

#include <initializer_list>
#include <string>

// Whether the text is one that parse_state reads as JSON (its first non-blank byte opens an
// object or an array); each target keeps to the texts of its own reader.
bool reads_as_json(const std::string &text);

void check_state_round_trip(const char *target, const std::string &text,
                            std::initializer_list<StateFormat> formats);
