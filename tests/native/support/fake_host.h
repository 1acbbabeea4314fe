// A host of our own for the native tests: a synthetic project served through
// the same service table the real host fills. Pixels and samples encode where
// they come from, so a test can tell which frame, row and column it sees.
#pragma once

#include "host/patterns.h"
#include "plugin/filter_table.h"
#include "plugin/host_services.h"

#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct FakeProject {
    std::atomic<int> editing{1};
    int frameCount = 100;
    int width = 64;
    int height = 48;
    int videoRate = 30;
    int videoScale = 1;
    int channels = 2;
    int samplesPerFrame = 1470;
    int cursor = 0;
    bool hasSelection = false;
    int selectionStart = 0;
    int selectionEnd = 0;
    // Per-frame answers that differ from the project's (fault tests).
    std::map<int, std::pair<int, int>> sizeOverride;
    std::map<int, int> samplesOverride;
    // Called on the loader thread before each picture is written.
    std::function<void(int frame)> onFetchPixels;
};

// The stand-in host's coded pattern, so that both hosts serve the same frames:
// blue = column, green = row, red = frame, each modulo 256; every sample of a
// frame's channel carries the frame and the channel.
inline unsigned char PixelBlue(int frame, int x, int y) { return standin::CodedPixel(frame, x, y).b; }
inline unsigned char PixelGreen(int frame, int x, int y) { return standin::CodedPixel(frame, x, y).g; }
inline unsigned char PixelRed(int frame, int x, int y) { return standin::CodedPixel(frame, x, y).r; }
inline short SampleValue(int frame, int channel) { return standin::CodedSample(frame, channel); }

class FakeHost {
public:
    FakeHost();
    ~FakeHost();
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    FilterTable table{};
    HostServices services{};
    FakeProject project;
    std::map<std::string, int> settings;  // the settings store
    std::vector<std::string> saved;       // keys in the order saved
    std::atomic<int> pixelWrites{0};
    std::atomic<int> audioWrites{0};
    int sourceInfoCalls = 0;

    EditHandle edit() { return &project; }
    std::pair<int, int> SizeOf(int frame) const;
    int SamplesOf(int frame) const;
};
