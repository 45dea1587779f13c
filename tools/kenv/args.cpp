#include "args.h"

#include <algorithm>
#include <cctype>

namespace {

bool contains(const std::vector<std::string> &list, const std::string &item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

std::string lower(std::string text) {
  for (char &c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Handles one word that starts with "--"; `next` is the index of the word after it, which
// a valued option consumes.
void take_long_option(Args &args, const OptionSet &accepted, const std::vector<std::string> &argv,
                      std::size_t &next) {
  const std::string &word = argv[next - 1];
  std::string name = word.substr(2);
  std::optional<std::string> inline_value;
  if (std::size_t eq = name.find('='); eq != std::string::npos) {
    inline_value = name.substr(eq + 1);
    name.resize(eq);
  }
  if (name == "help" && !inline_value) {
    args.help = true;
  } else if (contains(accepted.flags, name)) {
    if (inline_value)
      throw UsageError(args.command, "option --" + name + " takes no value");
    args.flags.push_back(name);
  } else if (contains(accepted.valued, name)) {
    if (!inline_value && next >= argv.size())
      throw UsageError(args.command, "option --" + name + " needs a value");
    args.values[name] = inline_value ? *inline_value : argv[next++];
    args.given_values.emplace_back(name, args.values[name]);
  } else {
    throw UsageError(args.command,
                     "unknown option '" + word + "' (put -- before a word that starts with '-')");
  }
}

} // namespace

bool Args::has(const std::string &flag) const {
  return contains(flags, flag);
}

std::optional<std::string> Args::value(const std::string &name) const {
  auto it = values.find(name);
  if (it == values.end())
    return std::nullopt;
  return it->second;
}

std::vector<std::string> Args::every_value(const std::string &name) const {
  std::vector<std::string> out;
  for (const auto &[option, value] : given_values)
    if (option == name)
      out.push_back(value);
  return out;
}

Args parse_args(const std::string &command, const std::vector<std::string> &argv, const OptionSet &accepted) {
  Args args;
  args.command = command;
  bool options_done = false;
  for (std::size_t i = 0; i < argv.size();) {
    const std::string &word = argv[i++];
    // No option starts with a digit, so "-1" is a word (a value, or a wrong position).
    bool number = word.size() > 1 && word[0] == '-' && std::isdigit(static_cast<unsigned char>(word[1]));
    if (options_done || number || word == "-" || word.empty() || word[0] != '-') {
      args.words.push_back(word);
    } else if (word == "--") {
      options_done = true;
    } else if (word == "-h") {
      args.help = true;
    } else if (word.rfind("--", 0) == 0) {
      take_long_option(args, accepted, argv, i);
    } else {
      throw UsageError(command, "unknown option '" + word + "' (put -- before a word that starts with '-')");
    }
  }
  return args;
}

void expect_words(const Args &args, std::size_t min, std::size_t max, const char *what) {
  if (args.words.size() < min)
    throw UsageError(args.command, std::string("missing ") + what);
  if (args.words.size() > max)
    throw UsageError(args.command, "unexpected word '" + args.words[max] + "'");
}

std::string scope_option(const Args &args) {
  std::optional<std::string> given = args.value("scope");
  if (!given)
    return "user";
  std::string scope = lower(*given);
  if (scope != "user" && scope != "system")
    throw UsageError(args.command, "--scope must be 'user' or 'system', not '" + *given + "'");
  return scope;
}

std::vector<std::string> move_global_options(const std::vector<std::string> &words) {
  std::vector<std::string> globals;
  std::size_t i = 0;
  while (i < words.size() && (words[i] == "--scope" || words[i].rfind("--scope=", 0) == 0)) {
    globals.push_back(words[i++]);
    if (globals.back() == "--scope") {
      if (i == words.size())
        throw UsageError("", "option --scope needs a value");
      globals.push_back(words[i++]);
    }
  }
  if (globals.empty())
    return words;
  if (i == words.size())
    throw UsageError("", "missing command after " + globals.front());
  std::vector<std::string> out{words[i]};
  out.insert(out.end(), globals.begin(), globals.end());
  out.insert(out.end(), words.begin() + static_cast<long>(i) + 1, words.end());
  return out;
}

std::int32_t index_word(const std::string &command, const std::string &what, const std::string &text) {
  bool digits = !text.empty() && text.size() <= 10 && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c));
  });
  long long n = digits ? std::stoll(text) : -1;
  if (n < 0 || n > INT32_MAX)
    throw UsageError(command, what + " must be a number from 0 on, not '" + text + "'");
  return static_cast<std::int32_t>(n);
}

std::size_t find_subcommand(const std::vector<std::string> &argv, const std::vector<std::string> &valued) {
  for (std::size_t i = 0; i < argv.size(); ++i) {
    const std::string &w = argv[i];
    if (w == "--")
      return std::string::npos;
    if (std::find(valued.begin(), valued.end(), w) != valued.end())
      ++i;
    else if (w.empty() || w[0] != '-' || w == "-")
      return i;
  }
  return std::string::npos;
}
