#include "private_files.h"

#include "library.h"
#include "listing.h"
#include "platform.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr fs::perms owner_only = fs::perms::owner_read | fs::perms::owner_write;

[[noreturn]] void fail(const std::string &what, const std::string &path, const std::error_code &ec) {
  throw LibraryError("cannot " + what + " " + path + " (" + ec.message() + ")");
}

void write_owner_only(const fs::path &path, const std::string &text) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
      throw LibraryError("cannot write " + path.string());
  }
  std::error_code ec;
  fs::permissions(path, owner_only, ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!out.flush())
    throw LibraryError("cannot write " + path.string());
}

void make_private_dir(const fs::path &dir) {
  std::error_code ec;
  if (fs::is_directory(dir, ec))
    return;
  fs::create_directories(dir, ec);
  if (ec)
    fail("create", dir.string(), ec);
  fs::permissions(dir, fs::perms::owner_all, ec);
}

} // namespace

PrivateTemp::PrivateTemp(const std::string &name, const std::string &text) {
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  if (ec)
    fail("find", "the temporary directory", ec);
  std::random_device rd;
  for (int attempt = 0; dir_.empty(); ++attempt) {
    fs::path dir = base / ("kenv-" + std::to_string(rd()));
    // create_directory fails on a name taken: the folder is always a new one of ours.
    if (fs::create_directory(dir, ec)) {
      fs::permissions(dir, fs::perms::owner_all, ec);
      dir_ = dir.string();
    } else if (attempt > 100) {
      fail("create a folder in", base.string(), ec);
    }
  }
  path_ = (fs::path(dir_) / name).string();
  try {
    write_owner_only(path_, text);
  } catch (...) {
    fs::remove_all(dir_, ec);
    throw;
  }
}

PrivateTemp::~PrivateTemp() {
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

std::string scope_data_dir(const std::string &scope) {
  return scope_data_dir(scope, scope == "system" ? std::nullopt : parse_listing(lib_list(scope)).export_file);
}

std::string scope_data_dir(const std::string &scope, const std::optional<std::string> &exported) {
  if (scope == "system") {
#ifdef _WIN32
    return process_variable("ProgramData").value_or("C:\\ProgramData") + "\\Pellomar";
#else
    return KENV_STATE_DIR;
#endif
  }
  if (!exported)
    throw LibraryError("the data directory of the " + scope + " scope cannot be located");
  return fs::path(*exported).parent_path().parent_path().string();
}

void write_private_file(const std::string &path, const std::string &text) {
  fs::path target(path);
  make_private_dir(target.parent_path());
  fs::path tmp = target;
  tmp += ".tmp-" + std::to_string(std::random_device{}());
  write_owner_only(tmp, text);
  std::error_code ec;
  fs::rename(tmp, target, ec);
  if (ec) {
    fs::remove(tmp, ec);
    fail("replace", path, ec);
  }
}

std::optional<std::string> read_text_file(const std::string &path) {
  std::error_code ec;
  if (!fs::exists(path, ec))
    return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  if (!in || !(out << in.rdbuf()))
    throw LibraryError("cannot read " + path);
  return out.str();
}

void remove_file(const std::string &path) {
  std::error_code ec;
  fs::remove(path, ec);
  if (ec)
    fail("remove", path, ec);
}

std::vector<std::string> files_ending(const std::string &dir, const std::string &suffix) {
  std::vector<std::string> out;
  std::error_code ec;
  for (const fs::directory_entry &e : fs::directory_iterator(dir, ec)) {
    std::string name = e.path().filename().string();
    if (e.is_regular_file(ec) && name.size() > suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      out.push_back(name.substr(0, name.size() - suffix.size()));
  }
  std::sort(out.begin(), out.end());
  return out;
}
