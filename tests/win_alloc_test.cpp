// Allocation failure inside the Windows backend: every allocation of a listing and of a
// change is made to fail in turn. The call then fails with "out of memory" or succeeds as it
// would have, and no registry key or lock file is ever left open, whichever allocation failed
// (the backend holds both in guards, and the call frame turns std::bad_alloc into the
// message). The simulator allocates too, so its own calls fail in places as well.
#include "hardening_alloc.h"
#include "winsim/win_sandbox.h"

#include "kestrune_env.h"

#include <gtest/gtest.h>

namespace {

// Runs one exported call; the outcome is read afterwards, when allocations work again.
struct Operation {
  const char *name;
  bool (*run)(char **text);
};

// What a successful run left behind: the listing text, or the registry value written.
std::string outcome_of(char *text) {
  std::string out = text ? text : "";
  env_free_string(text);
  DWORD type = REG_NONE;
  std::string bytes;
  if (winsim_get(HKEY_CURRENT_USER, "FOO", type, bytes))
    out += std::to_string(type) + ":" + bytes;
  return out;
}

class WinAllocFailure : public WinSandbox, public ::testing::WithParamInterface<bool> {
protected:
  void SetUp() override {
    WinSandbox::SetUp();
    winsim_put(HKEY_CURRENT_USER, "Big", REG_SZ, std::string(40000, 'b') + '\0');
    winsim_put(HKEY_CURRENT_USER, "Path", REG_EXPAND_SZ, std::string("%USERPROFILE%\\bin\0", 19));
  }

  // Runs the operation with the nth allocation failing (none for 0), and with `persist`
  // every one after it too; "" when it failed.
  static std::string run(const Operation &op, long nth, bool persist, long &attempts) {
    char *text = nullptr;
    bool ok;
    {
      alloc_fault::armed armed(nth, persist);
      ok = op.run(&text);
      attempts = alloc_fault::disarm();
    }
    return ok ? outcome_of(text) : (env_free_string(text), std::string());
  }

  void every_allocation_fails_cleanly(const Operation &op) {
    long reached = 0, attempts = 0;
    const std::string reference = run(op, 0, false, reached);
    ASSERT_NE(reference, "") << env_last_error();
    for (long nth = 1; nth <= reached && !HasFailure(); ++nth) {
      std::string got = run(op, nth, GetParam(), attempts);
      if (got.empty())
        EXPECT_STREQ(env_last_error(), "out of memory") << op.name << ", allocation " << nth;
      else
        EXPECT_EQ(got, reference) << op.name << ", allocation " << nth;
      EXPECT_EQ(winsim_open_handles(), 0) << op.name << ", allocation " << nth;
      EXPECT_EQ(winsim_open_files(), 0) << op.name << ", allocation " << nth;
    }
  }
};

bool listing(char **text) {
  return (*text = env_list("user")) != nullptr;
}

bool change(char **) {
  return env_set("user", "FOO", "50%") == 1;
}

} // namespace

TEST_P(WinAllocFailure, ListingFailsCleanly) {
  every_allocation_fails_cleanly({"listing", listing});
}

TEST_P(WinAllocFailure, ChangeFailsCleanly) {
  every_allocation_fails_cleanly({"change", change});
}

INSTANTIATE_TEST_SUITE_P(Allocations, WinAllocFailure, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool> &info) {
                           return std::string(info.param ? "FromThenOn" : "Once");
                         });
