// The product's page allocator: the system's own, one region per block.
#include "cache/page_memory.h"

#include <windows.h>

#include <cstdlib>

void* AllocatePages(size_t bytes) { return VirtualAlloc(nullptr, bytes, MEM_COMMIT, PAGE_READWRITE); }

void FreePages(void* base, size_t) {
    if (base) VirtualFree(base, 0, MEM_RELEASE);
}

void* AllocateScratch(size_t bytes) { return std::malloc(bytes); }

void FreeScratch(void* buffer, size_t) { std::free(buffer); }
