// The call frame every export runs in: the process-wide lock, the last-error text and the
// wall at the C boundary that turns any C++ exception into a failure with a message.
#pragma once

#include <memory>
#include <mutex>
#include <new>
#include <vector>

#if defined(__GNUC__)
#define ENV_PRINTF(a, b) __attribute__((format(printf, a, b)))
#else
#define ENV_PRINTF(a, b)
#endif

extern std::mutex g_mu;

// Formats a one-line message into the last-error text, replacing it; cut after 511 bytes.
// Allocates nothing, so it is safe to call while reporting "out of memory".
void env_set_error(const char *fmt, ...) ENV_PRINTF(1, 2);
void env_clear_error();
// True when the last-error text is empty.
bool env_error_is_empty();

// Runs op under g_mu with the last-error text emptied. Allocation failure anywhere below
// becomes "out of memory" and the failure result; no exception leaves this function.
template <class R, class Op> R env_run_framed(R failure, Op &&op) noexcept;

// What one call would otherwise work out twice, such as the shell start-up files that two
// members of a listing are drawn from. A memo belongs to the framed call that made it and
// is destroyed when that call returns: nothing is carried from one call into the next.
class env_call_memo {
public:
  virtual ~env_call_memo() = default;
};

// The running call's memo of type T, made on first use; nullptr outside a framed call.
template <class T> T *env_memo();

namespace env_detail {

// The memos of the framed call that is running, from its start to its return.
class call_memos {
public:
  call_memos();
  ~call_memos();
  call_memos(const call_memos &) = delete;
  call_memos &operator=(const call_memos &) = delete;
  static bool running();
  static env_call_memo *find(const void *tag);
  static env_call_memo *add(const void *tag, std::unique_ptr<env_call_memo> memo);

private:
  struct slot;
  std::vector<slot> slots_;
  call_memos *outer_;
};

template <class T> inline const char memo_tag = 0;

} // namespace env_detail

template <class T> T *env_memo() {
  using env_detail::call_memos;
  if (!call_memos::running())
    return nullptr;
  if (env_call_memo *memo = call_memos::find(&env_detail::memo_tag<T>))
    return static_cast<T *>(memo);
  return static_cast<T *>(call_memos::add(&env_detail::memo_tag<T>, std::make_unique<T>()));
}

template <class R, class Op> R env_run_framed(R failure, Op &&op) noexcept {
  std::lock_guard<std::mutex> guard(g_mu);
  env_detail::call_memos memos;
  env_clear_error();
  try {
    return op();
  } catch (const std::bad_alloc &) {
    env_set_error("out of memory");
  } catch (...) {
    env_set_error("internal error");
  }
  return failure;
}
