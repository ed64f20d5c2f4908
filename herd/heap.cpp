#include "herd/heap.h"

#include <cstdlib>  // defines __GLIBC__ with the GNU C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace ovista {

void KeepHeapBetweenHerds() {
#if defined(__GLIBC__)
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    // One heap for every thread: the second reader of a large herd file would otherwise
    // keep a heap of its own, and what it frees would not serve the rest of the herd's work.
    mallopt(M_ARENA_MAX, 1);
#endif
}

void HerdFinished() {
#if defined(__GLIBC__)
    thread_local int herds = 0;
    if (++herds % 100 == 0) malloc_trim(0);
#endif
}

void NoHerdLeft() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

}  // namespace ovista
