#include "platform/memory.h"

#include <cstdlib>  // defines __GLIBC__ on glibc systems

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void MemoryStartUp() {
#if defined(__GLIBC__)
  // One arena: per-thread arenas keep what short-lived workers free. A fixed
  // threshold keeps large buffers (bodies, decode rows) in their own
  // mappings, returned to the system the moment they are freed; left
  // dynamic, glibc raises it after the first large free and such buffers
  // then stay in the heap.
  mallopt(M_ARENA_MAX, 1);
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

void ReturnFreeMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}
