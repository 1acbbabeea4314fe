#include "playback/title.h"

#include "plugin/host_services.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// Remainder of a whole number of units, as signed integer division gives it,
// kept in double so that no time is too large to convert.
int Wrap(double whole, double modulus) { return static_cast<int>(std::fmod(whole, modulus)); }

}  // namespace

double FramesPerSecond(int32_t videoRate, int32_t videoScale) {
    if (videoScale == 0) return 0.0;
    return static_cast<double>(videoRate) / static_cast<double>(videoScale);
}

void FormatTitle(const TitleFields& fields, char (&title)[kTitleBytes]) {
    const char* name = fields.name ? fields.name : "";
    if (!fields.hasFrames) {
        std::snprintf(title, sizeof title, "%s", name);
    } else {
        // Without a usable rate there is no time to show; the frame numbers still are.
        const double fps = FramesPerSecond(fields.videoRate, fields.videoScale);
        double t = 0.0;
        if (std::isfinite(fps) && fps > 0.0) t = fields.frame / fps;
        const double s = std::trunc(t);
        const int hundredths = static_cast<int>(std::trunc((t - s) * 100.0));
        const double m = std::trunc(t / 60.0);
        const double hh = std::trunc(t / 3600.0);
        // The number shown counts from 1; formed without signed overflow.
        const int shown = static_cast<int>(static_cast<uint32_t>(fields.frame) + 1u);
        std::snprintf(title, sizeof title, "%s [%02d:%02d:%02d.%02d] [%d/%d]", name, Wrap(hh, 60.0), Wrap(m, 60.0),
                      Wrap(s, 60.0), hundredths, shown, static_cast<int>(fields.frameCount));
    }
    if (fields.loading) {
        char suffix[kTitleSuffixBytes];
        std::snprintf(suffix, sizeof suffix, " [%d/%d]", static_cast<int>(fields.loadedCount),
                      static_cast<int>(fields.runLength));
        const size_t used = std::strlen(title);
        std::snprintf(title + used, sizeof title - used, "%s", suffix);
    }
}

void ComposeTitle(FilterTable* table, EditHandle edit, const PreviewPlayer& player, int32_t frame,
                  char (&title)[kTitleBytes]) {
    TitleFields fields{};
    fields.name = table->name;
    fields.frame = frame;
    fields.frameCount = Host(table).GetFrameCount(edit);
    const bool open = Host(table).IsEditing(edit) != 0;
    fields.hasFrames = open && fields.frameCount != 0;
    if (fields.hasFrames) {
        SourceInfo info{};
        Host(table).GetSourceInfo(edit, &info);
        fields.videoRate = info.videoRate;
        fields.videoScale = info.videoScale;
    }
    if (const PreviewCache* cache = player.cache) {
        fields.loading = cache->loading.load() != 0;
        fields.loadedCount = cache->loadedCount.load();
        fields.runLength = cache->frameCount;
    }
    FormatTitle(fields, title);
}
