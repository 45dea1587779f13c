// The shell start-up files: which are reported, and the PATH entries read from them.
#include "support/sandbox.h"

#include "platform/env_plat.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

using extras = std::vector<std::pair<std::string, std::string>>;

class RcFiles : public Sandbox {
protected:
  std::vector<std::string> meta() {
    std::vector<env_rc_file> files{{"stale", 1}};
    EXPECT_EQ(env_plat_rc_meta(files), 0);
    std::vector<std::string> paths;
    for (const env_rc_file &f : files) {
      EXPECT_EQ(f.written, 0) << f.path;
      paths.push_back(f.path);
    }
    return paths;
  }
  extras path_extras() {
    std::vector<env_rc_extra> found{{"stale", "x", {}}};
    EXPECT_EQ(env_plat_rc_path_extras(found), 0);
    extras out;
    for (const env_rc_extra &e : found)
      out.emplace_back(e.path, e.label);
    return out;
  }
};

} // namespace

TEST_F(RcFiles, NoFilesNoReports) {
  EXPECT_TRUE(meta().empty());
  EXPECT_TRUE(path_extras().empty());
}

TEST_F(RcFiles, FilesAreReportedInTheOrderShellsReadThem) {
  for (const char *name :
       {".zshrc", ".bashrc", ".zprofile", ".profile", ".zshenv", ".bash_login", ".bash_profile"})
    write(home() + "/" + name, "PATH=/from" + std::string(name) + "\n");
  write(home() + "/.kshrc", "PATH=/not/read\n");
  std::string h = home();
  EXPECT_EQ(meta(),
            (std::vector<std::string>{h + "/.profile", h + "/.bash_profile", h + "/.bash_login",
                                      h + "/.bashrc", h + "/.zshenv", h + "/.zprofile", h + "/.zshrc"}));
  EXPECT_EQ(path_extras(), (extras{{"/from.profile", "rc:~/.profile"},
                                   {"/from.bash_profile", "rc:~/.bash_profile"},
                                   {"/from.bash_login", "rc:~/.bash_login"},
                                   {"/from.bashrc", "rc:~/.bashrc"},
                                   {"/from.zshenv", "rc:~/.zshenv"},
                                   {"/from.zprofile", "rc:~/.zprofile"},
                                   {"/from.zshrc", "rc:~/.zshrc"}}));
}

TEST_F(RcFiles, ZshFilesComeFromZdotdir) {
  write(home() + "/.zshrc", "PATH=/home/zshrc\n");
  write(home() + "/zdot/.zshrc", "PATH=/zdot/zshrc\n");
  write(root() + "/elsewhere/.zshenv", "PATH=/elsewhere\n");
  setenv("ZDOTDIR", (home() + "/zdot").c_str(), 1);
  EXPECT_EQ(meta(), (std::vector<std::string>{home() + "/zdot/.zshrc"}));
  EXPECT_EQ(path_extras(), (extras{{"/zdot/zshrc", "rc:~/zdot/.zshrc"}}));
  setenv("ZDOTDIR", (root() + "/elsewhere/").c_str(), 1);
  EXPECT_EQ(meta(), (std::vector<std::string>{root() + "/elsewhere/.zshenv"}));
  EXPECT_EQ(path_extras(), (extras{{"/elsewhere", "rc:" + root() + "/elsewhere/.zshenv"}}));
  setenv("ZDOTDIR", "", 1);
  EXPECT_EQ(path_extras(), (extras{{"/home/zshrc", "rc:~/.zshrc"}}));
}

TEST_F(RcFiles, OnlyReadableRegularFilesCount) {
  fs::create_directories(home() + "/.bashrc");
  write(home() + "/dotfiles/profile", "PATH=/linked\n");
  fs::create_symlink(home() + "/dotfiles/profile", home() + "/.profile");
  fs::create_symlink(home() + "/missing", home() + "/.zshrc");
  EXPECT_EQ(meta(), (std::vector<std::string>{home() + "/.profile"}));
  EXPECT_EQ(path_extras(), (extras{{"/linked", "rc:~/.profile"}}));
}

TEST_F(RcFiles, PathAssignmentsAreReadStatically) {
  std::string h = home();
  write(h + "/.profile", "# PATH=/commented\n"
                         "export PATH=~/.local/bin:$PATH:/opt/tool/bin\r\n"
                         "\texport  PATH='/single:${PATH}:${HOME}/go/bin'\n"
                         "PATH=/a::/b:~:$HOME ; export PATH\n"
                         "PATH=/x/$HOME:$HOMEDIR/bin:`cmd`/b:$(pwd):/c\n"
                         "PATH=~other/bin:/d&&true\n"
                         "PATH=\"/unterminated\n"
                         "PATH+=/appended\n"
                         "export PATH\n"
                         "MYPATH=/not/path\n"
                         "path=/lower\n"
                         "exportPATH=/glued\n"
                         "PATH=\"/q\\\"uote:/e\"\n");
  const std::string label = "rc:~/.profile";
  EXPECT_EQ(path_extras(), (extras{{h + "/.local/bin", label},
                                   {"/opt/tool/bin", label},
                                   {"/single", label},
                                   {h + "/go/bin", label},
                                   {"/a", label},
                                   {"/b", label},
                                   {h, label},
                                   {h, label},
                                   {"/d", label},
                                   {"/e", label}}));
}

// A line that adds DIR only when `[ -d DIR ]` (or `test -d DIR`, `[[ -d DIR ]]`) holds, in an
// `if` or before `&&`, adds nothing while DIR is missing, so a missing DIR is no fault: the
// entry is reported once DIR exists. Debian's skeleton files add ~/bin and ~/.local/bin so.
TEST_F(RcFiles, PathLinesGuardedByTheirDirectoryCountOnlyOnceItExists) {
  const std::string h = home(), label = "rc:~/.profile";
  const std::vector<std::pair<std::string, std::string>> guarded = {
      {"if [ -d \"$HOME/g\" ] ; then\n    PATH=\"$HOME/g:$PATH\"\nfi\n", "/g"},
      {"if test -d ~/g; then PATH=$PATH:~/g; fi\n", "/g"},
      {"if [[ -d '" + h + "/g/' ]]\nthen\n  export PATH=\"$PATH:" + h + "/g\"\nfi\n", "/g"},
      {"[ -d \"${HOME}/g\" ] && PATH=\"${HOME}/g:${PATH}\"\n", "/g"},
      {"test -d $HOME/g && export PATH=$HOME/g:$PATH\n", "/g"},
      {"if [ -d ~/g ]; then\n  if [ -n \"$X\" ]; then\n    PATH=~/g:$PATH\n  fi\nfi\n", "/g"},
  };
  // Whatever the test does not tie to the entry counts as before.
  const std::vector<std::pair<std::string, std::string>> unguarded = {
      {"if [ -d ~/g ]; then\n  PATH=~/other:$PATH\nfi\n", "/other"},
      {"if [ -d ~/g ]; then\n  :\nfi\nPATH=~/g:$PATH\n", "/g"},
      {"if [ -d ~/g ]; then\n  :\nelse\n  PATH=~/g:$PATH\nfi\n", "/g"},
      {"if [ -f ~/g ]; then PATH=~/g:$PATH; fi\n", "/g"},
  };
  for (const auto &[text, entry] : guarded) {
    fs::remove_all(h + "/g");
    write(h + "/.profile", text);
    EXPECT_EQ(path_extras(), extras{}) << text;
    fs::create_directories(h + "/g");
    EXPECT_EQ(path_extras(), (extras{{h + entry, label}})) << text;
  }
  fs::remove_all(h + "/g");
  for (const auto &[text, entry] : unguarded) {
    write(h + "/.profile", text);
    EXPECT_EQ(path_extras(), (extras{{h + entry, label}})) << text;
  }
  for (const char *debian : {"debian12", "debian13"}) {
    fs::remove_all(h + "/bin");
    fs::remove_all(h + "/.local");
    for (const char *file : {"profile", "bashrc"})
      write(h + "/." + file, read(std::string(KENV_TEST_DATA "/") + debian + "-skel." + file));
    ASSERT_NE(read(h + "/.profile"), "") << debian;
    EXPECT_EQ(path_extras(), extras{}) << debian;
    fs::create_directories(h + "/.local/bin");
    EXPECT_EQ(path_extras(), (extras{{h + "/.local/bin", label}})) << debian;
    fs::create_directories(h + "/bin");
    EXPECT_EQ(path_extras(), (extras{{h + "/bin", label}, {h + "/.local/bin", label}})) << debian;
  }
}

TEST_F(RcFiles, HomeWithATrailingSlashIsShownAsWritten) {
  std::string h = home() + "/";
  setenv("HOME", h.c_str(), 1);
  write(h + ".bashrc", "PATH=~/bin:$HOME/x:${HOME}\n");
  EXPECT_EQ(meta(), (std::vector<std::string>{h + ".bashrc"}));
  EXPECT_EQ(
      path_extras(),
      (extras{{home() + "/bin", "rc:~/.bashrc"}, {home() + "/x", "rc:~/.bashrc"}, {home(), "rc:~/.bashrc"}}));
}

TEST_F(RcFiles, WithoutHomeNothingIsRead) {
  write(home() + "/.profile", "PATH=/a\n");
  unsetenv("HOME");
  EXPECT_TRUE(meta().empty());
  EXPECT_TRUE(path_extras().empty());
  setenv("HOME", "", 1);
  EXPECT_TRUE(meta().empty());
}

TEST_F(RcFiles, FilesAreNeverWritten) {
  write(home() + "/.bashrc", "PATH=/a\n");
  fs::last_write_time(home() + "/.bashrc", fs::file_time_type{});
  meta();
  path_extras();
  EXPECT_EQ(fs::last_write_time(home() + "/.bashrc"), fs::file_time_type{});
  EXPECT_EQ(read(home() + "/.bashrc"), "PATH=/a\n");
  EXPECT_FALSE(fs::exists(home() + "/.profile"));
}
