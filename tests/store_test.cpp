// The store file: reading rules, the written form, and what is never lost.
#include "support/sandbox.h"

#include "core/file_ops.h"
#include "core/frame.h"
#include "kestrune_env.h"
#include "support/core_calls.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class Store : public Sandbox {
protected:
  std::string path() { return data_dir() + "/user-env.json"; }
  env_kv_list load_text(const std::string &text) {
    fs::create_directories(data_dir());
    write(path(), text);
    store_file store;
    store_read(path(), store);
    problem = store.problem;
    return store.vars;
  }
  std::string problem;
  std::vector<std::string> unreadable_copies() {
    std::vector<std::string> names;
    for (auto &e : fs::directory_iterator(data_dir()))
      if (e.path().filename().string().rfind("user-env.json.unreadable-", 0) == 0)
        names.push_back(e.path().string());
    return names;
  }
};

} // namespace

// A file that is not a store document holds nothing the library can use, and a change
// must not save over it; an empty or missing file is an empty store.
TEST_F(Store, MalformedDocumentsAreProblemsAndEmptyFilesEmptyStores) {
  for (const char *text : {"{}", R"({"vars": {}})", R"({"vars": 5})", R"({"vars": "x"})",
                           R"({"VARS": [{"name":"a","value":"b"}]})", "\xEF\xBB\xBF", R"({"vars": [], })",
                           R"({"vars": []} x)", R"({"vars": {}, "vars": [{"name":"a","value":"b"}]})"}) {
    EXPECT_TRUE(load_text(text).empty()) << text;
    EXPECT_EQ(problem, "not a store document") << text;
  }
  EXPECT_TRUE(load_text("").empty());
  EXPECT_EQ(problem, "");
  // Some editors put a byte order mark before the document: the store is read all the same.
  EXPECT_EQ(load_text("\xEF\xBB\xBF{\"vars\": [{\"name\":\"a\",\"value\":\"b\"}]}").size(), 1u);
  EXPECT_EQ(problem, "");
  fs::remove(path());
  EXPECT_TRUE(load_text("").empty());
  EXPECT_EQ(problem, "");
}

TEST_F(Store, ElementsNeedStringNameAndValueAndTheFirstMemberCounts) {
  env_kv_list vars = load_text(R"({"vars": [5, "s", {}, {"name": "only"}, {"name": "n", "value": 5},
      {"Name": "x", "value": "y"}, {"name": 1, "name": "late", "value": "v"},
      {"name": "A", "name": "B", "value": "1", "extra": true}, {"name": "", "value": "e=q"},
      {"name": "FOO", "value": "1"}, {"name": "foo", "value": "2"}]})");
  ASSERT_EQ(vars.size(), 4u);
  EXPECT_EQ(vars[0].name, "A");
  EXPECT_EQ(vars[0].source, "overlay");
  EXPECT_EQ(vars[1].name, "");
  EXPECT_EQ(vars[2].name, "FOO");
  EXPECT_EQ(vars[3].name, "foo");
}

TEST_F(Store, SavesThePrettyFormAndDropsUnknownMembers) {
  load_text(R"({"vars": [{"name": "A", "value": "1", "extra": 1}], "other": 2})");
  ASSERT_EQ(put_in_store("foo", "a/b\"\\\n\xC3\xA9"), 0);
  EXPECT_EQ(read(path()),
            "{\n    \"vars\": [\n        {\n            \"name\": \"A\",\n            \"value\": \"1\"\n"
            "        },\n        {\n            \"name\": \"foo\",\n"
            "            \"value\": \"a/b\\\"\\\\\\n\xC3\xA9\"\n        }\n    ]\n}");
  ASSERT_EQ(save_store({}), 0);
  EXPECT_EQ(read(path()), "{\n    \"vars\": []\n}");
}

TEST_F(Store, UpsertChangesOnlyTheFirstMatch) {
  load_text(
      R"({"vars": [{"name": "FOO", "value": "1"}, {"name": "foo", "value": "2"}, {"name": "FOO", "value": "x"}]})");
  ASSERT_EQ(put_in_store("FOO", "3"), 0);
  env_kv_list vars = stored_vars();
  ASSERT_EQ(vars.size(), 3u);
  EXPECT_EQ(vars[0].value, "3");
  EXPECT_EQ(vars[1].value, "2");
  EXPECT_EQ(vars[2].value, "x");
}

TEST_F(Store, InvalidUtf8DoesNotMakeTheStoreUnreadable) {
  ASSERT_EQ(env_set("user", "KEEP", "me"), 1);
  // Bytes environment.d cannot hold, from a store edited by hand.
  ASSERT_EQ(put_in_store("BIN", "\xFF\xFE ok \xC3"), 0);
  ASSERT_EQ(env_set("user", "LATER", "x"), 1) << env_last_error();
  env_kv_list vars = stored_vars();
  ASSERT_EQ(vars.size(), 3u);
  EXPECT_EQ(vars[0].value, "me");
  EXPECT_EQ(vars[1].value, "\xFF\xFE ok \xC3");
  EXPECT_TRUE(unreadable_copies().empty());
}

// A store that is there but cannot be used stops every change, naming the file, the reason
// and the way back; nothing is written. A restore replaces it, keeping it beside it first.
TEST_F(Store, AnUnusableStoreStopsChangesAndARestoreKeepsIt) {
  const std::string damaged = "{\"vars\": [ {\"name\": \"LOST?\", \"value\": \"no\"}, ]";
  load_text(damaged);
  EXPECT_EQ(env_set("user", "A", "1"), 0);
  EXPECT_EQ(std::string(env_last_error()),
            "store " + path() +
                " cannot be used (not a store document): nothing was changed; restore a "
                "backup (kenv restore --latest)");
  EXPECT_EQ(read(path()), damaged);
  EXPECT_FALSE(fs::exists(data_dir() + "/backups"));
  write(root() + "/b.json", R"({"ts":"x","scope":"user","vars":[{"name":"A","value":"1"}]})");
  ASSERT_EQ(env_restore((root() + "/b.json").c_str()), 1) << env_last_error();
  ASSERT_EQ(unreadable_copies().size(), 1u);
  EXPECT_EQ(read(unreadable_copies()[0]), damaged);
  EXPECT_EQ(fs::path(unreadable_copies()[0]).filename().string().size(),
            std::string("user-env.json.unreadable-20261209-123456").size());
  EXPECT_EQ(stored_vars().size(), 1u);
  // A second unusable file in the same second gets its own name.
  write(path(), "garbage");
  ASSERT_EQ(env_restore((root() + "/b.json").c_str()), 1);
  EXPECT_EQ(unreadable_copies().size(), 2u);
}

TEST_F(Store, AFailedWriteLeavesThePreviousFileAndNoTemporaryFile) {
  ASSERT_EQ(env_set("user", "A", "1"), 1);
  std::string before = read(path());
  env_file_sys.write = [](int, const void *, std::size_t) -> long { return errno = ENOSPC, -1; };
  EXPECT_EQ(put_in_store("B", "2"), -1);
  EXPECT_EQ(std::string(env_last_error()), "failed to write store " + path());
  env_file_sys.write = env_file_ops_default.write;
  env_file_sys.rename = [](const char *, const char *) { return errno = EIO, -1; };
  EXPECT_EQ(put_in_store("B", "2"), -1);
  env_file_sys = env_file_ops_default;
  EXPECT_EQ(read(path()), before);
  for (auto &e : fs::directory_iterator(data_dir()))
    EXPECT_EQ(e.path().filename().string().find(".tmp-"), std::string::npos) << e.path();
}
