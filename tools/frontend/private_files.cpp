#include "private_files.h"

#include "library.h"
#include "listing.h"
#include "platform.h"
#include "state.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

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

namespace {

// "<path>.tmp-<pid>-<n>", a name no other writer of this process has taken.
fs::path temp_name(const fs::path &path) {
  static std::atomic<unsigned> counter{0};
  fs::path tmp = path;
  tmp += ".tmp-" + std::to_string(process_id()) + "-" + std::to_string(++counter);
  return tmp;
}

// A new folder of the temporary directory that only this user may open.
std::string private_temp_folder() {
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  if (ec)
    fail("find", "the temporary directory", ec);
  std::random_device rd;
  for (int attempt = 0; attempt <= 100; ++attempt) {
    fs::path dir = base / ("kenv-" + std::to_string(rd()));
    // create_directory fails on a name taken: the folder is always a new one of ours.
    if (fs::create_directory(dir, ec)) {
      fs::permissions(dir, fs::perms::owner_all, ec);
      return dir.string();
    }
  }
  fail("create a folder in", base.string(), ec);
}

bool write_in_scope_dir(const std::string &dir, int dir_mode, const std::string &text, std::string &path) {
  std::error_code ec;
  if (dir.empty() || (!fs::is_directory(dir, ec) && !fs::create_directories(dir, ec)))
    return false;
  fs::permissions(dir, static_cast<fs::perms>(dir_mode), ec);
  path = temp_name(fs::path(dir) / "restore.json").string();
  try {
    write_owner_only(path, text);
    return true;
  } catch (const LibraryError &) {
    fs::remove(path, ec);
    return false;
  }
}

} // namespace

RestoreDocument::RestoreDocument(const std::string &scope_dir, int dir_mode, const std::string &text) {
  if (write_in_scope_dir(scope_dir, dir_mode, text, path_))
    return;
  folder_ = private_temp_folder();
  path_ = (fs::path(folder_) / "restore.json").string();
  try {
    write_owner_only(path_, text);
  } catch (...) {
    std::error_code ec;
    fs::remove_all(folder_, ec);
    throw;
  }
}

RestoreDocument::~RestoreDocument() {
  std::error_code ec;
  fs::remove(path_, ec);
  if (!folder_.empty())
    fs::remove_all(folder_, ec);
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
  // A bare file name is in the working directory, which exists.
  if (!target.parent_path().empty())
    make_private_dir(target.parent_path());
  fs::path tmp = temp_name(target);
  std::error_code ec, ignored;
  try {
    write_owner_only(tmp, text);
  } catch (...) {
    fs::remove(tmp, ignored);
    throw;
  }
  fs::rename(tmp, target, ec);
  if (ec) {
    fs::remove(tmp, ignored);
    fail("replace", path, ec);
  }
}

void write_output_file(const std::string &path, const std::string &text) {
  std::error_code ec;
  fs::file_status st = fs::status(path, ec);
  if (!fs::exists(st) || fs::is_regular_file(st)) {
    write_private_file(path, text);
    return;
  }
  std::ofstream out(path, std::ios::binary);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!out || !out.flush())
    throw LibraryError("cannot write " + path);
}

std::string read_document_file(const std::string &path) {
  std::error_code ec;
  fs::file_status st = fs::status(path, ec);
  if (!fs::exists(st))
    throw LibraryError("cannot read " + path + " (no such file)");
  if (st.type() == fs::file_type::fifo || st.type() == fs::file_type::socket)
    throw DocumentError("not a regular file but a pipe; to read a pipe, give - and send it to stdin");
  if (!fs::is_regular_file(st))
    throw DocumentError("not a regular file; to read anything else, give - and send it to stdin");
  return read_text_file(path).value_or("");
}

std::optional<std::string> read_text_file(const std::string &path) {
  std::error_code ec;
  if (!fs::exists(path, ec))
    return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw LibraryError("cannot read " + path);
  // Not `out << in.rdbuf()`, which fails on an empty file. Reading a folder fails in the
  // stream buffer, which throws whatever the stream's own flags say.
  try {
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.bad())
      return text;
  } catch (const std::ios_base::failure &) {
  }
  throw LibraryError("cannot read " + path);
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
