// The native back-end for the unit tests: anonymous mappings, zero-filled like
// the Windows page allocator's.
#include "cache/page_memory.h"
#include "cache/page_memory_posix.h"

#include <sys/mman.h>

#include <cstdlib>

PageMemoryControl g_pageMemory;

namespace {

bool Refused(std::atomic<int>& refusals) {
    int left = refusals.load();
    while (left > 0)
        if (refusals.compare_exchange_weak(left, left - 1)) return true;
    return false;
}

}  // namespace

void* AllocatePages(size_t bytes) {
    if (Refused(g_pageMemory.refusePages)) return nullptr;
    if (bytes == 0) bytes = 1;
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    ++g_pageMemory.pageAllocations;
    return p;
}

void FreePages(void* base, size_t bytes) {
    if (base) munmap(base, bytes == 0 ? 1 : bytes);
}

void* AllocateScratch(size_t bytes) {
    if (Refused(g_pageMemory.refuseScratch)) return nullptr;
    void* p = std::malloc(bytes);
    if (p) ++g_pageMemory.scratchAllocations;
    return p;
}

void FreeScratch(void* buffer, size_t) { std::free(buffer); }
