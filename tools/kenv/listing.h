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
  std::string source;   // "path", "session" for another file's entry, "rc:~/.bashrc" for a start-up file's
  std::string origin;   // the file that adds it
  bool editable = true; // false for an entry another file adds
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
