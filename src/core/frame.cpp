// The last-error text, the process-wide lock and the two exports that run outside the frame.
#include "core/frame.h"

#include "kestrune_env.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

std::mutex g_mu;

namespace {
// One buffer for the whole process; written only under g_mu.
char g_err[512];
// The memos of the running framed call; written only under g_mu.
env_detail::call_memos *g_memos = nullptr;
} // namespace

struct env_detail::call_memos::slot {
  const void *tag;
  std::unique_ptr<env_call_memo> memo;
};

// Nothing is allocated until a memo is made, so a call that makes none costs nothing.
env_detail::call_memos::call_memos() : slots_(), outer_(g_memos) {
  g_memos = this;
}

env_detail::call_memos::~call_memos() {
  g_memos = outer_;
}

bool env_detail::call_memos::running() {
  return g_memos != nullptr;
}

env_call_memo *env_detail::call_memos::find(const void *tag) {
  if (!g_memos)
    return nullptr;
  for (const slot &s : g_memos->slots_)
    if (s.tag == tag)
      return s.memo.get();
  return nullptr;
}

env_call_memo *env_detail::call_memos::add(const void *tag, std::unique_ptr<env_call_memo> memo) {
  g_memos->slots_.push_back(slot{tag, std::move(memo)});
  return g_memos->slots_.back().memo.get();
}

void env_set_error(const char *fmt, ...) {
  va_list args;
  va_start(args, fmt);
  int n = std::vsnprintf(g_err, sizeof g_err, fmt, args);
  va_end(args);
  if (n < 0)
    g_err[0] = '\0';
}

void env_clear_error() {
  g_err[0] = '\0';
}

bool env_error_is_empty() {
  return g_err[0] == '\0';
}

extern "C" KENV_API const char *env_last_error(void) {
  return g_err;
}

extern "C" KENV_API void env_free_string(char *p) {
  std::free(p);
}
