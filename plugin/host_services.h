// The host's service table and the records it fills. Written from the host's
// documented behaviour only: each entry sits at a fixed 32-bit byte offset,
// and index = offset / 4 in a table of pointer-sized slots.
#pragma once

#include "plugin/filter_table.h"

#include <cstddef>
#include <cstdint>

// The host fills 64 bytes; the plug-in reads the three integers named here.
struct SourceInfo {
    int32_t unused0[4];
    int32_t videoRate;   // 16
    int32_t videoScale;  // 20
    int32_t unused24;
    int32_t audioChannels;  // 28
    int32_t unused32[8];
};
static_assert(sizeof(SourceInfo) == 64);
static_assert(offsetof(SourceInfo, videoRate) == 16);
static_assert(offsetof(SourceInfo, videoScale) == 20);
static_assert(offsetof(SourceInfo, audioChannels) == 28);

using IsEditingFn = int(TAVELIN_CDECL*)(EditHandle edit);
using GetCurrentFrameFn = int(TAVELIN_CDECL*)(EditHandle edit);
using GetFrameCountFn = int(TAVELIN_CDECL*)(EditHandle edit);
using GetSourceInfoFn = int(TAVELIN_CDECL*)(EditHandle edit, SourceInfo* info);
// pixels null: writes the frame's size. pixels given, size pointers null: writes
// width x height BGR pixels, rows packed, bottom row first.
using GetFilteredPixelsFn = int(TAVELIN_CDECL*)(EditHandle edit, int frame, void* pixels, int* width, int* height);
// Returns the frame's samples per channel; with a buffer also writes them, interleaved.
using GetFilteredAudioFn = int(TAVELIN_CDECL*)(EditHandle edit, int frame, short* samples);
using GetSelectionFn = int(TAVELIN_CDECL*)(EditHandle edit, int* start, int* end);
using LoadSettingIntFn = int(TAVELIN_CDECL*)(FilterTable* table, const char* key, int defaultValue);
using SaveSettingIntFn = int(TAVELIN_CDECL*)(FilterTable* table, const char* key, int value);

struct HostServices {
    void* unused0[4];
    IsEditingFn IsEditing;  // 4
    void* unused5;
    GetCurrentFrameFn GetCurrentFrame;  // 6
    GetFrameCountFn GetFrameCount;      // 7
    void* unused8[15];
    GetSourceInfoFn GetSourceInfo;  // 23
    void* unused24[2];
    GetFilteredPixelsFn GetFilteredPixels;  // 26
    GetFilteredAudioFn GetFilteredAudio;    // 27
    GetSelectionFn GetSelection;            // 28
    void* unused29[5];
    LoadSettingIntFn LoadSettingInt;  // 34
    SaveSettingIntFn SaveSettingInt;  // 35
};

// Index of each service in the table: its 32-bit byte offset divided by 4.
static_assert(offsetof(HostServices, IsEditing) == 4 * sizeof(void*));
static_assert(offsetof(HostServices, GetCurrentFrame) == 6 * sizeof(void*));
static_assert(offsetof(HostServices, GetFrameCount) == 7 * sizeof(void*));
static_assert(offsetof(HostServices, GetSourceInfo) == 23 * sizeof(void*));
static_assert(offsetof(HostServices, GetFilteredPixels) == 26 * sizeof(void*));
static_assert(offsetof(HostServices, GetFilteredAudio) == 27 * sizeof(void*));
static_assert(offsetof(HostServices, GetSelection) == 28 * sizeof(void*));
static_assert(offsetof(HostServices, LoadSettingInt) == 34 * sizeof(void*));
static_assert(offsetof(HostServices, SaveSettingInt) == 35 * sizeof(void*));
static_assert(sizeof(HostServices) == 36 * sizeof(void*));

// Every call goes through the table the host wrote into the record, read afresh each time.
inline HostServices& Host(const FilterTable* table) { return *table->services; }
