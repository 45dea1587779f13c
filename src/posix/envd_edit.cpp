// Rewriting the library's own environment.d file. Only the assignments of the one name
// change; comments, blank lines and other assignments (a user may have edited the file by
// hand) are copied byte for byte.
#if !defined(_WIN32) && !defined(KENV_WIN_SIM)

#include "core/names.h"
#include "posix/posix.h"

namespace {

// Assignments that go whenever the file is rewritten: those of the name, and those whose
// value is not UTF-8. systemd 252's generator aborts on the latter, and the session then
// receives nothing from environment.d at all.
bool drops(const envd_entry &e, std::string_view name) {
  if (env_name_eq(e.name, name))
    return true;
  return e.has_value && envd_name_valid(e.name) && !envd_utf8_valid(e.value);
}

} // namespace

std::string envd_splice(std::string_view text, std::string_view name, std::optional<std::string_view> value,
                        bool is_path) {
  // systemd ignores a file holding a NUL byte. Such bytes come from damage (a crash can
  // leave blocks of zeros at the end), so the text is cut there to make the file count again.
  text = text.substr(0, text.find('\0'));
  envd_text parsed;
  envd_parse(text, parsed);
  std::string out;
  out.reserve(text.size() + (value ? value->size() + name.size() + 16 : 0));
  std::size_t copied = 0;
  bool placed = false;
  for (const envd_entry &e : parsed.entries) {
    if (!drops(e, name))
      continue;
    out.append(text.substr(copied, e.begin - copied));
    if (value && !placed && env_name_eq(e.name, name)) {
      out.append(envd_assignment(e.name, *value, is_path));
      placed = true;
    }
    copied = e.end;
  }
  // Each assignment begins where the parser is between lines, so cutting one out never
  // changes how the rest is read; only the end of the text needs closing before appending.
  // When an assignment that ran to the end was cut, the text now ends between lines.
  bool tail_cut = copied == text.size();
  out.append(text.substr(copied));
  if (value && !placed) {
    out.append(envd_terminator(tail_cut ? envd_state::pre_key : parsed.end_state));
    out.append(envd_assignment(name, *value, is_path));
  }
  return out;
}

#endif
