#include "hardening_files.h"

#include <fcntl.h>

#include "core/file_ops.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The injector's state: the table holds plain function pointers, so it lives here.
io_fault g_fault;
int g_fd = -1;             // the descriptor of the target's temporary file, while open
std::size_t g_written = 0; // bytes the target's files accepted so far
int g_hits = 0;

bool targeted(const char *path) {
  return path && !g_fault.target.empty() &&
         std::string_view(path).substr(0, g_fault.target.size()) == g_fault.target;
}

int fail(int err) {
  ++g_hits;
  errno = err;
  return -1;
}

int fault_open(const char *path, int flags, unsigned mode) {
  if (!targeted(path))
    return env_file_ops_default.open(path, flags, mode);
  if (g_fault.which == io_fault::call::open)
    return fail(g_fault.err);
  int fd = env_file_ops_default.open(path, flags, mode);
  // Only a file opened for writing is the one whose writes fail: the descriptor of a file
  // that was only read is closed and reused before the write of another file.
  if (fd >= 0 && (flags & O_ACCMODE) != O_RDONLY)
    g_fd = fd;
  return fd;
}

long fault_write(int fd, const void *data, std::size_t size) {
  if (fd != g_fd || g_fault.which != io_fault::call::write)
    return env_file_ops_default.write(fd, data, size);
  std::size_t room = g_fault.budget > g_written ? g_fault.budget - g_written : 0;
  if (room == 0)
    return fail(ENOSPC);
  long n = env_file_ops_default.write(fd, data, size < room ? size : room);
  if (n > 0)
    g_written += static_cast<std::size_t>(n);
  return n;
}

int fault_fsync(int fd) {
  if (fd == g_fd && g_fault.which == io_fault::call::fsync)
    return fail(g_fault.err);
  return env_file_ops_default.fsync(fd);
}

int fault_close(int fd) {
  int rc = env_file_ops_default.close(fd);
  if (fd != g_fd)
    return rc;
  g_fd = -1;
  return g_fault.which == io_fault::call::close ? fail(g_fault.err) : rc;
}

int fault_rename(const char *from, const char *to) {
  if (targeted(to) && g_fault.which == io_fault::call::rename)
    return fail(g_fault.err);
  return env_file_ops_default.rename(from, to);
}

int fault_link(const char *from, const char *to) {
  if (targeted(to) && g_fault.which == io_fault::call::link)
    return fail(g_fault.err);
  return env_file_ops_default.link(from, to);
}

} // namespace

file_map snapshot(const std::vector<std::string> &roots) {
  file_map files;
  for (const std::string &root : roots) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it); it.increment(ec))
      if (it->is_regular_file())
        files[it->path().string()] = slurp(it->path());
  }
  return files;
}

void restore_snapshot(const std::vector<std::string> &roots, const file_map &files) {
  for (const std::string &root : roots) {
    std::error_code ec;
    for (auto &e : fs::directory_iterator(root, ec))
      fs::remove_all(e.path());
  }
  for (const auto &[path, text] : files) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  }
}

std::vector<std::string> temporary_files(const std::vector<std::string> &roots) {
  std::vector<std::string> found;
  for (const std::string &root : roots) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it); it.increment(ec))
      if (it->path().filename().string().find(".tmp-") != std::string::npos)
        found.push_back(it->path().string());
  }
  return found;
}

std::string without_times(const std::string &text) {
  static const std::regex stamp(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ|\d{8}-\d{6})");
  return std::regex_replace(text, stamp, "<time>");
}

int open_descriptors() {
  int n = 0;
  std::error_code ec;
  for (auto it = fs::directory_iterator("/proc/self/fd", ec); !ec && it != fs::end(it); it.increment(ec))
    ++n;
  return n;
}

io_fault_scope::io_fault_scope(io_fault fault) {
  g_fault = std::move(fault);
  g_fd = -1;
  g_written = 0;
  g_hits = 0;
  env_file_sys = {fault_open,
                  fault_write,
                  fault_fsync,
                  fault_close,
                  fault_rename,
                  fault_link,
                  env_file_ops_default.unlink,
                  env_file_ops_default.mkdir,
                  env_file_ops_default.sync_dir,
                  env_file_ops_default.stat_mode};
}

io_fault_scope::~io_fault_scope() {
  env_file_sys = env_file_ops_default;
  g_fault = io_fault{};
  g_fd = -1;
}

int io_fault_scope::hits() {
  return g_hits;
}

const char *call_name(io_fault::call c) {
  switch (c) {
  case io_fault::call::none:
    return "none";
  case io_fault::call::open:
    return "open";
  case io_fault::call::write:
    return "write";
  case io_fault::call::fsync:
    return "fsync";
  case io_fault::call::close:
    return "close";
  case io_fault::call::rename:
    return "rename";
  case io_fault::call::link:
    return "link";
  }
  return "?";
}
