// The environment.d syntax as the backend reads and writes it, without touching files.
// How systemd itself reads these texts is checked by posix_envd_peer_test.
#include "posix/posix.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using pairs = std::vector<std::pair<std::string, std::string>>;

// Every assignment systemd would apply, in file order (no merging); "-" marks an entry
// without value bytes, which systemd ignores.
pairs parse(const std::string &text) {
  envd_text parsed;
  envd_parse(text, parsed);
  pairs out;
  for (const envd_entry &e : parsed.entries)
    out.emplace_back(e.name, e.has_value ? e.value : "-");
  return out;
}

std::string splice_set(const std::string &text, const char *name, const char *value) {
  return envd_splice(text, name, std::string_view(value), false);
}

} // namespace

TEST(EnvdParse, CommentsBlankLinesAndLinesWithoutEquals) {
  EXPECT_EQ(parse("# c\n; c\n  # indented\n\n\t\nA=1\nnot an assignment\nB=2"),
            (pairs{{"A", "1"}, {"B", "2"}}));
  EXPECT_EQ(parse("A=1 # not a comment\nB=x;y\n"), (pairs{{"A", "1 # not a comment"}, {"B", "x;y"}}));
}

TEST(EnvdParse, BackslashAtTheEndOfACommentSwallowsTheNextLine) {
  EXPECT_EQ(parse("# note \\\nA=1\nB=2\n"), (pairs{{"B", "2"}}));
}

TEST(EnvdParse, BlanksAroundNamesAndUnquotedValuesGo) {
  EXPECT_EQ(parse("  A  =  x  y  \n\tB\t=\tz\t\n"), (pairs{{"A", "x  y"}, {"B", "z"}}));
  EXPECT_EQ(parse("A B=1\n"), (pairs{{"A B", "1"}}));
  EXPECT_EQ(parse("A=x\\ \n"), (pairs{{"A", "x "}}));
}

TEST(EnvdParse, EmptyValuesHaveNoBytes) {
  EXPECT_EQ(parse("A=\nB=\"\"\nC=''\nD=   \nE=\" \"\n"),
            (pairs{{"A", "-"}, {"B", "-"}, {"C", "-"}, {"D", "-"}, {"E", " "}}));
  // A continued line of blanks is the one way to get a value of no characters.
  EXPECT_EQ(parse("A=\\\n  \n"), (pairs{{"A", ""}}));
}

TEST(EnvdParse, QuotesOnlyCountAtTheStartOfAValuePart) {
  EXPECT_EQ(parse("A=\"a b\"\nB='c \"d\" \\e'\nC=x\"y\"\nD=\"a\"b\"c\"\nE=\"a\" 'b' c\n"),
            (pairs{{"A", "a b"}, {"B", "c \"d\" \\e"}, {"C", "x\"y\""}, {"D", "ab\"c\""}, {"E", "abc"}}));
}

TEST(EnvdParse, DoubleQuotesUnescapeOnlyFourBytes) {
  EXPECT_EQ(parse(R"(A="\" \\ \` \$ \n \a")"), (pairs{{"A", R"(" \ ` $ \n \a)"}}));
  EXPECT_EQ(parse("A=\"x\\\ny\"\nB=\"multi\nline\"\n"), (pairs{{"A", "xy"}, {"B", "multi\nline"}}));
}

TEST(EnvdParse, UnquotedBackslashTakesTheNextByte) {
  EXPECT_EQ(parse("A=a\\\"b\\\\c\\n\nB=x\\\ny\nC=\\\"q\\\"\n"),
            (pairs{{"A", "a\"b\\cn"}, {"B", "xy"}, {"C", "\"q\""}}));
}

TEST(EnvdParse, CarriageReturnEndsALine) {
  EXPECT_EQ(parse("A=1\r\nB=2\rC=3"), (pairs{{"A", "1"}, {"B", "2"}, {"C", "3"}}));
}

TEST(EnvdParse, UnterminatedQuoteRunsToTheEnd) {
  EXPECT_EQ(parse("A=\"abc\nB=1\n"), (pairs{{"A", "abc\nB=1\n"}}));
}

TEST(EnvdParse, TextWithANulByteYieldsNothing) {
  EXPECT_TRUE(parse(std::string("A=1\nB=2\0\nC=3\n", 14)).empty());
}

TEST(EnvdParse, EntriesKnowTheirLines) {
  envd_text parsed;
  std::string text = "# c\n  A=1\nB=\"x\ny\"\nC=3";
  envd_parse(text, parsed);
  ASSERT_EQ(parsed.entries.size(), 3u);
  EXPECT_EQ(text.substr(parsed.entries[0].begin, parsed.entries[0].end - parsed.entries[0].begin), "  A=1\n");
  EXPECT_EQ(text.substr(parsed.entries[1].begin, parsed.entries[1].end - parsed.entries[1].begin),
            "B=\"x\ny\"\n");
  EXPECT_EQ(text.substr(parsed.entries[2].begin), "C=3");
  EXPECT_EQ(parsed.entries[2].end, text.size());
}

TEST(EnvdNames, OnlyShellNamesAreValid) {
  for (const char *name : {"A", "_", "a_1", "PATH", "_9"})
    EXPECT_TRUE(envd_name_valid(name)) << name;
  for (const char *name : {"", "1A", "A-B", "A B", "A=B", "A.B", "\xC3\x89T\xC3\x89", "A\n"})
    EXPECT_FALSE(envd_name_valid(name)) << name;
}

TEST(EnvdUtf8, AcceptsWhatSystemdAccepts) {
  for (const char *text : {"", "ascii", "gr\xC3\xBC\xC3\x9F\x65", "\xE6\x9D\xB1", "\xF0\x9F\x9A\x80",
                           "\xF4\x8F\xBF\xBD", "\xEF\xB7\x8F", "\xEF\xB7\xB0", "\xEE\x80\x80"})
    EXPECT_TRUE(envd_utf8_valid(text)) << text;
}

TEST(EnvdUtf8, RefusesMalformedSequencesSurrogatesAndNoncharacters) {
  for (const char *text :
       {"\x80", "a\xC3", "\xC0\x80", "\xC1\xBF", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80",
        "\xF8\x88\x80\x80\x80", "\xFF", "\xE6\x9D", "\xEF\xB7\x90", "\xEF\xB7\xAF", "\xEF\xBF\xBE",
        "\xEF\xBF\xBF", "\xF0\x9F\xBF\xBE", "\xF4\x8F\xBF\xBF"})
    EXPECT_FALSE(envd_utf8_valid(text)) << testing::PrintToString(std::string(text));
}

TEST(EnvdWrite, ControlCharactersAreFound) {
  EXPECT_EQ(envd_unpassable_byte("plain \xC2\x85 text"), -1);
  EXPECT_EQ(envd_unpassable_byte("a\nb"), '\n');
  EXPECT_EQ(envd_unpassable_byte("\t"), '\t');
  EXPECT_EQ(envd_unpassable_byte("x\x7F"), 0x7F);
  EXPECT_EQ(envd_unpassable_byte("\x1B[0m"), 0x1B);
}

TEST(EnvdWrite, PlainValuesStayBareOthersAreDoubleQuoted) {
  EXPECT_EQ(envd_assignment("A", "one", false), "A=one\n");
  EXPECT_EQ(envd_assignment("A", "/usr/x-y_z.1:a,b+c=d@e%f^g~h{i}", false),
            "A=/usr/x-y_z.1:a,b+c=d@e%f^g~h{i}\n");
  EXPECT_EQ(envd_assignment("A", "gr\xC3\xBC\xC3\x9F\x65", false), "A=gr\xC3\xBC\xC3\x9F\x65\n");
  EXPECT_EQ(envd_assignment("A", "two words", false), "A=\"two words\"\n");
  EXPECT_EQ(envd_assignment("A", "  x  ", false), "A=\"  x  \"\n");
  EXPECT_EQ(envd_assignment("A", R"(say "hi" \ `x` it's #;)", false), R"(A="say \"hi\" \\ \`x\` it's #;")"
                                                                      "\n");
}

TEST(EnvdWrite, DollarsThatBeginNoReferenceAreDoubled) {
  EXPECT_EQ(envd_assignment("A", "$HOME/x${HOME}y$_z", false), "A=$HOME/x${HOME}y$_z\n");
  EXPECT_EQ(envd_assignment("A", "$5", false), "A=$$5\n");
  EXPECT_EQ(envd_assignment("A", "a$", false), "A=a$$\n");
  EXPECT_EQ(envd_assignment("A", "$$", false), "A=$$$$\n");
  EXPECT_EQ(envd_assignment("A", "$$HOME", false), "A=$$$HOME\n");
  EXPECT_EQ(envd_assignment("A", "${A:-x}", false), "A=$${A:-x}\n");
  EXPECT_EQ(envd_assignment("A", "${A", false), "A=$${A\n");
  EXPECT_EQ(envd_assignment("A", "${}", false), "A=$${}\n");
  EXPECT_EQ(envd_assignment("A", "$ x", false), "A=\"$$ x\"\n");
}

TEST(EnvdWrite, PathExtendsTheInheritedPathUnderItsOwnName) {
  EXPECT_EQ(envd_assignment("path", "/a:/b", true), "PATH=${PATH}:/a:/b\n");
  EXPECT_EQ(envd_assignment("Path", "/my dir", true), "PATH=\"${PATH}:/my dir\"\n");
  EXPECT_EQ(envd_assignment("PATH", "/$5", true), "PATH=${PATH}:/$$5\n");
}

TEST(EnvdWrite, OwnValuesReadBackAsWritten) {
  for (const char *value : {"one", "$5", "a$", "$$", "$$$", "$$HOME", "${A:-x}", "$HOME/x", "x$$y$"}) {
    for (bool is_path : {false, true}) {
      envd_text parsed;
      envd_parse(envd_assignment("PATH", value, is_path), parsed);
      ASSERT_EQ(parsed.entries.size(), 1u);
      EXPECT_EQ(envd_own_value(parsed.entries[0].value, is_path), value) << value;
    }
  }
  EXPECT_EQ(envd_own_value("${PATH}:/a", false), "${PATH}:/a");
  EXPECT_EQ(envd_own_value("/plain", true), "/plain");
}

// systemd compares names byte for byte, and so does the splice.
TEST(EnvdSplice, ReplacesTheFirstExactMatchInPlace) {
  EXPECT_EQ(splice_set("# mine\nA=1\nFoo=2\nB=3\nFoo=4\nfoo=5\n", "Foo", "new"),
            "# mine\nA=1\nFoo=new\nB=3\nfoo=5\n");
  EXPECT_EQ(splice_set("  Foo=\"multi\nline\" \nB=3", "Foo", "x"), "Foo=x\nB=3");
}

TEST(EnvdSplice, AppendsUnderTheNameAsPassed) {
  EXPECT_EQ(splice_set("", "Foo", "1"), "Foo=1\n");
  EXPECT_EQ(splice_set("A=1\n", "Foo", "1"), "A=1\nFoo=1\n");
  EXPECT_EQ(splice_set("A=1", "Foo", "1"), "A=1\nFoo=1\n");
}

TEST(EnvdSplice, AppendingNeverJoinsAnUnfinishedLastLine) {
  EXPECT_EQ(splice_set("# c", "B", "1"), "# c\nB=1\n");
  EXPECT_EQ(splice_set("# c \\", "B", "1"), "# c \\\n\nB=1\n");
  EXPECT_EQ(splice_set("A=x\\", "B", "1"), "A=x\\\n\nB=1\n");
  EXPECT_EQ(splice_set("A=\"open", "B", "1"), "A=\"open\"\nB=1\n");
  EXPECT_EQ(splice_set("A='open", "B", "1"), "A='open'\nB=1\n");
  EXPECT_EQ(splice_set("A=\"open\\", "B", "1"), "A=\"open\\\n\"\nB=1\n");
  EXPECT_EQ(splice_set("junk", "B", "1"), "junk\nB=1\n");
  EXPECT_EQ(splice_set("A=", "B", "1"), "A=\nB=1\n");
  for (const char *text : {"# c \\", "A=x\\", "A=\"open", "A='open", "A=\"open\\", "A=x  "}) {
    pairs before = parse(text);
    before.emplace_back("B", "1");
    EXPECT_EQ(parse(splice_set(text, "B", "1")), before) << text;
  }
}

TEST(EnvdSplice, RemovingOnlyTakesTheNamesLines) {
  std::string text = "# keep\nA=1\nA=\"2\nstill a\"\n\nB=3\na=4";
  EXPECT_EQ(envd_splice(text, "A", std::nullopt, false), "# keep\n\nB=3\na=4");
  EXPECT_EQ(envd_splice(text, "C", std::nullopt, false), text);
}

TEST(EnvdSplice, DamagedTextIsRepaired) {
  // After a NUL byte systemd would ignore the whole file; values that are not UTF-8 make
  // systemd 252's generator abort.
  EXPECT_EQ(splice_set(std::string("A=1\n\0\0\0", 7), "B", "2"), "A=1\nB=2\n");
  EXPECT_EQ(splice_set("A=\xFF\nC=3\n", "B", "2"), "C=3\nB=2\n");
}
