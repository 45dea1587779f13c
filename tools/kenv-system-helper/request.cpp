#include "request.h"

#include "library.h"
#include "profiles.h"
#include "switches.h"
#include "window_sets.h"

#include <charconv>
#include <cstdint>
#include <map>

namespace {

// The number of arguments of each operation (the least, when more may follow), and whether
// its second argument is an index.
struct Shape {
  std::size_t args;
  bool indexed;
  bool more = false;
};

const std::map<std::string, Shape> &shapes() {
  static const std::map<std::string, Shape> table{{"set", {2, false}},
                                                  {"unset", {1, false}},
                                                  {"path-add", {2, true}},
                                                  {"path-rm", {1, false}},
                                                  {"path-mv", {2, true}},
                                                  {"path-on", {1, false}},
                                                  {"path-off", {1, false}},
                                                  {"profile-on", {1, false}},
                                                  {"profile-off", {1, false}},
                                                  {"profile-new", {1, false, true}},
                                                  {"profile-import", {2, false}},
                                                  {"profile-rm", {1, false}},
                                                  {"apply", {2, false}}};
  return table;
}

std::optional<std::int32_t> parse_index(const std::string &text) {
  std::int32_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size())
    return std::nullopt;
  return value;
}

std::vector<std::string> split_fields(const std::string &text) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1)
    fields.push_back(text.substr(start, end - start));
  return fields;
}

} // namespace

std::string applied_lines(const std::vector<Change> &changes) {
  std::string lines;
  for (const Change &c : changes)
    lines += diff_line(c) + '\n';
  return lines;
}

std::string encode_request(const SystemRequest &request) {
  std::string text = request.operation + '\0';
  for (const std::string &arg : request.args)
    text += arg + '\0';
  return text;
}

std::optional<SystemRequest> decode_request(const std::string &text) {
  if (text.empty() || text.back() != '\0')
    return std::nullopt;
  std::vector<std::string> fields = split_fields(text);
  auto shape = shapes().find(fields.front());
  if (shape == shapes().end() || fields.size() < shape->second.args + 1 ||
      (!shape->second.more && fields.size() != shape->second.args + 1))
    return std::nullopt;
  if (shape->second.indexed && !parse_index(fields[2]))
    return std::nullopt;
  return SystemRequest{fields.front(), {fields.begin() + 1, fields.end()}};
}

namespace {

// The changes of the window's other pages: PATH switches and profiles.
std::optional<std::string> run_set_request(const std::string &scope, const SystemRequest &r) {
  if (r.operation == "path-on")
    return switch_entry_on(scope, r.args[0]) ? std::string() : std::string(path_on_present);
  if (r.operation == "path-off") {
    switch_entry_off(scope, r.args[0]);
    return std::string();
  }
  if (r.operation == "profile-on" || r.operation == "profile-off")
    return switch_profile(scope, r.args[0], r.operation == "profile-on");
  if (r.operation == "profile-new") {
    new_profile(scope, r.args[0], {r.args.begin() + 1, r.args.end()});
    return std::string();
  }
  if (r.operation == "profile-import") {
    import_profile(scope, r.args[0], r.args[1]);
    return std::string();
  }
  if (r.operation == "apply") {
    ApplyPlan plan = plan_apply(r.args[0], scope);
    if (plan.now.scope != scope || applied_lines(plan.changes) != r.args[1])
      throw LibraryError("the system scope or " + r.args[0] +
                         " changed since the changes were shown; nothing was changed");
    return carry_out(plan);
  }
  if (r.operation == "profile-rm") {
    remove_profile(scope, r.args[0]);
    return std::string();
  }
  return std::nullopt;
}

} // namespace

std::string run_request(const SystemRequest &r) {
  const std::string scope = "system";
  if (auto note = run_set_request(scope, r))
    return *note;
  if (r.operation == "set") {
    lib_set(scope, r.args[0], r.args[1]);
    return {};
  }
  if (r.operation == "unset") {
    lib_del(scope, r.args[0]);
    return {};
  }
  if (r.operation == "path-rm")
    return lib_path_del(scope, r.args[0]);
  std::int32_t index = *parse_index(r.args[1]);
  return r.operation == "path-add" ? lib_path_add(scope, r.args[0], index)
                                   : lib_path_move(scope, r.args[0], index);
}
