// The window title: the plug-in's name, the time code and number of the frame
// on screen, the project's frame count and, during a load, its progress.
#pragma once

#include "playback/player.h"

#include <cstddef>
#include <cstdint>

inline constexpr size_t kTitleBytes = 512;
inline constexpr size_t kTitleSuffixBytes = 260;

struct TitleFields {
    const char* name;
    bool hasFrames;  // a project is open and has frames
    int32_t videoRate;
    int32_t videoScale;
    int32_t frame;
    int32_t frameCount;
    bool loading;
    uint32_t loadedCount;
    uint32_t runLength;
};

// Frames per second of a rate and scale; 0 when the scale is 0, so that a
// caller never sees an infinity or a NaN.
double FramesPerSecond(int32_t videoRate, int32_t videoScale);

// Formats the title into `title`, the suffix going through its own buffer
// first. Text that does not fit is cut, never written past either buffer.
void FormatTitle(const TitleFields& fields, char (&title)[kTitleBytes]);

// Gathers the fields from the host and the cache, in the order the host is
// asked (frame count, open project, then source info only for a project with
// frames), and formats them.
void ComposeTitle(FilterTable* table, EditHandle edit, const PreviewPlayer& player, int32_t frame,
                  char (&title)[kTitleBytes]);
