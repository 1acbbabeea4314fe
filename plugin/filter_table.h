// The record through which the host and the plug-in meet. Its layout is an ABI:
// the host reads and writes it by byte offset, so every field is pinned below.
#pragma once

#include <cstddef>
#include <cstdint>

// The host calls the export, the hook and its own services with the C calling convention.
#if defined(__i386__)
#define TAVELIN_CDECL __attribute__((cdecl))
#else
#define TAVELIN_CDECL
#endif

struct FilterTable;
struct HostServices;

// The host's opaque handle of the open project; passed back unchanged.
using EditHandle = void*;

// window, message, wParam, lParam, the current edit, the record itself.
using FilterWindowHook = int(TAVELIN_CDECL*)(void* window, unsigned message, uintptr_t wParam, intptr_t lParam,
                                             EditHandle edit, FilterTable* table);

struct FilterTable {
    uint32_t flags;
    int32_t width;   // initial client size of the plug-in window
    int32_t height;
    const char* name;
    int32_t unused16[12];
    FilterWindowHook hook;
    int32_t unused68[4];
    const char* information;
    int32_t unused88[2];
    HostServices* services;  // written by the host
    void* window;            // written by the host
    void* instance;          // written by the host
    int32_t unused108[8];
};

#if defined(__i386__)
static_assert(sizeof(FilterTable) == 140, "the host reads a 140-byte record");
static_assert(offsetof(FilterTable, flags) == 0);
static_assert(offsetof(FilterTable, width) == 4);
static_assert(offsetof(FilterTable, height) == 8);
static_assert(offsetof(FilterTable, name) == 12);
static_assert(offsetof(FilterTable, hook) == 64);
static_assert(offsetof(FilterTable, information) == 84);
static_assert(offsetof(FilterTable, services) == 96);
static_assert(offsetof(FilterTable, window) == 100);
static_assert(offsetof(FilterTable, instance) == 104);
#else
// The 64-bit twin keeps the 35 fields in order; the six pointers widen to 8 bytes.
static_assert(sizeof(void*) == 8);
static_assert(sizeof(FilterTable) == 168);
static_assert(offsetof(FilterTable, name) == 16);
static_assert(offsetof(FilterTable, hook) == 72);
static_assert(offsetof(FilterTable, information) == 96);
static_assert(offsetof(FilterTable, services) == 112);
static_assert(offsetof(FilterTable, window) == 120);
static_assert(offsetof(FilterTable, instance) == 128);
#endif

// The one static record handed to the host.
FilterTable* TAVELIN_CDECL GetFilterTableRecord();
