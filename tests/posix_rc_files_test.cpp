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
                         "if [ -d \"$HOME/bin\" ] ; then\n"
                         "    PATH=\"$HOME/bin:$PATH\"\n"
                         "fi\n"
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
                         "[ -d /x ] && PATH=/x:$PATH\n"
                         "PATH=\"/q\\\"uote:/e\"\n");
  const std::string label = "rc:~/.profile";
  EXPECT_EQ(path_extras(), (extras{{h + "/bin", label},
                                   {h + "/.local/bin", label},
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
