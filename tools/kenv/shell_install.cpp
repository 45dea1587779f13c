// kenv shell-init --install and --uninstall: the only place where anything of this project
// edits a shell's start-up file, and only because the user asked for it.
//
// The lines go into a block between two marker lines, so that installing again finds it
// (and changes nothing, or replaces it when the export files moved) and uninstalling
// removes exactly those lines and nothing of the user's. sh and dash read ~/.profile, bash
// ~/.bashrc (Debian's ~/.profile reads it for login shells), zsh ${ZDOTDIR:-~}/.zshrc;
// fish gets a file of its own in conf.d, which it reads by itself. Before a file that
// exists is changed it is copied to "<file>.kenv-backup-<UTC time>", and the new text
// replaces the old one through a rename, so the file is never half written.
#include "library.h"
#include "shell_init.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const char begin_marker[] = "# >>> kenv shell-init >>>\n";
const char end_marker[] = "# <<< kenv shell-init <<<\n";

struct StartUpFile {
  std::string path;
  bool own = false; // fish's conf.d file belongs to kenv as a whole
};

std::string home_dir() {
  const char *home = std::getenv("HOME");
  if (!home || !*home)
    throw LibraryError("HOME is unset; cannot locate the shells' start-up files");
  return home;
}

// $NAME when it is set to an absolute path, else the fallback.
std::string absolute_env_or(const char *name, const std::string &fallback) {
  const char *value = std::getenv(name);
  return value && value[0] == '/' ? value : fallback;
}

StartUpFile start_up_file_of(const std::string &shell) {
  if (shell == "bash")
    return {home_dir() + "/.bashrc"};
  if (shell == "zsh")
    return {absolute_env_or("ZDOTDIR", home_dir()) + "/.zshrc"};
  if (shell == "fish")
    return {absolute_env_or("XDG_CONFIG_HOME", home_dir() + "/.config") + "/fish/conf.d/kenv.fish", true};
  return {home_dir() + "/.profile"};
}

std::string block_for(const std::string &shell) {
  return std::string(begin_marker) +
         "# Loads the environment variables kept by kenv. Added by `kenv shell-init --install`;\n"
         "# `kenv shell-init --uninstall` removes this block.\n" +
         shell_load_lines(shell) + end_marker;
}

// A symlinked start-up file (a dotfiles repository) is edited where it points.
std::string real_path(const std::string &path) {
  std::error_code ec;
  fs::path target = fs::canonical(path, ec);
  return ec ? path : target.string();
}

std::optional<std::string> read_file(const std::string &path) {
  std::error_code ec;
  if (!fs::exists(path, ec))
    return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in.good() && !in.eof())
    throw LibraryError("cannot read " + path);
  return text.str();
}

std::string utc_stamp() {
  std::time_t now = std::time(nullptr);
  char buf[32] = "";
  if (const std::tm *utc = std::gmtime(&now)) // kenv runs one thread
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", utc);
  return buf;
}

// Copies the file to "<file>.kenv-backup-<UTC time>" (with "-2", "-3", ... when that name
// is taken) and returns the copy's path.
std::string back_up(const std::string &path) {
  std::string base = path + ".kenv-backup-" + utc_stamp(), copy = base;
  std::error_code ec;
  for (int n = 2; fs::exists(copy, ec); ++n)
    copy = base + "-" + std::to_string(n);
  if (!fs::copy_file(path, copy, fs::copy_options::none, ec))
    throw LibraryError("cannot copy " + path + " to " + copy + ": " + ec.message());
  return copy;
}

// Replaces the file's text through a temporary file and a rename, keeping its mode.
void replace_file(const std::string &path, const std::string &text) {
  fs::path target(path);
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  std::string temp = path + ".kenv-new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out.good()) {
      fs::remove(temp, ec);
      throw LibraryError("cannot write " + temp);
    }
  }
  if (fs::exists(target, ec))
    fs::permissions(temp, fs::status(target).permissions(), ec);
  fs::rename(temp, target, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    throw LibraryError("cannot replace " + path + ": " + ec.message());
  }
}

struct Found {
  std::size_t begin = std::string::npos; // where the begin marker starts
  std::size_t end = std::string::npos;   // just past the end marker's line
};

Found find_block(const std::string &text, const std::string &path) {
  Found f;
  std::size_t at = text.rfind(begin_marker, 0) == 0 ? 0 : text.find(std::string("\n") + begin_marker);
  if (at == std::string::npos)
    return f;
  f.begin = at == 0 ? 0 : at + 1;
  std::size_t end_at = text.find(std::string("\n") + end_marker, f.begin);
  std::string last_line = std::string(end_marker, sizeof end_marker - 2); // without its newline
  if (end_at != std::string::npos)
    f.end = end_at + 1 + std::string(end_marker).size();
  else if (text.size() >= last_line.size() &&
           text.compare(text.size() - last_line.size(), last_line.size(), last_line) == 0)
    f.end = text.size();
  else
    throw LibraryError(path + " holds the start of kenv's block but not its end; mend it by hand");
  return f;
}

std::string kept_note(const std::string &copy) {
  return " (the old file is kept as " + copy + ")\n";
}

std::string install_into_own_file(const std::string &shell, const std::string &path,
                                  const std::string &block) {
  std::optional<std::string> old = read_file(path);
  if (old == block)
    return shell + ": " + path + " is in place already; nothing changed\n";
  if (!old) {
    replace_file(path, block);
    return shell + ": wrote " + path + "\n";
  }
  std::string copy = back_up(path);
  replace_file(path, block);
  return shell + ": replaced " + path + kept_note(copy);
}

} // namespace

std::string install_shell_init(const std::string &shell) {
  StartUpFile file = start_up_file_of(shell);
  std::string path = real_path(file.path), block = block_for(shell);
  if (file.own)
    return install_into_own_file(shell, path, block);
  std::optional<std::string> old = read_file(path);
  std::string text = old.value_or("");
  Found found = find_block(text, path);
  std::string updated;
  if (found.begin != std::string::npos) {
    if (text.compare(found.begin, found.end - found.begin, block) == 0)
      return shell + ": " + path + " loads kenv's export files already; nothing changed\n";
    updated = text.substr(0, found.begin) + block + text.substr(found.end);
  } else {
    updated = text + (text.empty() || text.back() == '\n' ? "" : "\n") + block;
  }
  if (!old) {
    replace_file(path, updated);
    return shell + ": created " + path + " with kenv's block\n";
  }
  std::string copy = back_up(path);
  replace_file(path, updated);
  return shell +
         (found.begin != std::string::npos ? ": replaced kenv's block in " : ": added kenv's block to ") +
         path + kept_note(copy);
}

std::string uninstall_shell_init(const std::string &shell) {
  StartUpFile file = start_up_file_of(shell);
  std::string path = real_path(file.path);
  std::optional<std::string> old = read_file(path);
  Found found = old ? find_block(*old, path) : Found{};
  if (found.begin == std::string::npos)
    return shell + ": " + path + " holds no kenv block; nothing changed\n";
  if (file.own) {
    std::string note = "\n";
    if (*old != block_for(shell))
      note = kept_note(back_up(path)); // edited by the user since
    std::error_code ec;
    if (!fs::remove(path, ec))
      throw LibraryError("cannot remove " + path + ": " + ec.message());
    return shell + ": removed " + path + note;
  }
  std::string copy = back_up(path);
  replace_file(path, old->substr(0, found.begin) + old->substr(found.end));
  return shell + ": removed kenv's block from " + path + kept_note(copy);
}
