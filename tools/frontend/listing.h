// The two documents the library returns, read into plain records: the listing of a scope
// (env_list) and the list of backups (env_backups). A document that does not have the
// expected shape is reported as a LibraryError.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct Variable {
  std::string name;
  std::string value;    // as stored, references left as they are
  std::string expanded; // references resolved against the same scope
  std::string source;   // "overlay", "envd-user", ...
};

struct PathEntry {
  std::string entry;
  bool exists = false;
  bool dup = false;
  std::string source; // "path", "session" for another file's entry, "rc:~/.bashrc" for a start-up file's
  // The environment.d file (on Windows the registry key) whose PATH holds the entry, or the
  // start-up file that adds it; "" from a library that does not say.
  std::string origin;
  // True for the scope's own entries, the ones the PATH edits work on. A library that does
  // not say marks the entries of start-up files alone as read-only.
  bool editable = true;
};

// What a new login session gets, in the order it assigns the variables.
struct SessionVariable {
  std::string name;
  std::string value; // references expanded
  std::string file;  // the file (on Windows the registry key) that set it last
  // What a login shell that sources the export files gets; nullopt when they leave it alone.
  std::optional<std::string> shell;
  bool differs = false;
};

struct Warning {
  std::string code; // "exists", "dup", "length" or "name"
  std::optional<std::string> entry;
  std::optional<std::string> name;
  std::optional<long long> length;
  std::string message;
};

struct RcSource {
  std::string file;
  bool written = false;
};

struct Listing {
  std::string scope;
  std::string platform;
  std::string path_sep;
  std::string write_policy;
  std::optional<std::string> export_file;
  std::vector<Variable> vars;
  std::vector<PathEntry> path;
  std::vector<Warning> warnings;
  std::vector<std::string> protected_delete;
  std::vector<RcSource> rc_sources;
  std::vector<SessionVariable> session; // empty from a library that does not report it
  std::optional<std::string> records;   // the front ends' records the store keeps
  std::vector<std::string> store_order; // the store's names in its own order
};

struct Backup {
  std::string file;
  std::string path; // what env_restore takes
  std::optional<std::string> ts;
  std::optional<std::string> scope;
  long long vars = 0;
};

Listing parse_listing(const std::string &json);
std::vector<Backup> parse_backups(const std::string &json);

// The variable a name means: the one spelled exactly so, else the first whose name differs
// only in ASCII letter case (the library matches names that way). nullptr when none.
const Variable *find_variable(const Listing &listing, const std::string &name);
