// kenv doctor: reads both scopes and reports what no other environment editor checks.
#include "args.h"
#include "commands.h"
#include "doctor.h"
#include "help.h"
#include "json_out.h"
#include "library.h"
#include "output.h"
#include "platform.h"

#include <iterator>

namespace {

std::string report(const Check &c, const Style &style) {
  std::string out;
  if (c.findings.empty())
    out = style.good("ok   ") + "  " + c.title + "\n";
  else
    out = style.warn("FOUND") + "  " + c.title + " (" + std::to_string(c.findings.size()) + ")\n";
  for (const std::string &f : c.findings)
    out += "         " + f + "\n";
  for (const std::string &n : c.notes)
    out += "         " + style.dim(n) + "\n";
  return out;
}

} // namespace

int cmd_doctor(const Words &argv) {
  Args args = parse_args("doctor", argv, {{"json"}, {}});
  if (args.help)
    return show_help("doctor");
  expect_words(args, 0, 0, "");
  Scopes scopes{parse_listing(lib_list("user")), parse_listing(lib_list("system"))};
  std::vector<Check> checks =
      doctor_checks(scopes, {unexpanded_value_names("user"), unexpanded_value_names("system")});
  Style style = stdout_style();
  std::size_t found = 0;
  std::string out;
  for (const Check &c : checks) {
    out += report(c, style);
    found += c.findings.size();
  }
  if (args.has("json")) {
    write_out(doctor_json(checks, found));
    return found == 0 ? 0 : 1;
  }
  // Appended piece by piece: "\n" + std::to_string(found) inserts in front of a temporary,
  // which GCC 12 in Release builds takes for an overlapping memcpy (a false -Wrestrict).
  if (found == 0) {
    out += "\nNothing found.\n";
  } else {
    out += '\n';
    out += std::to_string(found);
    out += found == 1 ? " finding.\n" : " findings.\n";
  }
  write_out(out);
  return found == 0 ? 0 : 1;
}
