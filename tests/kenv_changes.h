// Every kind of change kenv makes, from one prepared user scope, and what the scope looks
// like afterwards through kenv's own commands and through its real peers: systemd's
// environment.d generator and dash sourcing the export file. The kill test and the race
// test share it; neither looks into the files of the records, only at what kenv prints.
#pragma once

#include "kenv_run.h"

#include <ostream>
#include <string>
#include <vector>

// One kind of change: the command, and a second one of the same kind that touches other
// names (the race test runs the two at once).
struct ChangeKind {
  std::string name; // a test name: letters, digits and '_'
  std::vector<std::string> args, other;
};

const std::vector<ChangeKind> &change_kinds();

// The scope as kenv shows it. `lines()` is the comparable whole: the variables in the
// store's order, the own PATH, the entries switched off and the profiles on.
struct ScopeView {
  std::vector<std::pair<std::string, std::string>> vars;
  std::vector<std::string> path, off, profiles_on;
  std::size_t backups = 0;
  std::vector<std::string> lines() const;
};

// The lines `got` has and `want` lacks, and those it lacks.
std::string difference(const ScopeView &got, const ScopeView &want);

class ChangeTest : public KenvTest {
protected:
  void SetUp() override;
  // Makes the prepared scope and keeps a copy; reset() puts that copy back.
  void prepare();
  void reset();
  // kenv with the sandbox's TMPDIR, `@backup` standing for the backup to restore and
  // `@NAME` for a file of the test's folder; `prefix` runs before kenv (strace).
  Outcome run_kenv(const std::vector<std::string> &args, const std::vector<std::string> &prefix = {});
  ScopeView observe();
  // Where the peers or the records disagree with the store, one line each.
  std::vector<std::string> disagreements(const ScopeView &scope);
  // Temporary files left in the data directory, the environment.d folder or TMPDIR.
  std::vector<std::string> leftovers() const;
  std::string tmp_dir() const { return root() + "/tmp"; }

private:
  std::string backup_; // the newest backup of the prepared scope
  std::map<std::string, std::string> generated();
  std::map<std::string, std::string> sourced_by_dash();
};

inline void PrintTo(const ChangeKind &kind, std::ostream *out) {
  *out << kind.name;
}
