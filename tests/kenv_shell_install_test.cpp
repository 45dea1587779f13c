// kenv shell-init --install and --uninstall under a throwaway HOME: the marked block goes
// into each shell's start-up file once, a real shell started as a user's would then has the
// variables, an edited file is first copied aside, and uninstalling gives back the file as
// it was. Needs sh (dash), bash, zsh and fish installed.
#include "kenv_run.h"

#include <gmock/gmock.h>

#include <filesystem>

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::StartsWith;

namespace fs = std::filesystem;

namespace {

struct Wired {
  const char *shell;
  const char *file;                  // relative to HOME
  std::vector<std::string> start_up; // a shell that reads that file, then runs a command
};

const Wired wired[] = {
    {"sh", ".profile", {"/bin/sh", "-l", "-c"}},
    {"dash", ".profile", {"/bin/dash", "-l", "-c"}},
    {"bash", ".bashrc", {"/bin/bash", "-i", "-c"}},
    {"zsh", ".zshrc", {"/usr/bin/zsh", "-i", "-c"}},
    {"fish", ".config/fish/conf.d/kenv.fish", {"/usr/bin/fish", "-c"}},
};

const std::string original = "# my own settings\nalias ll='ls -l'\n";

class KenvShellInstall : public KenvTest {
protected:
  std::vector<std::string> backups_of(const std::string &path) {
    std::vector<std::string> found;
    for (const auto &e : fs::directory_iterator(fs::path(path).parent_path()))
      if (e.path().filename().string().rfind(fs::path(path).filename().string() + ".kenv-backup-", 0) == 0)
        found.push_back(e.path().string());
    return found;
  }

  // What the shell exports after reading its start-up file.
  std::map<std::string, std::string> exported_by(const Wired &w) {
    std::vector<std::string> argv = w.start_up;
    argv.push_back("env -0");
    Outcome r = run_process(argv, {{"PATH", "/usr/bin:/bin"}, {"SHELL", w.start_up[0]}});
    EXPECT_EQ(r.status, 0) << w.shell << ": " << r.err;
    return parse_env0(r.out);
  }
};

TEST_F(KenvShellInstall, AddsTheBlockOnceAndTheShellLoadsTheVariables) {
  kenv_ok({"set", "GREETING", "it's \"here\""});
  kenv_ok({"set", "FROM_SYSTEM", "yes", "--scope", "system"});
  for (const Wired &w : wired) {
    std::string path = home() + "/" + w.file;
    std::string out = kenv_ok({"shell-init", "--install", "--shell", w.shell});
    std::string again = kenv_ok({"shell-init", "--install", "--shell", w.shell});
    EXPECT_THAT(again, HasSubstr(path)) << w.shell;
    EXPECT_THAT(again, HasSubstr("; nothing changed\n")) << w.shell;
    std::string text = read(path);
    EXPECT_EQ(text.find("# >>> kenv shell-init >>>"), text.rfind("# >>> kenv shell-init >>>")) << w.shell;
    std::map<std::string, std::string> env = exported_by(w);
    EXPECT_EQ(env["GREETING"], "it's \"here\"") << w.shell;
    // sh, dash and bash take the system scope from /etc/profile, which these shells skip.
    bool skips_etc_profile = std::string(w.shell) == "zsh" || std::string(w.shell) == "fish";
    EXPECT_EQ(env.count("FROM_SYSTEM"), skips_etc_profile ? 1u : 0u) << w.shell;
  }
  EXPECT_TRUE(fs::is_regular_file(home() + "/.profile"));
}

TEST_F(KenvShellInstall, CopiesAnEditedFileAsideAndUninstallGivesItBack) {
  for (const Wired &w : wired) {
    if (std::string(w.shell) == "fish" || std::string(w.shell) == "dash")
      continue;
    std::string path = home() + "/" + w.file;
    write(path, original);
    std::string out = kenv_ok({"shell-init", "--install", "--shell", w.shell});
    std::vector<std::string> copies = backups_of(path);
    ASSERT_EQ(copies.size(), 1u) << w.shell;
    EXPECT_THAT(copies[0], MatchesRegex(".*\\.kenv-backup-[0-9]{8}-[0-9]{6}"));
    EXPECT_EQ(out, std::string(w.shell) + ": added kenv's block to " + path + " (the old file is kept as " +
                       copies[0] + ")\n");
    EXPECT_EQ(read(copies[0]), original);
    EXPECT_THAT(read(path), StartsWith(original + "# >>> kenv shell-init >>>\n"));

    out = kenv_ok({"shell-init", "--uninstall", "--shell", w.shell});
    EXPECT_EQ(read(path), original) << w.shell;
    copies = backups_of(path);
    EXPECT_EQ(copies.size(), 2u) << w.shell;
    EXPECT_THAT(out,
                StartsWith(std::string(w.shell) + ": removed kenv's block from " + path + " (the old file"));
    EXPECT_EQ(kenv_ok({"shell-init", "--uninstall", "--shell", w.shell}),
              std::string(w.shell) + ": " + path + " holds no kenv block; nothing changed\n");
    for (const std::string &copy : copies)
      fs::remove(copy);
  }
}

TEST_F(KenvShellInstall, FishGetsAFileOfItsOwn) {
  std::string path = home() + "/.config/fish/conf.d/kenv.fish";
  EXPECT_EQ(kenv_ok({"shell-init", "--install", "--shell", "fish"}), "fish: wrote " + path + "\n");
  EXPECT_THAT(read(path), StartsWith("# >>> kenv shell-init >>>\n"));
  EXPECT_EQ(kenv_ok({"shell-init", "--uninstall", "--shell", "fish"}), "fish: removed " + path + "\n");
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(backups_of(path).empty());
}

TEST_F(KenvShellInstall, WiresTheLoginShellByDefaultOrEachShellNamed) {
  kenv_ok({"shell-init", "--install"}, {{"SHELL", "/usr/bin/zsh"}});
  EXPECT_THAT(read(home() + "/.zshrc"), HasSubstr("# >>> kenv shell-init >>>"));
  EXPECT_FALSE(fs::exists(home() + "/.bashrc"));
  std::string out = kenv_ok({"shell-init", "--install", "--shell", "bash,sh", "--shell", "fish"});
  EXPECT_THAT(out, HasSubstr("bash: created " + home() + "/.bashrc with kenv's block\n"));
  EXPECT_THAT(out, HasSubstr("sh: created " + home() + "/.profile with kenv's block\n"));
  EXPECT_THAT(out, HasSubstr("fish: wrote "));
  Outcome tcsh = kenv({"shell-init", "--install"}, {{"SHELL", "/bin/tcsh"}});
  EXPECT_EQ(tcsh.status, 2);
  EXPECT_EQ(tcsh.err, "kenv: the login shell '/bin/tcsh' is none of sh, dash, bash, zsh or fish; name shells "
                      "with --shell\nTry 'kenv shell-init --help'.\n");
  EXPECT_EQ(kenv({"shell-init", "--install", "--uninstall"}).status, 2);
}

TEST_F(KenvShellInstall, FollowsZdotdirAndASymlinkedStartUpFile) {
  std::string zdot = root() + "/zdot", dotfiles = root() + "/dotfiles/bashrc";
  write(dotfiles, original);
  fs::create_symlink(dotfiles, home() + "/.bashrc");
  kenv_ok({"shell-init", "--install", "--shell", "zsh"}, {{"ZDOTDIR", zdot}});
  kenv_ok({"shell-init", "--install", "--shell", "bash"});
  EXPECT_THAT(read(zdot + "/.zshrc"), HasSubstr("# >>> kenv shell-init >>>"));
  EXPECT_TRUE(fs::is_symlink(home() + "/.bashrc"));
  EXPECT_THAT(read(dotfiles), StartsWith(original + "# >>> kenv shell-init >>>"));
}

TEST_F(KenvShellInstall, ReplacesItsBlockWhenTheExportFilesMoved) {
  write(home() + "/.bashrc", original);
  kenv_ok({"shell-init", "--install", "--shell", "bash"});
  std::string moved = root() + "/elsewhere";
  std::string out = kenv_ok({"shell-init", "--install", "--shell", "bash"}, {{"XDG_DATA_HOME", moved}});
  EXPECT_THAT(out, StartsWith("bash: replaced kenv's block in " + home() + "/.bashrc"));
  std::string text = read(home() + "/.bashrc");
  EXPECT_THAT(text, HasSubstr(moved + "/pellomar/exports/user-env.sh"));
  EXPECT_EQ(text.find("# >>> kenv"), text.rfind("# >>> kenv"));
  kenv_ok({"shell-init", "--uninstall", "--shell", "bash"});
  EXPECT_EQ(read(home() + "/.bashrc"), original);
}

} // namespace
