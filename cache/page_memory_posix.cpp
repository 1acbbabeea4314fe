// The native back-end for the unit tests: anonymous mappings, zero-filled like
// the Windows page allocator's.
#include "cache/page_memory.h"

#include <sys/mman.h>

#include <cstdlib>

void* AllocatePages(size_t bytes) {
    if (bytes == 0) bytes = 1;
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void FreePages(void* base, size_t bytes) {
    if (base) munmap(base, bytes == 0 ? 1 : bytes);
}

void* AllocateScratch(size_t bytes) { return std::malloc(bytes); }

void FreeScratch(void* buffer, size_t) { std::free(buffer); }
