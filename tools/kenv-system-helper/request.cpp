#include "request.h"

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

} // namespace

std::optional<std::int32_t> request_index(const std::string &text) {
  std::int32_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size())
    return std::nullopt;
  return value;
}

namespace {

std::vector<std::string> split_fields(const std::string &text) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1)
    fields.push_back(text.substr(start, end - start));
  return fields;
}

} // namespace

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
  if (shape->second.indexed && !request_index(fields[2]))
    return std::nullopt;
  return SystemRequest{fields.front(), {fields.begin() + 1, fields.end()}};
}

std::optional<std::string> why_not_carried(const SystemRequest &request) {
  std::size_t size = request.operation.size() + 1;
  for (const std::string &arg : request.args) {
    if (arg.find('\0') != std::string::npos)
      return "the change holds a NUL byte, which kenv-system-helper cannot be given";
    size += arg.size() + 1;
  }
  if (size > max_request_size)
    return "the change is larger than the " + std::to_string(max_request_size >> 20) +
           " MiB kenv-system-helper reads (" + std::to_string(size) + " bytes)";
  return std::nullopt;
}
