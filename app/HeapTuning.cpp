#include "app/HeapTuning.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace velmora::app {

void KeepLargeBuffersInHeap() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 32 << 20);  // bytes: blocks below come from the heap (32 MB is the most glibc takes)
  mallopt(M_TRIM_THRESHOLD, 1 << 30);    // bytes: free memory kept before it goes back to the system
#endif
}

}  // namespace velmora::app
