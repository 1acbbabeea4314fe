// The operating system's page allocator, and the loader's scratch buffer.
// Contract: AllocatePages returns zero-filled, committed, read-write memory of
// at least `bytes` bytes, or null; FreePages gives the whole region back in one
// call (`bytes` is the count passed to AllocatePages). The test build links a
// variant that puts an inaccessible page right behind every region, so that an
// overrun faults instead of passing silently.
#pragma once

#include <cstddef>

void* AllocatePages(size_t bytes);
void FreePages(void* base, size_t bytes);

// The loader's temporary picture: a heap buffer in the product.
void* AllocateScratch(size_t bytes);
void FreeScratch(void* buffer, size_t bytes);
