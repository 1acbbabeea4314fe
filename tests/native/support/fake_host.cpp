#include "tests/native/support/fake_host.h"

#include <cstring>

namespace {

FakeHost* g_current = nullptr;

FakeProject& P(EditHandle edit) { return *static_cast<FakeProject*>(edit); }

int IsEditing(EditHandle edit) { return P(edit).editing.load(); }
int GetCurrentFrame(EditHandle edit) { return P(edit).cursor; }
int GetFrameCount(EditHandle edit) { return P(edit).editing.load() ? P(edit).frameCount : 0; }

int GetSourceInfo(EditHandle edit, SourceInfo* info) {
    ++g_current->sourceInfoCalls;
    std::memset(info, 0, sizeof *info);
    info->videoRate = P(edit).videoRate;
    info->videoScale = P(edit).videoScale;
    info->audioChannels = P(edit).channels;
    return 1;
}

int GetFilteredPixels(EditHandle edit, int frame, void* pixels, int* width, int* height) {
    const auto [w, h] = g_current->SizeOf(frame);
    if (!pixels) {
        if (width) *width = w;
        if (height) *height = h;
        return 1;
    }
    if (P(edit).onFetchPixels) P(edit).onFetchPixels(frame);
    auto* out = static_cast<unsigned char*>(pixels);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            *out++ = PixelBlue(frame, x, y);
            *out++ = PixelGreen(frame, x, y);
            *out++ = PixelRed(frame, x, y);
        }
    ++g_current->pixelWrites;
    return 1;
}

int GetFilteredAudio(EditHandle edit, int frame, short* samples) {
    const int n = g_current->SamplesOf(frame);
    if (samples) {
        for (int i = 0; i < n; ++i)
            for (int c = 0; c < P(edit).channels; ++c) *samples++ = SampleValue(frame, c);
        ++g_current->audioWrites;
    }
    return n;
}

int GetSelection(EditHandle edit, int* start, int* end) {
    if (!P(edit).hasSelection) return 0;
    *start = P(edit).selectionStart;
    *end = P(edit).selectionEnd;
    return 1;
}

int LoadSettingInt(FilterTable*, const char* key, int defaultValue) {
    auto it = g_current->settings.find(key);
    return it == g_current->settings.end() ? defaultValue : it->second;
}

int SaveSettingInt(FilterTable*, const char* key, int value) {
    g_current->settings[key] = value;
    g_current->saved.push_back(key);
    return 1;
}

}  // namespace

FakeHost::FakeHost() {
    g_current = this;
    services.IsEditing = IsEditing;
    services.GetCurrentFrame = GetCurrentFrame;
    services.GetFrameCount = GetFrameCount;
    services.GetSourceInfo = GetSourceInfo;
    services.GetFilteredPixels = GetFilteredPixels;
    services.GetFilteredAudio = GetFilteredAudio;
    services.GetSelection = GetSelection;
    services.LoadSettingInt = LoadSettingInt;
    services.SaveSettingInt = SaveSettingInt;
    table.name = "Tavelin";
    table.services = &services;
    table.window = reinterpret_cast<void*>(0x1234);
}

FakeHost::~FakeHost() { g_current = nullptr; }

std::pair<int, int> FakeHost::SizeOf(int frame) const {
    auto it = project.sizeOverride.find(frame);
    return it == project.sizeOverride.end() ? std::make_pair(project.width, project.height) : it->second;
}

int FakeHost::SamplesOf(int frame) const {
    auto it = project.samplesOverride.find(frame);
    return it == project.samplesOverride.end() ? project.samplesPerFrame : it->second;
}
