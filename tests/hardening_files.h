// Helpers of the hardening tests: whole-tree snapshots of the files a test's sandbox holds,
// and a fault injector for the system calls of the file helpers (env_file_sys).
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

// Every regular file below the given directories, by path, with its bytes.
using file_map = std::map<std::string, std::string>;
file_map snapshot(const std::vector<std::string> &roots);
// Makes the directories hold exactly the files of the snapshot (and their parents).
void restore_snapshot(const std::vector<std::string> &roots, const file_map &files);
// Paths of the files whose name holds ".tmp-": temporary files left behind.
std::vector<std::string> temporary_files(const std::vector<std::string> &roots);
// The text with every UTC time stamp the library writes ("2026-12-09T12:34:56Z" and
// "20261209-123456") replaced by "<time>", so that two runs a second apart compare equal.
std::string without_times(const std::string &text);
// How many descriptors the process has open.
int open_descriptors();

// One failing system call of the file helpers, for the files whose path (or temporary file
// path) starts with `target`. A write to such a file accepts `budget` bytes in all and then
// fails with ENOSPC; the other calls fail with `err` whenever they reach such a file, and
// close does close the descriptor first, as Linux does.
struct io_fault {
  enum class call { none, open, write, fsync, close, rename, link };
  call which = call::none;
  std::string target;
  std::size_t budget = 0;
  int err = 5; // EIO
};

// Puts the fault in place for its lifetime and restores env_file_ops_default afterwards.
class io_fault_scope {
public:
  explicit io_fault_scope(io_fault fault);
  ~io_fault_scope();
  io_fault_scope(const io_fault_scope &) = delete;
  io_fault_scope &operator=(const io_fault_scope &) = delete;
  // How often the fault struck.
  static int hits();
};

const char *call_name(io_fault::call c);
