// The replacement allocator of hardening_alloc.h. It must be linked into the executable
// itself, and never into a sanitizer build, whose runtime owns malloc.
#include "hardening_alloc.h"

#include <atomic>
#include <cerrno>
#include <cstddef>

extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *p, std::size_t size);
void *__libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void *p);
}

namespace {

std::atomic<bool> g_armed{false};
std::atomic<bool> g_persist{false};
std::atomic<long> g_nth{0};
std::atomic<long> g_attempts{0};
std::atomic<long> g_live{0};

// Counts one attempt while armed; true when it is to fail.
bool should_fail() {
  if (!g_armed.load(std::memory_order_relaxed))
    return false;
  long n = ++g_attempts;
  long nth = g_nth.load(std::memory_order_relaxed);
  return n == nth || (g_persist.load(std::memory_order_relaxed) && n > nth);
}

void *counted(void *p) {
  if (p)
    ++g_live;
  return p;
}

} // namespace

namespace alloc_fault {

void arm(long nth, bool persist) {
  g_attempts = 0;
  g_nth = nth;
  g_persist = persist;
  g_armed = true;
}

long disarm() {
  g_armed = false;
  return g_attempts.load();
}

long live_blocks() {
  return g_live.load();
}

} // namespace alloc_fault

extern "C" {

void *malloc(std::size_t size) {
  if (should_fail())
    return errno = ENOMEM, nullptr;
  return counted(__libc_malloc(size));
}

void *calloc(std::size_t count, std::size_t size) {
  if (should_fail())
    return errno = ENOMEM, nullptr;
  return counted(__libc_calloc(count, size));
}

void *realloc(void *p, std::size_t size) {
  if (!p)
    return malloc(size);
  if (size == 0) { // glibc frees the block and returns NULL
    --g_live;
    return __libc_realloc(p, 0);
  }
  if (should_fail())
    return errno = ENOMEM, nullptr;
  return __libc_realloc(p, size);
}

// The aligned forms only count, so that free keeps the count of live blocks right.
void *aligned_alloc(std::size_t alignment, std::size_t size) {
  if (should_fail())
    return errno = ENOMEM, nullptr;
  return counted(__libc_memalign(alignment, size));
}

void *memalign(std::size_t alignment, std::size_t size) {
  return aligned_alloc(alignment, size);
}

int posix_memalign(void **out, std::size_t alignment, std::size_t size) {
  if (alignment < sizeof(void *) || (alignment & (alignment - 1)) != 0)
    return EINVAL;
  void *p = aligned_alloc(alignment, size);
  if (!p)
    return ENOMEM;
  *out = p;
  return 0;
}

void free(void *p) {
  if (p)
    --g_live;
  __libc_free(p);
}

} // extern "C"
