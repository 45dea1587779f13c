// A benchmark workload: a throw-away home whose user scope holds a given number of
// variables, half in a foreign environment.d file and half in the library's store (mirrored
// in its own environment.d file, as the library writes them), and a PATH of a given number
// of entries, most of them existing directories, named relative to the working directory. Nothing outside the
// temporary folder is read or written: HOME and the XDG folders point into it while a benchmark runs.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace bench {

struct workload_size {
  int vars = 0;
  int path = 0;
  int backups = 0; // backup files laid out before the first call
};

using var_list = std::vector<std::pair<std::string, std::string>>;

class workload {
public:
  workload(const std::string &root, const std::string &path_dirs, workload_size size);
  ~workload();
  workload(const workload &) = delete;
  workload &operator=(const workload &) = delete;

  // Points HOME, XDG_CONFIG_HOME and XDG_DATA_HOME here, unsets ZDOTDIR and makes the
  // folder of the PATH directories the working directory.
  void enter() const;
  // Removes the backups that operations took, so that the next benchmark starts afresh.
  void drop_new_backups() const;

  const workload_size &size() const { return size_; }
  std::string home() const { return root_ + "/home"; }
  std::string data_dir() const { return home() + "/.local/share/pellomar"; }
  std::string store_file() const { return data_dir() + "/user-env.json"; }
  std::string export_file() const { return data_dir() + "/exports/user-env.sh"; }
  std::string backup_dir() const { return data_dir() + "/backups"; }
  std::string lock_file() const { return data_dir() + "/.lock"; }
  std::string backup_index() const { return data_dir() + "/.backup-index"; }
  std::string envd_dir() const { return home() + "/.config/environment.d"; }
  std::string foreign_file() const { return envd_dir() + "/50-bench.conf"; }
  std::string own_file() const { return envd_dir() + "/99-pellomar-user.conf"; }
  // What a listing also looks at for the new session: the system's and the shipped
  // environment.d directories, and the system scope's store.
  std::vector<std::string> session_dirs() const;
  // Where the floor writes its copies: the same file system, apart from the library's files.
  std::string floor_dir() const { return root_ + "/floor"; }
  // Two backups of the store with values of equal length but different bytes.
  std::string restore_file(int which) const;
  const std::vector<std::string> &path_entries() const { return path_; }
  // The shell start-up files the library looks for.
  std::vector<std::string> rc_candidates() const;
  // The newest file in the backup directory, or "".
  std::string newest_backup() const;

private:
  std::string root_;
  std::string path_dirs_;
  workload_size size_;
  std::vector<std::string> path_;
  var_list store_vars_;
  void lay_out_backups() const;
};

// The workload of the given size, laid out on first use and kept until drop_workloads.
workload &workload_for(workload_size size);
// Removes every workload and the temporary folder.
void drop_workloads();

} // namespace bench
