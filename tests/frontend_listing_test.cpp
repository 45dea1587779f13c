// The front ends' reading of the listing document: where each PATH entry comes from, which
// entries the scope owns, and the session view, with and without those members.
#include "listing.h"

#include <gtest/gtest.h>

namespace {

const std::string head = R"({"scope":"user","path_sep":":","export_file":"/h/x.sh","vars":[],)";
const std::string tail = R"("warnings":[],"protected_delete":["PATH"],"rc_sources":[])";

TEST(FrontendListing, ReadsTheOriginAndOwnershipOfEachPathEntry) {
  Listing l = parse_listing(head + R"("path":[
    {"entry":"/a","exists":1,"dup":0,"source":"path","origin":"/h/.config/environment.d/99-pellomar-user.conf","editable":1},
    {"entry":"/b","exists":0,"dup":0,"source":"path","origin":"/etc/environment.d/10-x.conf","editable":0}],)" +
                            tail + "}");
  ASSERT_EQ(l.path.size(), 2u);
  EXPECT_EQ(l.path[0].origin, "/h/.config/environment.d/99-pellomar-user.conf");
  EXPECT_TRUE(l.path[0].editable);
  EXPECT_EQ(l.path[1].origin, "/etc/environment.d/10-x.conf");
  EXPECT_FALSE(l.path[1].editable);
}

TEST(FrontendListing, WithoutOwnershipOnlyStartUpFileEntriesAreReadOnly) {
  Listing l = parse_listing(head + R"("path":[{"entry":"/a","exists":1,"dup":0,"source":"path"},
    {"entry":"/b","exists":1,"dup":0,"source":"rc:~/.profile"}],)" +
                            tail + "}");
  ASSERT_EQ(l.path.size(), 2u);
  EXPECT_TRUE(l.path[0].editable);
  EXPECT_FALSE(l.path[1].editable);
  EXPECT_EQ(l.path[1].origin, "");
  EXPECT_TRUE(l.session.empty());
  EXPECT_EQ(session_document(head + R"("path":[],)" + tail + "}"), "[]");
}

TEST(FrontendListing, ReadsTheSessionViewInOrder) {
  std::string session = R"([{"name":"B","value":"2","file":"/e/10-b.conf","shell":null,"differs":1},)"
                        R"({"name":"A","value":"/h/x","file":"/e/99-a.conf","shell":"/h/x","differs":0}])";
  std::string json = head + R"("path":[],)" + tail + R"(,"session":)" + session + "}";
  Listing l = parse_listing(json);
  ASSERT_EQ(l.session.size(), 2u);
  EXPECT_EQ(l.session[0].name, "B");
  EXPECT_EQ(l.session[0].file, "/e/10-b.conf");
  EXPECT_FALSE(l.session[0].shell.has_value());
  EXPECT_TRUE(l.session[0].differs);
  EXPECT_EQ(l.session[1].value, "/h/x");
  EXPECT_EQ(l.session[1].shell, "/h/x");
  EXPECT_FALSE(l.session[1].differs);
  EXPECT_EQ(session_document(json), session);
}

} // namespace
