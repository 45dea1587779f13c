// kenv export and kenv apply: a scope's state as one document, and making a scope hold
// what a document says as one change.
#include "args.h"
#include "commands.h"
#include "help.h"
#include "library.h"
#include "output.h"
#include "platform_rules.h"
#include "private_files.h"
#include "state.h"

#include <iostream>

namespace {

// The scope a document goes to: --scope, else the document's, else user.
std::string scope_for(const Args &args, const ScopeState &doc) {
  // parse_state refuses a scope other than user, system or none.
  std::string doc_scope = doc.scope;
  if (!args.value("scope"))
    return doc_scope.empty() ? "user" : doc_scope;
  std::string given = scope_option(args);
  if (!doc_scope.empty() && doc_scope != given)
    throw UsageError(args.command,
                     "the document is for the " + doc_scope + " scope, not the " + given + " scope");
  return given;
}

std::string read_stdin() {
  std::string text;
  char buf[65536];
  while (std::cin.read(buf, sizeof buf) || std::cin.gcount() > 0) {
    text.append(buf, static_cast<std::size_t>(std::cin.gcount()));
    if (text.size() > max_document_size)
      throw DocumentError("the document is larger than " + std::to_string(max_document_size >> 20) +
                          " MiB, the most kenv reads from stdin");
  }
  return text;
}

std::string read_input(const std::string &file) {
  return file == "-" ? read_stdin() : read_document_file(file);
}

ScopeState read_document(const Args &args) {
  try {
    return parse_state(read_input(args.words[0]));
  } catch (const DocumentError &e) {
    throw UsageError(args.command, args.words[0] + ": " + e.what());
  }
}

void print_changes(const std::vector<Change> &changes) {
  std::string out;
  for (const Change &c : changes)
    out += diff_line(c) + "\n";
  write_out(out);
}

void note_kept(const std::string &scope, const std::vector<std::string> &kept) {
  for (const std::string &name : kept)
    write_err("kenv: note: kept '" + visible(name) + "' in the " + scope +
              " scope: a protected name is never deleted\n");
}

// What apply prints: the JSON object, the changes one per line, or a summary.
void report(const Args &args, const std::vector<Change> &changes, const std::optional<std::string> &backup,
            const std::string &scope) {
  if (args.has("json"))
    write_out(changes_json(changes, backup) + "\n");
  else if (changes.empty())
    write_out("no changes\n");
  else if (args.has("diff") || args.has("check"))
    print_changes(changes);
  else
    write_out("Applied " + std::to_string(changes.size()) + (changes.size() == 1 ? " change" : " changes") +
              " to the " + scope + " scope" + (backup ? " (backup " + *backup + ")" : "") + "\n");
}

} // namespace

int cmd_export(const Words &given) {
  Words argv = given;
  for (std::string &w : argv) {
    if (w == "--")
      break;
    if (w == "-o")
      w = "--output";
  }
  Args args = parse_args("export", argv, {{}, {"scope", "format", "output"}});
  if (args.help)
    return show_help("export");
  expect_words(args, 0, 0, "");
  std::string format = args.value("format").value_or("json");
  if (format != "json" && format != "env")
    throw UsageError("export", "--format must be 'json' or 'env', not '" + format + "'");
  ScopeState state = state_of(read_snapshot(scope_option(args)));
  std::string text = write_state(state, format == "json" ? StateFormat::json : StateFormat::env);
  std::optional<std::string> output = args.value("output");
  if (output && *output != "-")
    write_output_file(*output, text);
  else
    write_out(text);
  return 0;
}

int cmd_apply(const Words &argv) {
  Args args = parse_args("apply", argv, {{"prune", "check", "diff", "json"}, {"scope"}});
  if (args.help)
    return show_help("apply");
  expect_words(args, 1, 1, "FILE");
  ScopeState doc = read_document(args);
  std::string scope = scope_for(args, doc);
  ScopeSnapshot now = read_snapshot(scope);
  refuse_not_utf8(now.not_utf8);
  std::vector<std::string> kept;
  StoreVars after = compose_apply(now, doc, args.has("prune"), kept);
  std::vector<Change> changes = changes_between(now.store, after, now.sep);
  note_kept(scope, kept);
  if (args.has("check")) {
    report(args, changes, std::nullopt, scope);
    return changes.empty() ? 0 : 3;
  }
  std::optional<std::string> backup;
  if (!changes.empty()) {
    std::string note = commit_store(now, after);
    if (!note.empty())
      write_err("kenv: warning: " + note + "\n");
    backup = newest_backup(now);
  }
  report(args, changes, backup, scope);
  return 0;
}
