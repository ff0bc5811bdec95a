// plat_give_pages and plat_keep_heap, defined once in each back end's main file (which
// includes this header once; a separate object would be left out of the static link): on
// Linux the memory is marked for transparent huge pages and populated by the kernel
// (MADV_POPULATE_WRITE, Linux 5.14 and later), which writes no byte of it, and glibc's
// allocator is told to keep a heap with its pages; elsewhere, and on an older kernel, nothing
// is done and the pages come at the first writes as before.
#ifndef VESMORA_GIVE_PAGES_H
#define VESMORA_GIVE_PAGES_H

#include "platform.h"

#if defined(__linux__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

void plat_give_pages(void* start, std::size_t bytes) {
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    // Whole pages inside the range only: the pages at its ends may hold other variables.
    const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(start) + page - 1) & ~(page - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(start) + bytes) & ~(page - 1);
    if (end <= first) return;
    void* p = reinterpret_cast<void*>(first);
    madvise(p, end - first, MADV_HUGEPAGE);  // refused where the system has no huge pages: no harm
    madvise(p, end - first, MADV_POPULATE_WRITE);
}

void plat_keep_heap(std::size_t bytes) {
    // Large blocks from the heap, not from mappings of their own (each new mapping's pages come
    // one by one at its first writes, and glibc only raises its threshold after a first free),
    // and the heap's free top kept rather than handed back.
    // The threshold lies above the block itself: a block of the threshold's size or more would
    // get a mapping of its own, given back at its free with its pages.
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(bytes + page));
    mallopt(M_TRIM_THRESHOLD, static_cast<int>(2 * bytes));
    auto* block = static_cast<volatile unsigned char*>(std::malloc(bytes));
    if (block == nullptr) return;
    plat_give_pages(const_cast<unsigned char*>(block), bytes);  // in huge pages where there are some
    for (std::size_t n = 0; n < bytes; n += page) block[n] = 0;  // and the pages at its ends
    std::free(const_cast<unsigned char*>(block));
}
#else
void plat_give_pages(void*, std::size_t) {}
void plat_keep_heap(std::size_t) {}
#endif

#endif
