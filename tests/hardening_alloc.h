// A counting allocator for the allocation-failure test. The test executable replaces
// malloc, calloc, realloc and free (glibc supports replacing them; its own functions and
// libstdc++'s operator new then come here too) and forwards to glibc's allocator. While armed,
// it counts the allocation attempts and makes the n-th fail, and with `persist` every one
// after it as well. Live blocks are counted all the time.
#pragma once

namespace alloc_fault {

void arm(long nth, bool persist);
// Disarms and returns the number of allocations attempted while armed.
long disarm();
// Blocks handed out and not yet released, in the whole process.
long live_blocks();

// Arms for its lifetime.
class armed {
public:
  armed(long nth, bool persist) { arm(nth, persist); }
  ~armed() { disarm(); }
  armed(const armed &) = delete;
  armed &operator=(const armed &) = delete;
};

} // namespace alloc_fault
