// One change of the system scope as kenv-gui hands it to kenv-system-helper, which runs as
// root: the request format, in full.
//
// The request is the helper's whole standard input: the operation, then its arguments, each
// field ended by a NUL byte. Nothing of the change shows in the process list the way
// command-line arguments would, and every byte of a field but NUL arrives as it was typed.
// Names, values, entries and documents never hold a NUL byte (the library takes C strings,
// and a state document holding one is refused), so a field is never cut short.
//
//   set NAME VALUE            unset NAME
//   path-add ENTRY INDEX      path-rm ENTRY           path-mv ENTRY INDEX
//   path-on ENTRY             path-off ENTRY          (an own entry switched back on or off)
//   profile-on NAME           profile-off NAME        profile-rm NAME
//   profile-new NAME VARIABLE...                      (the variables as the scope holds them)
//   profile-import NAME DOCUMENT
//   apply DOCUMENT LINES
//
// A request holds at most max_request_size bytes in all; kenv-gui refuses a change it
// cannot carry whole (why_not_carried) before it starts pkexec. INDEX is a 32-bit number
// in decimal. DOCUMENT is a state document's bytes (kenv-state/1, in JSON or in
// environment.d syntax), which kenv-gui read from the user's file as the user; the helper
// checks it as kenv apply and kenv profile new --from check a document. LINES are
// applied_lines of the changes the user confirmed: the helper plans the apply again and
// refuses when its own plan differs, so it never carries out a change nobody saw. No field is
// ever a path the helper opens: what it writes comes only from the request's bytes and the
// system scope's own files.
//
// The helper's exit status: 0 when the change was made (a note, if the library left one, on
// stdout); 1 when it refused a request it could read (bad name, bad document, the library's
// refusal, any failure), its reason on stderr in one line; 2 when the input was no request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct SystemRequest {
  std::string operation;
  std::vector<std::string> args;
  bool operator==(const SystemRequest &) const = default;
};

// Larger requests are refused unread. It carries a state document of 2 MiB with room to
// spare, twice the largest session the library writes.
inline constexpr std::size_t max_request_size = std::size_t{4} << 20;

std::string encode_request(const SystemRequest &request);
// The request the text holds, or nothing when it is not one (an unknown operation, the
// wrong number of fields, an index that is not a 32-bit decimal number).
std::optional<SystemRequest> decode_request(const std::string &text);
// An INDEX field's value, or nothing when it is not a 32-bit decimal number.
std::optional<std::int32_t> request_index(const std::string &text);
// Why encode_request cannot carry the request whole (a field holding a NUL byte, or more
// than max_request_size bytes in all), or nothing when it can.
std::optional<std::string> why_not_carried(const SystemRequest &request);
