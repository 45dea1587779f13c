// The library's own rules for this platform, applied by the front ends before they hand
// anything to it: which names and values its native store takes, and when two PATH entries
// are one entry. They follow the library's refusals (env_plat_native_check, reached through
// env_set) and env_plat_path_eq, so that a document or profile is refused when it is read,
// not later when it is switched on, and so that an entry written with a trailing '/' is
// never added next to itself.
#pragma once

#include "state.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Whether two PATH entries are one: on Linux trailing '/' ignored, on Windows ASCII letter
// case ignored, as the library compares them.
bool same_entry(std::string_view a, std::string_view b);
// Whether the list holds an entry equal to `entry` as same_entry compares them.
bool has_entry(const std::vector<std::string> &list, std::string_view entry);

// Why the library would refuse to write NAME=VALUE on this platform, or nullopt.
std::optional<std::string> refusal_of(std::string_view name, std::string_view value);
// Every name and value of the document, PATH as the value its entries make, checked with
// refusal_of; DocumentError naming the first variable refused.
void check_document(const ScopeState &doc);
// Whether the text is UTF-8 the library would write.
bool writable_utf8(std::string_view text);
// Refuses (LibraryError, exit 1) a change of a store that holds names or values that are not
// UTF-8 (ScopeSnapshot::not_utf8), naming each such variable: older versions wrote such bytes,
// the listing shows U+FFFD in their place, and a change composed from what it shows could
// never be committed.
void refuse_not_utf8(const std::vector<std::string> &names);
