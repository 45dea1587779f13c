#include "state_round_trip.h"

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *target, const std::string &what, const std::string &written) {
  std::fprintf(stderr, "%s: %s\n--- written:\n%s\n---\n", target, what.c_str(), written.c_str());
  std::abort();
}

// The first member in which the documents differ, or nullptr.
const char *difference(const ScopeState &a, const ScopeState &b) {
  if (a.scope != b.scope)
    return "the scope";
  if (a.vars != b.vars)
    return "the variables";
  if (a.path != b.path)
    return "the PATH entries";
  if (a.absent != b.absent)
    return "the absent names";
  return nullptr;
}

void check_same_again(const char *target, const ScopeState &doc, StateFormat format) {
  const std::string written = write_state(doc, format);
  ScopeState again;
  try {
    again = parse_state(written);
  } catch (const DocumentError &e) {
    fail(target, std::string("the written document is refused: ") + e.what(), written);
  }
  if (const char *what = difference(doc, again))
    fail(target, std::string(what) + " read back differ from the document written", written);
  if (write_state(again, format) != written)
    fail(target, "writing the document read back gives another text", written);
}

} // namespace

bool reads_as_json(const std::string &text) {
  std::size_t first = text.find_first_not_of(" \t\r\n");
  return first != std::string::npos && (text[first] == '{' || text[first] == '[');
}

void check_state_round_trip(const char *target, const std::string &text,
                            std::initializer_list<StateFormat> formats) {
  ScopeState doc;
  try {
    doc = parse_state(text);
  } catch (const DocumentError &) {
    return;
  }
  for (StateFormat format : formats)
    check_same_again(target, doc, format);
}
