// Sets of variables: a scope's own state as one document ("kenv-state/1", in JSON or in
// environment.d syntax), what applying such a document changes, and committing the new
// state as one change of the library (env_restore of a composed document).
//
// A scope's store is a list of records in order, PATH among them; a document holds the
// variables without PATH and PATH as a list of entries.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct StateVar {
  std::string name;
  std::string value;
  bool operator==(const StateVar &) const = default;
};
using StoreVars = std::vector<StateVar>;

// A kenv-state/1 document.
struct ScopeState {
  std::string scope; // "user", "system", or "" when the document does not say
  StoreVars vars;    // PATH is not among them
  std::vector<std::string> path;
  // Names the scope must not hold: a JSON document's variables whose "value" is null. kenv
  // export never writes them; they let a caller ask for a variable to be gone without
  // pruning everything else.
  std::vector<std::string> absent;
};

// A document that cannot be used: not JSON and not environment.d syntax, an unknown
// "format", a name given twice. The message names the line or the name; kenv reports it as
// a usage error.
struct DocumentError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

enum class StateFormat { json, env };

// The most kenv reads of a document from stdin: kenv-system-helper's cap on a request
// (max_request_size), which a system-scope apply from the window must pass through.
inline constexpr std::size_t max_document_size = 1 << 20;

std::string write_state(const ScopeState &state, StateFormat format);
// Reads either format, recognised from the content (a JSON document starts with '{'), after
// a UTF-8 byte order mark; env lines may end in CRLF. A JSON document needs "format", "vars"
// and "path" and nothing else besides "scope", each member once and of its type; malformed
// JSON is named by line and column. A NUL in a name, value, entry or scope is refused.
ScopeState parse_state(const std::string &text);

// What kenv reads of a scope before it changes it.
struct ScopeSnapshot {
  std::string scope;
  char sep = ':';
  StoreVars store; // the scope's own records (the listing's "overlay" variables)
  std::vector<std::string> protected_names;
  std::string data_dir; // where its backups and profiles live; "" when unknown
  // The front ends' records that the store keeps beside the variables (profiles.h reads
  // them), as read with them; nullopt when the store has none.
  std::optional<std::string> records;
  // The store's variables whose bytes are not UTF-8 (the listing's "utf8" warnings): the
  // listing shows U+FFFD in their place, so no change can be composed from it.
  std::vector<std::string> not_utf8;
};
ScopeSnapshot read_snapshot(const std::string &scope);
struct Listing;
ScopeSnapshot snapshot_of(const std::string &scope, const Listing &listing);
ScopeState state_of(const ScopeSnapshot &snap);

std::vector<std::string> split_entries(const std::string &value, char sep);
std::string join_entries(const std::vector<std::string> &entries, char sep);
// The PATH record's entries, empty when there is none.
std::vector<std::string> path_of(const StoreVars &store, char sep);
// Replaces the PATH record's value (in its place, else appended).
void put_path(StoreVars &store, const std::vector<std::string> &entries, char sep);
// Sets a record in its place, else appends it; nullopt removes it.
void put_var(StoreVars &store, const std::string &name, const std::optional<std::string> &value);
const StateVar *find_var(const StoreVars &store, const std::string &name);

// The store after applying the document: every variable set, PATH entries the scope lacks
// added at the end. With `prune` the store holds exactly the document's variables, except
// protected names, which are kept and listed in `kept`, and PATH is exactly its list (each
// entry once). The document's absent names are removed, protected ones kept and listed in
// `kept` as well. An entry holding the path separator is refused (LibraryError).
StoreVars compose_apply(const ScopeSnapshot &now, const ScopeState &doc, bool prune,
                        std::vector<std::string> &kept);

struct Change {
  std::string op; // "set", "delete", "path_add", "path_remove", "path_order"
  std::string name;
  std::optional<std::string> old_value;
  std::optional<std::string> new_value;
};
std::vector<Change> changes_between(const StoreVars &before, const StoreVars &after, char sep);
// "+ NAME=value", "- NAME", "~ NAME: old -> new", "+ PATH entry", "- PATH entry", "~ PATH order".
std::string diff_line(const Change &c);
std::string changes_json(const std::vector<Change> &changes, const std::optional<std::string> &backup);

// Makes the scope's store `after`, with `records` beside it, as one change, refused when the
// store or its records are no longer what `before` read ("the <scope> scope changed while
// applying", see changed_meanwhile). Returns the note the library left, or "".
std::string commit_store(const ScopeSnapshot &before, const StoreVars &after,
                         const std::optional<std::string> &records);
// The same, keeping the records `before` read.
std::string commit_store(const ScopeSnapshot &before, const StoreVars &after);
// Whether a commit was refused only because another change came in between: composing it
// again from a new snapshot then succeeds.
bool changed_meanwhile(const std::exception &refusal);
// The newest backup of the scope, which a change just took.
std::optional<std::string> newest_backup(const ScopeSnapshot &snap);
