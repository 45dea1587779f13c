// Values through the listing's expansion (expand_value, the style of POSIX sessions), against
// a plain reading of the rules: $NAME and ${NAME} are replaced by the first variable of that
// name or by nothing, names are at most 255 bytes, and everything that is no reference is
// copied. The input is the value, then NAME=VALUE lines for the variables.
#include "core/views.h"
#include "platform/env_plat.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t longest_name = 255;

bool name_start(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool name_char(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// The value of the first variable of that name, or "".
std::string lookup(const env_kv_list &vars, std::string_view name) {
  const env_kv *kv = env_kv_find(vars, std::string(name).c_str());
  return kv ? kv->value : "";
}

// Tries a reference at v[i]; appends its replacement and returns its length, or returns 0.
std::size_t expand_one(std::string_view v, std::size_t i, const env_kv_list &vars, std::string &out) {
  std::string_view rest = v.substr(i + 1);
  std::size_t name_len = 0, used = 0;
  if (!rest.empty() && rest[0] == '{') {
    name_len = rest.find('}');
    if (name_len == std::string_view::npos)
      return 0;
    rest.remove_prefix(1);
    name_len -= 1;
    used = name_len + 3;
    // Inside braces only a whole name is a reference.
    if (name_len == 0 || !name_start(rest[0]))
      return 0;
    for (std::size_t k = 0; k < name_len; ++k)
      if (!name_char(rest[k]))
        return 0;
  } else {
    if (rest.empty() || !name_start(rest[0]))
      return 0;
    while (name_len < rest.size() && name_char(rest[name_len]))
      ++name_len;
    used = name_len + 1;
  }
  if (name_len > longest_name)
    return 0;
  out += lookup(vars, rest.substr(0, name_len));
  return used;
}

std::string model(std::string_view v, const env_kv_list &vars) {
  std::string out;
  for (std::size_t i = 0; i < v.size();) {
    std::size_t used = v[i] == '$' ? expand_one(v, i, vars, out) : 0;
    if (used == 0)
      out += v[i++];
    else
      i += used;
  }
  return out;
}

// The text up to the first NUL: values are C strings.
std::string c_string(std::string_view s) {
  return std::string(s.substr(0, s.find('\0')));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char *>(data), size);
  std::size_t eol = input.find('\n');
  const std::string value = c_string(input.substr(0, eol));
  env_kv_list vars;
  while (eol != std::string_view::npos) {
    input.remove_prefix(eol + 1);
    eol = input.find('\n');
    std::string_view line = input.substr(0, eol);
    std::size_t eq = line.find('=');
    std::string name = c_string(line.substr(0, eq));
    std::string val = eq == std::string_view::npos ? "" : c_string(line.substr(eq + 1));
    env_kv_push(vars, name.c_str(), val.c_str(), "fuzz");
  }
  std::string got = expand_value(value, env_ref_style::dollar, [&](std::string_view name) {
    const env_kv *kv = env_kv_find(vars, std::string(name).c_str());
    return kv ? std::optional<std::string>(kv->value) : std::nullopt;
  });
  std::string want = model(value, vars);
  if (got != want) {
    std::fprintf(stderr, "expand_fuzzer: expanded to [%s], expected [%s]\n", got.c_str(), want.c_str());
    std::abort();
  }
  return 0;
}
