#include "listing.h"

#include "library.h"

#include <cstdlib>
#include <memory>
#include <yyjson.h>

namespace {

struct DocFree {
  void operator()(yyjson_doc *doc) const { yyjson_doc_free(doc); }
};
using Doc = std::unique_ptr<yyjson_doc, DocFree>;

[[noreturn]] void bad(const std::string &what) {
  throw LibraryError("unexpected document from the library: " + what);
}

// Values are bytes, not always UTF-8, and the library passes them through unchanged.
Doc read_doc(const std::string &json) {
  Doc doc(yyjson_read(json.data(), json.size(), YYJSON_READ_ALLOW_INVALID_UNICODE));
  if (!doc)
    bad("not JSON");
  return doc;
}

std::string str(yyjson_val *obj, const char *key) {
  yyjson_val *v = yyjson_obj_get(obj, key);
  if (!yyjson_is_str(v))
    bad(std::string("no text '") + key + "'");
  return std::string(yyjson_get_str(v), yyjson_get_len(v));
}

std::optional<std::string> opt_str(yyjson_val *obj, const char *key) {
  yyjson_val *v = yyjson_obj_get(obj, key);
  if (!yyjson_is_str(v))
    return std::nullopt;
  return std::string(yyjson_get_str(v), yyjson_get_len(v));
}

long long integer(yyjson_val *obj, const char *key) {
  yyjson_val *v = yyjson_obj_get(obj, key);
  if (!yyjson_is_int(v))
    bad(std::string("no integer '") + key + "'");
  return static_cast<long long>(yyjson_get_sint(v));
}

yyjson_val *array(yyjson_val *obj, const char *key) {
  yyjson_val *v = yyjson_obj_get(obj, key);
  if (!yyjson_is_arr(v))
    bad(std::string("no array '") + key + "'");
  return v;
}

Variable read_variable(yyjson_val *o) {
  return {str(o, "name"), str(o, "value"), str(o, "expanded"), str(o, "source")};
}

PathEntry read_entry(yyjson_val *o) {
  PathEntry e{str(o, "entry"),  integer(o, "exists") != 0,         integer(o, "dup") != 0,
              str(o, "source"), opt_str(o, "origin").value_or(""), true};
  if (yyjson_is_int(yyjson_obj_get(o, "editable")))
    e.editable = integer(o, "editable") != 0;
  else
    e.editable = e.source.rfind("rc:", 0) != 0;
  return e;
}

SessionVariable read_session(yyjson_val *o) {
  return {str(o, "name"), str(o, "value"), str(o, "file"), opt_str(o, "shell"), integer(o, "differs") != 0};
}

Warning read_warning(yyjson_val *o) {
  Warning w;
  w.code = str(o, "code");
  w.entry = opt_str(o, "entry");
  w.name = opt_str(o, "name");
  if (yyjson_is_int(yyjson_obj_get(o, "length")))
    w.length = integer(o, "length");
  w.message = str(o, "message");
  return w;
}

template <class T, class Read> std::vector<T> read_objects(yyjson_val *arr, Read read) {
  std::vector<T> out;
  std::size_t idx, max;
  yyjson_val *item;
  yyjson_arr_foreach(arr, idx, max, item) {
    if (!yyjson_is_obj(item))
      bad("array element is not an object");
    out.push_back(read(item));
  }
  return out;
}

std::vector<std::string> read_strings(yyjson_val *arr) {
  std::vector<std::string> out;
  std::size_t idx, max;
  yyjson_val *item;
  yyjson_arr_foreach(arr, idx, max, item) {
    if (yyjson_is_str(item))
      out.emplace_back(yyjson_get_str(item), yyjson_get_len(item));
  }
  return out;
}

RcSource read_rc(yyjson_val *o) {
  return {opt_str(o, "file").value_or(""), integer(o, "written") != 0};
}

Backup read_backup(yyjson_val *o) {
  return {str(o, "file"), str(o, "path"), opt_str(o, "ts"), opt_str(o, "scope"), integer(o, "vars")};
}

bool same_name_ignoring_case(const std::string &a, const std::string &b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
    char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] + 32) : b[i];
    if (x != y)
      return false;
  }
  return true;
}

} // namespace

Listing parse_listing(const std::string &json) {
  Doc doc = read_doc(json);
  yyjson_val *root = yyjson_doc_get_root(doc.get());
  if (!yyjson_is_obj(root))
    bad("listing is not an object");
  Listing l;
  l.scope = str(root, "scope");
  l.platform = opt_str(root, "platform").value_or("");
  l.path_sep = str(root, "path_sep");
  l.write_policy = opt_str(root, "write_policy").value_or("");
  l.export_file = opt_str(root, "export_file");
  l.vars = read_objects<Variable>(array(root, "vars"), read_variable);
  l.path = read_objects<PathEntry>(array(root, "path"), read_entry);
  l.warnings = read_objects<Warning>(array(root, "warnings"), read_warning);
  l.protected_delete = read_strings(array(root, "protected_delete"));
  l.rc_sources = read_objects<RcSource>(array(root, "rc_sources"), read_rc);
  if (yyjson_is_arr(yyjson_obj_get(root, "session")))
    l.session = read_objects<SessionVariable>(array(root, "session"), read_session);
  l.records = opt_str(root, "records");
  if (yyjson_is_arr(yyjson_obj_get(root, "store_order")))
    l.store_order = read_strings(array(root, "store_order"));
  return l;
}

std::vector<Backup> parse_backups(const std::string &json) {
  Doc doc = read_doc(json);
  yyjson_val *root = yyjson_doc_get_root(doc.get());
  if (!yyjson_is_arr(root))
    bad("backup list is not an array");
  return read_objects<Backup>(root, read_backup);
}

const Variable *find_variable(const Listing &listing, const std::string &name) {
  for (const Variable &v : listing.vars)
    if (v.name == name)
      return &v;
  for (const Variable &v : listing.vars)
    if (same_name_ignoring_case(v.name, name))
      return &v;
  return nullptr;
}
