// The call frame every export runs in: the process-wide lock, the last-error text and the
// wall at the C boundary that turns any C++ exception into a failure with a message.
#pragma once

#include <mutex>
#include <new>

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

// The canonical scope, or nullptr with "scope must be 'user' or 'system'" recorded.
const char *env_scope_arg(const char *scope);

// Holds the advisory lock of the data directory for as long as it lives, so that two
// processes never interleave their read-modify-write cycles. Every changing operation takes
// it after its argument checks and before it reads what it will change.
class env_data_lock {
public:
  env_data_lock();
  ~env_data_lock();
  env_data_lock(const env_data_lock &) = delete;
  env_data_lock &operator=(const env_data_lock &) = delete;
  bool held() const { return fd_ >= 0 || handle_ != nullptr; }

private:
  int fd_ = -1;
  void *handle_ = nullptr;
};

template <class R, class Op> R env_run_framed(R failure, Op &&op) noexcept {
  std::lock_guard<std::mutex> guard(g_mu);
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
