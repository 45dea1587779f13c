// kenv-system-helper treats every byte it reads as hostile and never aborts: whatever
// arrives, it ends with status 0 (changed), 1 (a request it refused, said in one line on
// stderr) or 2 (not a request), never by a signal.
#include "helper_run.h"
#include "support/sandbox.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr int any_status = -1; // 0, 1 or 2: a fuzz corpus input
constexpr std::size_t max_fields = (std::size_t{4} << 20) - 64;

struct Hostile {
  std::string input;
  int status;
};

// Names the profile operations must refuse, as names of every operation that takes one.
std::vector<Hostile> bad_names() {
  std::vector<Hostile> out;
  for (const char *name : {"../x", "a/b", ".hidden", "", "/etc/x", "..", "."})
    for (const char *op : {"profile-on", "profile-off", "profile-rm", "profile-new"})
      out.push_back({request_bytes({op, name}), 1});
  for (const char *name : {"../x", "a/b", ".hidden", "", "/etc/x"})
    out.push_back({request_bytes({"profile-import", name, "A=1\n"}), 1});
  return out;
}

std::vector<Hostile> hostile_requests() {
  std::vector<Hostile> out = bad_names();
  std::vector<Hostile> more{
      {request_bytes({"profile-import", "leak", "/etc/s.env"}), 1},
      {request_bytes({"profile-on", "leak"}), 1},
      {request_bytes({"profile-import", "bad", "A=1\nA=2\n"}), 1},
      {request_bytes({"profile-import", "bad", "{\"format\":\"other\"}"}), 1},
      {request_bytes({"apply", "not a document", ""}), 1},
      {request_bytes({"apply", "{\"format\":\"kenv-state/1\",\"scope\":\"user\"}", ""}), 1},
      {request_bytes({"apply", "A=1\n", "+ A=2\n"}), 1},
      {request_bytes({"set", "1BAD", "x"}), 1},
      {request_bytes({"path-mv", "/nowhere", "-2147483648"}), 1},
      {std::string(), 2},
      {std::string("set\0A\0b", 7), 2},
      {request_bytes({"profile-on"}), 2},
      {request_bytes({"apply", "A=1\n"}), 2},
      {request_bytes({"path-add", "/x", "99999999999"}), 2},
  };
  out.insert(out.end(), more.begin(), more.end());
  for (const fs::directory_entry &e : fs::directory_iterator(KENV_REQUEST_CORPUS))
    out.push_back({file_text(e.path().string()), any_status});
  return out;
}

class HelperInput : public Sandbox {};

TEST_F(HelperInput, HostileRequestsEndWithStatusZeroOneOrTwoAndOneLineOfRefusal) {
  for (const Hostile &h : hostile_requests()) {
    HelperRun ran = run_with_input({KENV_HELPER}, h.input, root());
    EXPECT_EQ(ran.signal, 0) << h.input;
    if (h.status != any_status)
      EXPECT_EQ(ran.status, h.status) << h.input << "\n" << ran.err;
    else
      EXPECT_TRUE(ran.status >= 0 && ran.status <= 2) << h.input << "\n" << ran.err;
    if (ran.status != 0) {
      EXPECT_EQ(std::count(ran.err.begin(), ran.err.end(), '\n'), 1) << h.input << "\n" << ran.err;
      EXPECT_EQ(ran.err.back(), '\n') << h.input;
      EXPECT_GT(ran.err.size(), 1u) << h.input;
    }
  }
}

// A request of four million fields, read with little memory to spare: std::bad_alloc is a
// refusal like any other.
TEST_F(HelperInput, RunningOutOfMemoryIsARefusalInOneLine) {
  std::string fields = request_bytes({"profile-new", "many"}) + std::string(max_fields, '\0');
  HelperRun ran =
      run_with_input({"/bin/sh", "-c", "ulimit -v 100000 && exec \"$0\"", KENV_HELPER}, fields, root());
  EXPECT_EQ(ran.signal, 0);
  EXPECT_EQ(ran.status, 1);
  EXPECT_EQ(ran.err, "kenv-system-helper: ran out of memory\n");
}

} // namespace
