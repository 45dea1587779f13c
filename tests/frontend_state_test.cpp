// The front ends' state documents (kenv-state/1) as parse_state reads them and write_state
// writes them, in both formats.
#include "library.h"
#include "state.h"
#include "support/sandbox.h"
#include "window_sets.h"

#include <gtest/gtest.h>

namespace {

void expect_same(const ScopeState &a, const ScopeState &b, const std::string &text) {
  EXPECT_EQ(a.scope, b.scope) << text;
  EXPECT_EQ(a.vars, b.vars) << text;
  EXPECT_EQ(a.path, b.path) << text;
  EXPECT_EQ(a.absent, b.absent) << text;
}

TEST(FrontendState, ADocumentReadsBackTheSameAfterWritingInItsFormat) {
  struct Case {
    std::string text;
    StateFormat format;
  } cases[] = {
      {R"({"format":"kenv-state/1","vars":[{"name":"GONE","value":null},{"name":"A","value":"1"}],"path":[]})",
       StateFormat::json},
      {"# kenv-state/1 scope=user\rA=1\n", StateFormat::env},
  };
  for (const Case &c : cases) {
    ScopeState doc = parse_state(c.text);
    expect_same(parse_state(write_state(doc, c.format)), doc, c.text);
  }
}

TEST(FrontendState, ADocumentForAnotherScopeThanUserOrSystemIsRefused) {
  for (const char *text : {R"({"format":"kenv-state/1","scope":"users","vars":[],"path":[]})",
                           "# kenv-state/1 scope=users\nA=1\n", "# kenv-state/1 scope=user\\\n#\nA=1\n"})
    EXPECT_THROW(parse_state(text), DocumentError) << text;
}

// Each refusal names what is wrong, so that a hand-written document can be put right.
TEST(FrontendState, ABadDocumentIsRefusedNamingWhatIsWrong) {
  struct Case {
    std::string text, message;
  } cases[] = {
      {"{ \"format\": ", "line 1, column 13: not JSON"},
      {R"(["kenv-state/1"])", "the document is not JSON"},
      {R"({"format":"kenv-state/1","vars":[{"name":"A"}],"path":[]})",
       "\"vars\" element 0: needs a text \"name\" and a text or null \"value\""},
      {R"({"format":"kenv-state/1","vars":[{"name":"PATH","value":"/x"}],"path":[]})",
       "\"vars\" element 0: PATH belongs in the document's PATH entries"},
      {R"({"format":"kenv-state/1","vars":[{"name":"A","value":"1"},{"name":"A","value":null}],"path":[]})",
       "\"vars\" element 1: 'A' is given twice"},
      {R"({"format":"kenv-state/1","vars":[],"path":["/a",1]})", "\"path\" element 1 is not text"},
      {std::string("A=1\0\n", 4), "the document holds a NUL byte"},
      {"A=1\nPATH=/a\nPATH=/b\n", "line 3: 'PATH' is given twice"},
  };
  for (const Case &c : cases) {
    try {
      parse_state(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const DocumentError &e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.text << ": " << e.what();
    }
  }
}

class FrontendSets : public Sandbox {};

// A profile file that cannot be read shows why in its row, and the other profiles are listed
// all the same; a profile that is on shows what it replaced.
TEST_F(FrontendSets, AProfileThatCannotBeReadShowsWhyBesideTheOthers) {
  lib_set("user", "EDITOR", "nano");
  write(data_dir() + "/profiles/go.json",
        R"({"format":"kenv-state/1","vars":[{"name":"EDITOR","value":"vim"}],"path":["/opt/go/bin"]})");
  write(data_dir() + "/profiles/broken.json", "{ \"format\": ");
  EXPECT_EQ(switch_profile("user", "go", true), "");
  EXPECT_EQ(switch_profile("user", "go", true), "profile 'go' is on already; nothing changed");
  ScopeSets sets = read_sets("user", parse_listing(lib_list("user")));
  ASSERT_EQ(sets.profiles.size(), 2u);
  EXPECT_EQ(sets.profiles[0].name, "broken");
  EXPECT_FALSE(sets.profiles[0].on);
  EXPECT_NE(sets.profiles[0].sets.find("not JSON"), std::string::npos) << sets.profiles[0].sets;
  EXPECT_TRUE(sets.profiles[1].on);
  EXPECT_EQ(sets.profiles[1].sets, "EDITOR=vim, PATH + /opt/go/bin");
  EXPECT_EQ(sets.profiles[1].replaced, "EDITOR was nano, PATH + /opt/go/bin");
  EXPECT_EQ(switch_profile("user", "go", false), "");
  EXPECT_EQ(read_sets("user", parse_listing(lib_list("user"))).profiles[1].replaced, "");
}

// Importing a file that is not there names it, and no profile is made.
TEST_F(FrontendSets, ImportingAMissingFileNamesItAndMakesNoProfile) {
  std::string missing = root() + "/none.json";
  try {
    import_profile("user", "go", missing);
    ADD_FAILURE() << "imported a missing file";
  } catch (const LibraryError &e) {
    EXPECT_EQ(std::string(e.what()), "cannot read " + missing + " (no such file)");
  }
  EXPECT_TRUE(read_sets("user", parse_listing(lib_list("user"))).profiles.empty());
}

} // namespace
