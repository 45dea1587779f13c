// What each operation reads and writes, and the replay of it.
#include "floor_plan.h"

#include "floor_io.h"

#include <algorithm>
#include <filesystem>
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

// The four files every change writes: backup, store, own environment.d file, export file.
void add_change_writes(floor_plan &plan, const workload &w) {
  std::string dir = w.floor_dir();
  plan.writes.push_back({dir + "/backups/floor", slurp(w.newest_backup()), true});
  plan.writes.push_back({dir + "/user-env.json", slurp(w.store_file()), false});
  plan.writes.push_back({dir + "/99-own.conf", slurp(w.own_file()), false});
  plan.writes.push_back({dir + "/user-env.sh", slurp(w.export_file()), false});
}

void add_backup_reads(floor_plan &plan, const workload &w) {
  plan.listed.push_back(w.backup_dir());
  std::vector<std::string> files;
  for (const auto &e : std::filesystem::directory_iterator(w.backup_dir()))
    files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  plan.reads.insert(plan.reads.end(), files.begin(), files.end());
}

void add_listing_queries(floor_plan &plan, const workload &w) {
  plan.queried = w.rc_candidates();
  plan.queried.insert(plan.queried.end(), w.path_entries().begin(), w.path_entries().end());
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
  return true;
}

} // namespace

floor_plan plan_for(op o, const workload &w) {
  floor_plan plan;
  if (op_changes(o))
    plan.lock = w.lock_file();
  if (o == op::list || o == op::path_add || o == op::path_move)
    add_native_reads(plan, w);
  else if (op_changes(o))
    plan.reads.push_back(w.own_file());
  if (o == op::restore)
    plan.reads.insert(plan.reads.begin(), w.restore_file(0));
  if (o != op::backups)
    plan.reads.push_back(w.store_file());
  if (o == op::list)
    add_listing_queries(plan, w);
  if (o == op::backups)
    add_backup_reads(plan, w);
  if (op_changes(o))
    add_change_writes(plan, w);
  return plan;
}

bool replay(const floor_plan &plan) {
  if (plan.lock.empty())
    return replay_reads(plan);
  floor_lock lock(plan.lock);
  return lock.held() && replay_reads(plan) && replay_writes(plan);
}

} // namespace bench
