// The project's yyjson stand-in, which the Windows builds under wine read and write every
// document with, against yyjson itself: each document read and written back by both comes
// out byte for byte the same, and what yyjson refuses the stand-in refuses too.
#include <yyjson.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

namespace {

std::string standin_echo(const std::string &doc, const char *indent) {
  std::string file = ::testing::TempDir() + "/standin-doc.json";
  std::ofstream(file, std::ios::binary) << doc;
  std::string command = std::string(KENV_STANDIN_ECHO) + " " + indent + " <" + file;
  std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen(command.c_str(), "r"), pclose);
  std::string out;
  char buf[4096];
  for (std::size_t n; pipe && (n = std::fread(buf, 1, sizeof buf, pipe.get())) > 0;)
    out.append(buf, n);
  return out;
}

std::string yyjson_echo(const std::string &doc, yyjson_write_flag indent) {
  std::string text = doc;
  yyjson_doc *read =
      yyjson_read_opts(text.data(), text.size(), YYJSON_READ_ALLOW_INVALID_UNICODE, nullptr, nullptr);
  if (!read)
    return "invalid";
  std::size_t len = 0;
  char *out = yyjson_write(read, indent | YYJSON_WRITE_ALLOW_INVALID_UNICODE, &len);
  std::string written(out, len);
  std::free(out);
  yyjson_doc_free(read);
  return written;
}

const char *const documents[] = {
    R"({"scope":"user","vars":[{"name":"PATH","value":"C:\\bin;%USERPROFILE%\\go"}],"n":-42,"big":18446744073709551615})",
    R"({"a":{},"b":[],"c":[[],{}],"t":true,"f":false,"z":null})",
    "{\"esc\":\"\\\"\\\\\\/\\b\\f\\n\\r\\t\\u0001\\u001f\\u007f\",\"u\":\"\\u00e9\\u65e5\\ud83d\\ude00\"}",
    "{\"raw\":\"caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x98\x80\",\"bad\":\"\xff\xfe\"}",
    "  [ 1 ,\n2 ,\t\"x\" ]  ",
    "{",
    "[1,]",
    "[01]",
    "[-]",
    "{\"k\\u0041\":[{\"x\":[[[]]]}]}",
    "{\"a\" 1}",
    "\"open",
    "tru",
    "[1] x",
    "{\"a\":1,}",
    "\"tab\there\"",
};

} // namespace

TEST(YyjsonStandin, ReadsAndWritesEveryDocumentAsYyjsonDoes) {
  for (const char *doc : documents) {
    EXPECT_EQ(standin_echo(doc, "0"), yyjson_echo(doc, 0)) << doc;
    EXPECT_EQ(standin_echo(doc, "4"), yyjson_echo(doc, YYJSON_WRITE_PRETTY)) << doc;
    EXPECT_EQ(standin_echo(doc, "2"), yyjson_echo(doc, YYJSON_WRITE_PRETTY_TWO_SPACES)) << doc;
  }
}
