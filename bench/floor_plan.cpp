// What each operation reads and writes, and the replay of it.
#include "floor_plan.h"

#include "floor_io.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace bench {

namespace {

std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The scope's environment.d files, as a merge reads them.
void add_native_reads(floor_plan &plan, const workload &w) {
  plan.listed.push_back(w.envd_dir());
  plan.reads.push_back(w.foreign_file());
  plan.reads.push_back(w.own_file());
}

// What every change does besides its four writes: the status of its own files (a link or
// a FIFO in place of one is refused), the system scope's store (a user change counts its
// variables towards the size limit), the folders it clears of temporary files killed
// changes left, and the end of the backup index (the counter of the newest backup).
void add_change_checks(floor_plan &plan, const workload &w) {
  for (const std::string &file : {w.lock_file(), w.store_file(), w.export_file(), w.own_file()})
    plan.queried.push_back(file);
  plan.queried.push_back(KENV_LOCALSTATEDIR "/lib/pellomar/system-env.json");
  for (const std::string &dir : {w.data_dir(), w.data_dir() + "/exports", w.envd_dir()})
    plan.listed.push_back(dir);
  plan.tails.push_back(w.backup_index());
}

// The four files every change writes: backup, store, own environment.d file, export file;
// and the line the backup index gains.
void add_change_writes(floor_plan &plan, const workload &w) {
  std::string dir = w.floor_dir();
  plan.writes.push_back({dir + "/backups/floor", slurp(w.newest_backup()), true});
  plan.writes.push_back({dir + "/user-env.json", slurp(w.store_file()), false});
  plan.writes.push_back({dir + "/99-own.conf", slurp(w.own_file()), false});
  plan.writes.push_back({dir + "/user-env.sh", slurp(w.export_file()), false});
  std::string index = slurp(w.backup_index());
  std::size_t last = index.rfind('\n', index.size() > 1 ? index.size() - 2 : 0);
  plan.appends.push_back(
      {dir + "/backup-index", index.substr(last == std::string::npos ? 0 : last + 1), false});
}

// The listing looks at every PATH entry and start-up file, and at the folders others might
// write.
void add_listing_queries(floor_plan &plan, const workload &w) {
  plan.queried = w.rc_candidates();
  // The new session's view: the other directories of environment.d files, and the system
  // scope's store, which a shell that loads the export files gets first.
  for (const std::string &dir : w.session_dirs())
    plan.queried.push_back(dir);
  plan.queried.insert(plan.queried.end(), w.path_entries().begin(), w.path_entries().end());
  for (const std::string &dir : {w.data_dir(), w.backup_dir(), w.data_dir() + "/exports", w.envd_dir()})
    plan.queried.push_back(dir);
}

bool replay_reads(const floor_plan &plan) {
  std::vector<std::string> names;
  for (const std::string &dir : plan.listed)
    if (!floor_list(dir, names))
      return false;
  std::string buf;
  for (const std::string &path : plan.reads)
    if (!floor_read(path, buf))
      return false;
  for (const std::string &path : plan.tails)
    if (!floor_read_tail(path, 1024, buf))
      return false;
  for (const std::string &path : plan.queried)
    (void)floor_stat(path); // missing entries are part of the workload
  return true;
}

bool replay_writes(const floor_plan &plan) {
  static unsigned long counter = 0;
  for (const floor_write &f : plan.writes) {
    bool ok = f.new_file ? floor_create(f.path + "-" + std::to_string(++counter) + ".json", f.data, 0600)
                         : floor_replace(f.path, f.data, 0600);
    if (!ok)
      return false;
  }
  for (const floor_write &f : plan.appends)
    if (!floor_append(f.path, f.data))
      return false;
  return true;
}

} // namespace

floor_plan plan_for(op o, const workload &w) {
  floor_plan plan;
  if (o == op::backups) {
    // The bare listing of the folder: what the listing cannot do without.
    plan.listed.push_back(w.backup_dir());
    return plan;
  }
  if (op_changes(o))
    plan.lock = w.lock_file();
  if (o == op::list || o == op::path_add || o == op::path_move)
    add_native_reads(plan, w);
  else if (op_changes(o))
    plan.reads.push_back(w.own_file());
  if (o == op::restore)
    plan.reads.insert(plan.reads.begin(), w.restore_file(0));
  plan.reads.push_back(w.store_file());
  if (o == op::list)
    add_listing_queries(plan, w);
  if (op_changes(o)) {
    add_change_checks(plan, w);
    add_change_writes(plan, w);
  }
  return plan;
}

bool replay(const floor_plan &plan) {
  if (plan.lock.empty())
    return replay_reads(plan);
  floor_lock lock(plan.lock);
  return lock.held() && replay_reads(plan) && replay_writes(plan);
}

} // namespace bench
