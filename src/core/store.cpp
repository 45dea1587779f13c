// The store: one JSON file per scope holding the variables set through the library.
#include "core/state.h"

#include "core/file_ops.h"
#include "core/files.h"
#include "core/frame.h"
#include "core/json.h"
#include "platform/env_plat.h"

#include <cerrno>
#include <cstring>

namespace {

// Why a file that is there cannot be read, or "" when it can (or is missing); `text` holds
// it then.
std::string read_problem(const std::string &path, std::string &text, std::size_t spare, bool follow_links) {
  if (!follow_links && env_plat_file_kind(path) == env_file_kind::link)
    return "a symbolic link, which the system scope never follows";
  errno = 0;
  int rc = env_read_file(path.c_str(), text, spare);
  if (rc == env_not_regular)
    return "not a regular file";
  if (rc != 0)
    return errno == ENOENT ? std::string() : std::strerror(errno ? errno : EIO);
  return std::string();
}

constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";

std::string_view without_mark(std::string_view text) {
  if (text.substr(0, byte_order_mark.size()) == byte_order_mark)
    text.remove_prefix(byte_order_mark.size());
  return text;
}

store_skipped skipped_record(std::size_t at, yyjson_val *record) {
  std::string number = std::to_string(at + 1);
  if (!yyjson_is_obj(record))
    return {"", "store record " + number + " is not an object; it is ignored"};
  yyjson_val *name = env_json_member(record, "name");
  if (!yyjson_is_str(name))
    return {"", "store record " + number + " has no name; it is ignored"};
  return {yyjson_get_str(name),
          "store record " + number + " has a value that is not a string; it is ignored"};
}

// A store that could not be used is kept beside it, under a name never reused, before a
// restore replaces it: its variables may be worth recovering by hand. A second name for the
// same file keeps it whole even when it cannot be read; where that is impossible a copy of
// its bytes is written. The name taken is left in `kept_as`.
int keep_unreadable(const std::string &path, const store_file &old, std::string &kept_as) {
  std::string base = path + ".unreadable-" + env_format_utc(env_now(), "%Y%m%d-%H%M%S");
  kept_as = base;
  for (int n = 2; n < 10000; ++n) {
    if (env_file_sys.link(path.c_str(), kept_as.c_str()) == 0)
      return 0;
    int rc = errno == EEXIST ? 1 : env_write_file_new(kept_as.c_str(), old.bytes);
    if (rc == 0 && !old.bytes.empty())
      return 0;
    if (rc < 0 || rc == 0)
      break;
    kept_as = base + "-" + std::to_string(n);
  }
  kept_as.clear();
  env_set_error("cannot keep a copy of unreadable store %s", path.c_str());
  return -1;
}

int write_failed(const std::string &path) {
  env_set_error("failed to write store %s", path.c_str());
  return -1;
}

} // namespace

std::string store_text(const env_kv_list &vars, const std::optional<std::string> &records) {
  yy_mut_doc doc = env_json_new_doc();
  yyjson_mut_val *root = yy_must(yyjson_mut_obj(doc.get()));
  yy_must(yyjson_mut_obj_add_val(doc.get(), root, "vars", env_json_vars_array(doc.get(), vars)));
  if (records)
    yy_must(yyjson_mut_obj_add_strncpy(doc.get(), root, "records", records->data(), records->size()));
  yyjson_mut_doc_set_root(doc.get(), root);
  std::size_t len = 0;
  yy_text text = env_json_write(doc.get(), env_json_file_flags, &len);
  return text ? std::string(text.get(), len) : std::string();
}

std::optional<std::string> store_records_of(yyjson_val *root) {
  yyjson_val *records = env_json_member(root, "records");
  if (!yyjson_is_str(records))
    return std::nullopt;
  return std::string(yyjson_get_str(records), yyjson_get_len(records));
}

bool store_parse(std::string_view text, env_kv_list &out, std::optional<std::string> *records) {
  out.clear();
  yy_doc doc = env_json_read(without_mark(text));
  if (!doc)
    return false;
  yyjson_val *vars = env_json_member(yyjson_doc_get_root(doc.get()), "vars");
  if (!yyjson_is_arr(vars))
    return false;
  env_json_take_vars(vars, "overlay", out);
  if (records)
    *records = store_records_of(yyjson_doc_get_root(doc.get()));
  return true;
}

void store_read(const std::string &path, store_file &out) {
  out = store_file();
  out.problem = read_problem(path, out.bytes, 0, true);
  out.exists = !out.bytes.empty() || !out.problem.empty() || env_file_exists(path.c_str());
  // An empty file holds nothing to lose: it is an empty store.
  if (out.problem.empty() && !out.bytes.empty() && !store_parse(out.bytes, out.vars, &out.records)) {
    out.vars.clear();
    out.problem = "not a store document";
  }
}

std::string store_each(const std::string &path, bool follow_links,
                       const std::function<void(const char *, const char *)> &take,
                       std::vector<store_skipped> *skipped, std::optional<std::string> *records) {
  std::string text;
  std::string problem = read_problem(path, text, YYJSON_PADDING_SIZE, follow_links);
  if (!problem.empty() || text.empty())
    return problem;
  if (without_mark(text).size() != text.size())
    text.erase(0, byte_order_mark.size());
  // The text is not kept, so it is parsed in place.
  yy_doc doc = env_json_read_in_place(text);
  yyjson_val *vars = doc ? env_json_member(yyjson_doc_get_root(doc.get()), "vars") : nullptr;
  if (!yyjson_is_arr(vars))
    return "not a store document";
  if (records)
    *records = store_records_of(yyjson_doc_get_root(doc.get()));
  if (!skipped) {
    env_json_each_var(vars, take);
    return std::string();
  }
  env_json_each_var(vars, take, [&](std::size_t at, yyjson_val *record) {
    skipped->push_back(skipped_record(at, record));
  });
  return std::string();
}

void store_put(env_kv_list &vars, const char *name, const char *value) {
  if (env_kv *kv = env_kv_find(vars, name))
    kv->value = value ? value : "";
  else
    env_kv_push(vars, name, value, "overlay");
}

int store_write(const env_layout &files, const std::string &text, store_file &before) {
  if (text.empty()) {
    env_set_error("failed to serialize store");
    return -1;
  }
  if (env_mkdir_p(files.data_dir.c_str(), files.dir_mode) != 0)
    return write_failed(files.store);
  if (!before.problem.empty() && before.exists && keep_unreadable(files.store, before, before.kept_as) != 0)
    return -1;
  if (env_write_file(files.store.c_str(), text, files.file_mode) != 0)
    return write_failed(files.store);
  return 0;
}

int store_put_back(const env_layout &files, const store_file &before) {
  bool back = false;
  if (!before.kept_as.empty())
    back = env_file_sys.rename(before.kept_as.c_str(), files.store.c_str()) == 0;
  else if (before.exists)
    back = env_write_file(files.store.c_str(), before.bytes, files.file_mode) == 0;
  else
    back = env_file_sys.unlink(files.store.c_str()) == 0 || errno == ENOENT;
  if (back)
    return 0;
  env_set_error("cannot put store %s back as it was", files.store.c_str());
  return -1;
}
