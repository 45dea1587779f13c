// Each kind of change run at the same moment as a second one of its kind and as `kenv set`,
// 20 rounds each from the same prepared scope. Both wait at a barrier (a FIFO each reads a
// line from, written once both have said they are there). Afterwards the scope must be what
// the changes that succeeded make when run one after the other, in one order or the other,
// through the store, environment.d, the export file and the records alike. The only refusal
// allowed is apply's, when the scope changed while it was applying.
#include "kenv_changes.h"

#include <fcntl.h>
#include <future>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int rounds = 20;

struct Race {
  ChangeKind kind;
  bool against_set; // else against the other change of its kind
};

void PrintTo(const Race &race, std::ostream *out) {
  *out << race.kind.name << (race.against_set ? " against set" : " against itself");
}

std::vector<Race> races() {
  std::vector<Race> out;
  for (const ChangeKind &kind : change_kinds())
    for (bool against_set : {false, true})
      out.push_back({kind, against_set});
  return out;
}

class KenvRace : public ChangeTest, public ::testing::WithParamInterface<Race> {
protected:
  using Args = std::vector<std::string>;
  // Both commands started through the barrier.
  std::pair<Outcome, Outcome> at_once(const Args &a, const Args &b) {
    std::string ready = root() + "/ready", go = root() + "/go";
    for (const std::string &fifo : {ready, go})
      EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Opened for reading and writing, neither end ever waits for the other to open.
    int ready_fd = open(ready.c_str(), O_RDWR | O_CLOEXEC), go_fd = open(go.c_str(), O_RDWR | O_CLOEXEC);
    Args barrier{"/bin/sh", "-c", "echo >\"$0\"; read _ <\"$1\"; shift; exec \"$@\"", ready, go};
    auto start = [&](const Args &args) {
      return std::async(std::launch::async, [this, args, barrier] { return run_kenv(args, barrier); });
    };
    auto first = start(a), second = start(b);
    char byte;
    for (int arrived = 0; arrived < 2;)
      arrived += ::read(ready_fd, &byte, 1) == 1;
    EXPECT_EQ(::write(go_fd, "\n\n", 2), 2);
    std::pair<Outcome, Outcome> out{first.get(), second.get()};
    close(ready_fd);
    close(go_fd);
    unlink(ready.c_str());
    unlink(go.c_str());
    return out;
  }
  // What the commands make when run one after the other from the prepared scope.
  const ScopeView &in_turn(const std::vector<const Args *> &changes) {
    std::string key;
    for (const Args *c : changes)
      key += (c == &GetParam().kind.args ? "a" : "b");
    auto found = seen_.find(key);
    if (found != seen_.end())
      return found->second;
    reset();
    for (const Args *c : changes) {
      Outcome r = run_kenv(*c);
      EXPECT_EQ(r.status, 0) << key << ": " << r.err;
    }
    return seen_[key] = observe();
  }
  Args other() const { return GetParam().against_set ? Args{"set", "KT_RACE", "r"} : GetParam().kind.other; }

private:
  std::map<std::string, ScopeView> seen_;
};

std::string command(const std::vector<std::string> &args) {
  std::string out = "kenv";
  for (const std::string &a : args)
    out += " " + a;
  return out;
}

// "running 'A' then 'B'", "running 'A' alone" or "running neither".
std::string running(const std::vector<const std::vector<std::string> *> &landed) {
  std::string out;
  for (const auto *args : landed)
    out += (out.empty() ? "running '" : " then '") + command(*args) + "'";
  return landed.empty() ? "running neither" : landed.size() == 1 ? out + " alone" : out;
}

bool refused_as_allowed(const Outcome &r) {
  return r.err.find("changed while applying") != std::string::npos;
}

TEST_P(KenvRace, BothChangesLandWholeOrOnlyAnApplyIsRefused) {
  ASSERT_NO_FATAL_FAILURE(prepare());
  const Args &a = GetParam().kind.args;
  Args b = other();
  std::string race = GetParam().kind.name + (GetParam().against_set ? " against set" : " against itself");
  int refusals = 0;
  for (int round = 1; round <= rounds; ++round) {
    std::string where = race + ", round " + std::to_string(round) + ": ";
    reset();
    auto [ra, rb] = at_once(a, b);
    std::vector<const Args *> landed;
    for (const auto &[args, r] : {std::pair<const Args *, const Outcome *>{&a, &ra}, {&b, &rb}}) {
      if (r->status == 0) {
        landed.push_back(args);
        continue;
      }
      ++refusals;
      if ((*args)[0] != "apply" || !refused_as_allowed(*r))
        ADD_FAILURE() << where << command(*args) << " failed: " << r->err;
    }
    ScopeView now = observe();
    for (const std::string &d : disagreements(now))
      ADD_FAILURE() << where << d;
    std::vector<const Args *> reversed(landed.rbegin(), landed.rend());
    const ScopeView &in_order = in_turn(landed), &reverse = in_turn(reversed);
    if (now.lines() != in_order.lines() && now.lines() != reverse.lines())
      ADD_FAILURE() << where << "the scope differs from " << running(landed) << ": "
                    << difference(now, in_order);
    else if (now.backups != in_order.backups)
      ADD_FAILURE() << where << now.backups << " backups, where " << running(landed) << " leaves "
                    << in_order.backups;
  }
  std::cout << race << ": " << refusals << " refusals in " << rounds << " rounds\n";
}

INSTANTIATE_TEST_SUITE_P(Kinds, KenvRace, ::testing::ValuesIn(races()), [](const auto &info) {
  return info.param.kind.name + (info.param.against_set ? "_against_set" : "_against_itself");
});

} // namespace
