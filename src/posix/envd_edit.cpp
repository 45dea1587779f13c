// Rewriting the library's own environment.d file. Only the assignments of the one name
// change; comments, blank lines and other assignments (a user may have edited the file by
// hand) are copied byte for byte.
#if !defined(_WIN32) && !defined(KENV_WIN_SIM)

#include "core/names.h"
#include "posix/posix.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace {

// Assignments that go whenever the file is rewritten, besides those of the name: those
// whose value is not UTF-8. systemd 252's generator aborts on them, and the session then
// receives nothing from environment.d at all.
bool unreadable(const envd_entry &e) {
  return e.has_value && envd_name_valid(e.name) && !envd_utf8_valid(e.value);
}

// The key of a name: systemd compares names byte for byte, and so does the library here.
std::string key_of(std::string_view name) {
  return std::string(name);
}

} // namespace

std::string envd_splice(std::string_view text, std::string_view name, std::optional<std::string_view> value,
                        bool is_path) {
  envd_editor editor(text);
  editor.apply(name, value, is_path);
  return editor.text();
}

envd_editor::envd_editor(std::string_view text) {
  // systemd ignores a file holding a NUL byte. Such bytes come from damage (a crash can
  // leave blocks of zeros at the end), so the text is cut there to make the file count again.
  load(std::string(text.substr(0, text.find('\0'))));
}

// Each assignment begins and ends where the parser is between lines, so cutting one out or
// putting a line that reads as one assignment in its place never changes how the rest reads.
void envd_editor::load(std::string text) {
  read_ = std::move(text);
  pieces_.clear();
  first_.clear();
  unreadable_.clear();
  reread_ = false;
  envd_text parsed;
  envd_parse(read_, parsed);
  pieces_.reserve(2 * parsed.entries.size() + 1);
  std::unordered_map<std::string, std::size_t> last; // folded name -> last assignment so far
  std::size_t copied = 0;
  for (const envd_entry &e : parsed.entries) {
    add_piece(copied, e.begin, nullptr);
    add_piece(e.begin, e.end, &e);
    auto [at, added] = last.emplace(key_of(e.name), pieces_.size() - 1);
    if (added)
      first_.emplace(at->first, at->second);
    else
      pieces_[std::exchange(at->second, pieces_.size() - 1)].next = pieces_.size() - 1;
    copied = e.end;
  }
  add_piece(copied, read_.size(), nullptr);
  tail_ = pieces_.empty() ? none : pieces_.size() - 1;
  end_state_ = parsed.end_state;
}

void envd_editor::add_piece(std::size_t begin, std::size_t end, const envd_entry *entry) {
  if (begin == end)
    return;
  piece &p = pieces_.emplace_back();
  p.begin = begin;
  p.end = end;
  if (!entry)
    return;
  p.assignment = true;
  p.name = entry->name;
  p.unreadable = unreadable(*entry);
  if (p.unreadable)
    unreadable_.push_back(pieces_.size() - 1);
}

std::string_view envd_editor::bytes(const piece &p) const {
  return p.rewritten ? std::string_view(p.written) : std::string_view(read_).substr(p.begin, p.end - p.begin);
}

void envd_editor::apply(std::string_view name, std::optional<std::string_view> value, bool is_path) {
  if (reread_)
    load(text());
  std::string key = key_of(name);
  auto head = first_.find(key);
  std::size_t placed = none;
  for (std::size_t i = head == first_.end() ? none : head->second; i != none; i = pieces_[i].next) {
    if (pieces_[i].live && value && placed == none)
      placed = i;
    else if (pieces_[i].live)
      remove(i);
  }
  for (std::size_t i : std::exchange(unreadable_, {}))
    if (i != placed && pieces_[i].live)
      remove(i);
  if (placed != none) {
    head->second = placed;
    pieces_[placed].next = none;
    write_line(placed, envd_assignment(pieces_[placed].name, *value, is_path), key);
    return;
  }
  if (head != first_.end())
    first_.erase(head);
  if (value)
    append(name, *value, is_path, key);
}

void envd_editor::remove(std::size_t i) {
  pieces_[i].live = false;
  if (i == tail_) {
    tail_ = none; // what is left ends between lines
    end_state_ = envd_state::pre_key;
  }
}

void envd_editor::append(std::string_view name, std::string_view value, bool is_path,
                         const std::string &key) {
  std::string line;
  std::string_view terminator = envd_terminator(end_state_);
  if (!terminator.empty()) {
    piece &closed = pieces_[tail_]; // the terminator belongs to the line it closes
    closed.written = std::string(bytes(closed)).append(terminator);
    closed.rewritten = true;
  } else if (tail_ != none && !pieces_[tail_].assignment) {
    line = take_line_start(pieces_[tail_]);
  }
  tail_ = none;
  end_state_ = envd_state::pre_key;
  std::size_t i = pieces_.size();
  pieces_.emplace_back().assignment = true;
  first_[key] = i;
  write_line(i, line.append(envd_assignment(name, value, is_path)), key);
}

// Blanks that end the text after its last line break begin the line that follows: read
// again, they belong to the assignment appended after them.
std::string envd_editor::take_line_start(piece &p) const {
  std::string_view text = bytes(p);
  std::size_t start = text.find_last_not_of(" \t") + 1;
  std::string blanks(text.substr(start));
  p.end -= blanks.size(); // the piece was read and never rewritten: it ends the text as read
  return blanks;
}

// Puts the line in place; a line that does not read back as one assignment of the chain's
// name has the whole text read again before the next change.
void envd_editor::write_line(std::size_t i, std::string line, const std::string &key) {
  envd_text parsed;
  envd_parse(line, parsed);
  bool one = parsed.entries.size() == 1 && parsed.entries[0].begin == 0 &&
             parsed.entries[0].end == line.size() && parsed.end_state == envd_state::pre_key;
  piece &p = pieces_[i];
  p.written = std::move(line);
  p.rewritten = true;
  if (i == tail_) {
    tail_ = none;
    end_state_ = envd_state::pre_key;
  }
  if (!one || key_of(parsed.entries[0].name) != key) {
    reread_ = true;
    return;
  }
  p.unreadable = unreadable(parsed.entries[0]);
  p.name = std::move(parsed.entries[0].name);
  if (p.unreadable)
    unreadable_.push_back(i);
}

void envd_editor::order(const std::vector<std::string> &names) {
  if (reread_)
    load(text());
  if (end_state_ != envd_state::pre_key)
    return;
  std::unordered_map<std::string_view, std::size_t> rank;
  for (std::size_t i = 0; i < names.size(); ++i)
    rank.emplace(names[i], i);
  std::vector<std::size_t> slots;
  for (std::size_t i = 0; i < pieces_.size(); ++i)
    if (pieces_[i].live && pieces_[i].assignment && rank.count(pieces_[i].name))
      slots.push_back(i);
  std::vector<std::size_t> wanted = slots;
  std::stable_sort(wanted.begin(), wanted.end(), [&](std::size_t a, std::size_t b) {
    return rank[pieces_[a].name] < rank[pieces_[b].name];
  });
  if (wanted == slots)
    return;
  std::vector<piece> moved;
  moved.reserve(wanted.size());
  for (std::size_t i : wanted) {
    piece p = pieces_[i];
    std::string_view line = bytes(p);
    if (line.empty() || line.back() != '\n') { // the last line, which may go elsewhere
      p.written = std::string(line) + "\n";
      p.rewritten = true;
    }
    moved.push_back(std::move(p));
  }
  for (std::size_t k = 0; k < slots.size(); ++k)
    pieces_[slots[k]] = std::move(moved[k]);
  reread_ = true; // the chains of equal names no longer follow the places
}

std::string envd_editor::text() const {
  std::size_t size = 0;
  for (const piece &p : pieces_)
    size += p.live ? bytes(p).size() : 0;
  std::string out;
  out.reserve(size);
  for (const piece &p : pieces_)
    if (p.live)
      out.append(bytes(p));
  return out;
}

#endif
