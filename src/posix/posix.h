// Private header of the POSIX backend: the environment.d syntax (envd_file.cpp), the places
// of the files it reads and writes (env_posix.cpp), and the rewriting of the library's own
// environment.d file (envd_edit.cpp). Nothing here is seen by the core.
#pragma once

#include "core/kv_table.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Where systemd's env-file parser stands after a text. The names follow the states of
// systemd's parser one to one, so that a reader can compare the two.
enum class envd_state {
  pre_key,
  key,
  pre_value,
  value,
  value_escape,
  single_quote,
  double_quote,
  double_quote_escape,
  comment,
  comment_escape,
};

// One assignment as systemd's parser delivers it, with the span of the file it came from.
// systemd ignores an assignment whose value has no bytes at all (`NAME=`, `NAME=""`): such
// an entry has has_value false and an empty value.
struct envd_entry {
  std::string name;
  std::string value;
  bool has_value = false;
  std::size_t begin = 0; // start of the line on which the assignment starts
  std::size_t end = 0;   // just past the newline that ends it, or the end of the text
};

struct envd_text {
  std::vector<envd_entry> entries;
  envd_state end_state = envd_state::pre_key;
};

// Parses the text as systemd's env-file parser does. A text that holds a NUL byte yields no
// entries: systemd refuses such a file whole.
void envd_parse(std::string_view text, envd_text &out);

// Receives the entries of a text one by one, each as soon as the parser completes it.
class envd_sink {
public:
  virtual void take(envd_entry &entry) = 0; // may move from the entry
protected:
  ~envd_sink() = default;
};
// envd_parse without the list, for a reader that needs each entry only once; returns the
// state the text ends in.
envd_state envd_parse(std::string_view text, envd_sink &sink);

// Whether systemd takes the assignment: it has a value and a valid name, and no value before
// it in its file was cut short by bytes that are not UTF-8. Such a value ends the reading of
// the file, which `stopped` then records.
bool envd_takes(const envd_entry &e, bool &stopped);
// The number of lines of a text, counting a last one without a newline.
std::size_t envd_lines(std::string_view text);

// The native view of a scope's environment.d directory as it is gathered: its variables in
// systemd's merge and, when `expanded` is given, beside each its value as the session
// expanded it.
struct envd_merger {
  env_kv_list &out;
  const char *source;
  std::vector<std::optional<std::string>> *expanded = nullptr;
  env_kv_table index{false};
};
// Makes room for this many more assignments.
void envd_merge_reserve(envd_merger &m, std::size_t lines);
// One assignment that systemd takes (see envd_takes) from a file of the directory, `own` for
// the library's own file, whose values are read back as the store holds them; `expanded` is
// what the session made of it. PATH lines of other files are left out.
void envd_merge(envd_merger &m, envd_entry &e, bool own, std::optional<std::string> expanded);
// The *.conf files of the scope's directory for its native view, and the directory. A
// missing directory holds none, and so does an unreadable one in the system scope; -1 with
// the message recorded when the user's cannot be read or located.
int envd_native_names(int scope, std::string &dir, std::vector<std::string> &names);
// The "source" of the scope's native variables: "envd-user" or "envd-system".
const char *envd_native_source(int scope);

// `[A-Za-z_][A-Za-z0-9_]*`: the names systemd accepts.
bool envd_name_valid(std::string_view name);
// UTF-8 as systemd checks it: no overlong forms, no surrogates, nothing above U+10FFFF and
// no noncharacters.
bool envd_utf8_valid(std::string_view text);
// The first byte of a value that systemd's generator cannot pass on unchanged (a control
// character), or -1 when there is none.
int envd_unpassable_byte(std::string_view value);

// The whole line, newline included, that makes systemd read `value` for `name`, with `$`
// references left to expand. For PATH the line extends the inherited PATH.
std::string envd_assignment(std::string_view name, std::string_view value, bool is_path);
// What a name stands for while a session's environment is built: the value assigned so far,
// else the one the session inherits; nullopt when it has none.
using envd_lookup = std::function<std::optional<std::string_view>(std::string_view name)>;
// The value with its references expanded as systemd's environment.d generator expands them
// (envd_expand.cpp). `depth` counts the nested words being expanded.
std::string envd_expand(std::string_view value, const envd_lookup &get, int depth = 0);
// Undoes the library's own encoding of a value read from its own file.
std::string envd_own_value(std::string_view value, bool is_path);
// What to append to a text that ends in `state` so that the next line starts afresh
// without changing any value before it.
std::string_view envd_terminator(envd_state state);

// The text of the library's own file with every assignment of `name` (byte for byte, as
// systemd compares names) removed. With a value, the first of them is replaced by the
// assignment of the value, or the assignment is appended when there was none.
std::string envd_splice(std::string_view text, std::string_view name, std::optional<std::string_view> value,
                        bool is_path);

// A series of splices on one text, each with exactly the effect envd_splice has on the text
// the previous one left, without reading the whole text again for each: the assignments are
// kept by name, so a change costs what its own lines cost.
class envd_editor {
public:
  explicit envd_editor(std::string_view text);
  void apply(std::string_view name, std::optional<std::string_view> value, bool is_path);
  // Puts the assignments of the named variables in the order of `names`, each in a place
  // one of them had, so that every other line stays where it is. A text that ends inside a
  // line is left in its order.
  void order(const std::vector<std::string> &names);
  std::string text() const;

private:
  static constexpr std::size_t none = std::string::npos;
  // A stretch of the text: one assignment, or what lies between two.
  struct piece {
    std::size_t begin = 0; // where it lies in the text as read
    std::size_t end = 0;
    bool rewritten = false; // its bytes are `written` instead
    std::string written;
    std::string name; // the assignment's name as read; "" between assignments
    bool assignment = false;
    bool live = true;
    bool unreadable = false; // a value systemd's generator aborts on (see envd_splice)
    std::size_t next = none; // the next assignment whose name matches this one's
  };
  std::string read_; // the text as read
  std::vector<piece> pieces_;
  std::unordered_map<std::string, std::size_t> first_; // name -> first assignment
  std::vector<std::size_t> unreadable_;                // assignments with such a value
  std::size_t tail_ = none;                            // the piece that ends the text as read
  envd_state end_state_ = envd_state::pre_key;
  bool reread_ = false; // a line written did not read back as one assignment of its name

  void load(std::string text);
  void add_piece(std::size_t begin, std::size_t end, const envd_entry *entry);
  std::string_view bytes(const piece &p) const;
  void remove(std::size_t i);
  void write_line(std::size_t i, std::string line, const std::string &key);
  void append(std::string_view name, std::string_view value, bool is_path, const std::string &key);
  std::string take_line_start(piece &p) const;
};

// The scope's own file (2 = system) as a change reads and writes it, and its directory: in
// the user scope a symbolic link in place of it is followed to its final target, which is
// then replaced beside itself; in the system scope a link is refused, and so is anything
// else than a regular file. -1 with the message recorded (envd_own.cpp).
int envd_resolve_own(int scope, std::string &dir, std::string &path);
// Reads one environment.d file (false when it cannot be read or is not a regular file); a
// file read once in a call is not read again in it, unless the call wrote one since.
bool envd_read_conf(const std::string &path, std::string &text);
// The file name of the scope's own file in its environment.d directory.
const char *envd_own_name(int scope);
// The names of the directory's *.conf files in byte order, as systemd picks them: hidden
// names are skipped, and so are entries known not to be files or links. 0 or an errno.
int envd_conf_files(const std::string &dir, std::vector<std::string> &names);
// The directories of environment.d files that systemd ships and reads after the system's
// own, in its order (/run, /usr/local/lib, /usr/lib).
std::vector<std::string> envd_vendor_dirs();
// envd_dir, the own file's name and envd_resolve_own in one (envd_store.cpp).
int envd_own_path(int scope, std::string &dir, std::string &path);
// Whether this process may replace the scope's own file; -1 with the message recorded
// ("... root required for system scope") when it may not (envd_store.cpp).
int envd_may_replace_own(int scope);
// False for the system scope's own file when a link stands in its place: it is never read
// through one.
bool envd_may_read_own(int scope, const std::string &path);

// HOME when it is set and not empty, else nullptr.
const char *posix_home();
// The environment.d directory of a scope (2 = system). -1 with the message recorded.
int envd_dir(int scope, std::string &out);
