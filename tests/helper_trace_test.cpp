// kenv-system-helper runs as root and opens no path a caller names: every operation, given
// arguments that name a secret file outside the system scope's folders (and a symbolic link
// to it), runs under strace, which must never see that file opened, and the secret must end
// up in none of the system scope's files.
#include "helper_run.h"
#include "support/sandbox.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

const std::string secret_text = "DB_PASSWORD=kt-secret-5be1\n";

// Every operation, each argument that can be a path being `named`.
std::vector<std::string> requests_naming(const std::string &named) {
  const std::string lines = "+ DB_PASSWORD=kt-secret-5be1\n";
  return {request_bytes({"set", "KT_NAMED", named}),
          request_bytes({"unset", named}),
          request_bytes({"path-add", named, "0"}),
          request_bytes({"path-mv", named, "0"}),
          request_bytes({"path-off", named}),
          request_bytes({"path-on", named}),
          request_bytes({"path-rm", named}),
          request_bytes({"profile-new", named, named}),
          request_bytes({"profile-new", "named", named}),
          request_bytes({"profile-import", "leak", named}),
          request_bytes({"profile-import", named, named}),
          request_bytes({"profile-on", "leak"}),
          request_bytes({"profile-on", named}),
          request_bytes({"profile-off", named}),
          request_bytes({"profile-rm", named}),
          request_bytes({"profile-rm", "leak"}),
          request_bytes({"apply", named, lines}),
          request_bytes({"apply", named, ""})};
}

// The files under the folder that hold the text.
std::vector<std::string> files_holding(const std::string &dir, const std::string &text) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it); it.increment(ec))
    if (it->is_regular_file(ec) && file_text(it->path().string()).find(text) != std::string::npos)
      out.push_back(it->path().string());
  return out;
}

class HelperTrace : public Sandbox {};

TEST_F(HelperTrace, NoOperationOpensAFileItIsNamedNorLeaksItsContents) {
  const std::string secret = root() + "/secret.env", link = root() + "/link.env", log = root() + "/trace";
  write(secret, secret_text);
  fs::create_symlink(secret, link);
  for (const std::string &named : {secret, link})
    for (const std::string &request : requests_naming(named)) {
      HelperRun ran = run_with_input(
          {KENV_STRACE, "-f", "-qq", "-e", "trace=open,openat", "-o", log, KENV_HELPER}, request, root());
      std::string trace = read(log);
      EXPECT_NE(trace, "") << "strace did not run";
      EXPECT_EQ(trace.find('"' + secret + '"'), std::string::npos) << request;
      EXPECT_EQ(trace.find('"' + link + '"'), std::string::npos) << request;
      EXPECT_EQ(ran.signal, 0) << request;
    }
  for (const char *dir : {KENV_SYSCONFDIR, KENV_LOCALSTATEDIR})
    EXPECT_EQ(files_holding(dir, "kt-secret-5be1"), std::vector<std::string>{}) << dir;
}

} // namespace
