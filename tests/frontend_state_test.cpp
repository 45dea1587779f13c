// The front ends' state documents (kenv-state/1) as parse_state reads them and write_state
// writes them, in both formats.
#include "state.h"

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

} // namespace
