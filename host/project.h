// The synthetic project the stand-in host serves. Plain data, no windows.h,
// so the command line that fills it is pure too.
#pragma once

#include "host/patterns.h"

#include <map>
#include <utility>

namespace standin {

// Copied in and out whole; the host keeps its copy under a lock.
struct Project {
    bool open = true;
    int editingValue = 1;  // what IsEditing answers while open (the plug-in's guard wants exactly 1)
    int frameCount = 300;
    int width = 320;  // picture size of every frame without an override
    int height = 240;
    int videoRate = 30;  // frames per second = videoRate / videoScale
    int videoScale = 1;
    int channels = 2;
    int samplesPerFrame = 1470;  // per channel; 1470 at 30 fps is 44100 Hz
    int cursor = 0;              // the host's current frame
    bool hasSelection = false;
    int selectionStart = 0;
    int selectionEnd = 0;
    int renderCostMs = 0;  // a real Sleep in every picture render, as an editor's filter chain costs time
    Pattern pattern = Pattern::Coded;
    int framesPerLap = 30;  // Demo pattern: frames the box takes to cross the picture
    // Per-frame answers that differ from the project's (fault tests). A size
    // may be anything, including 0 or negative: the host reports it as is and
    // renders width x height pixels only when both are above 0.
    std::map<int, std::pair<int, int>> sizeOverride;
    std::map<int, int> samplesOverride;  // samples per channel; negative is reported, nothing is written

    std::pair<int, int> SizeOf(int frame) const {
        auto it = sizeOverride.find(frame);
        return it == sizeOverride.end() ? std::make_pair(width, height) : it->second;
    }
    int SamplesOf(int frame) const {
        auto it = samplesOverride.find(frame);
        return it == samplesOverride.end() ? samplesPerFrame : it->second;
    }
    // samplesPerFrame * videoRate / videoScale; 0 when the scale is not positive.
    double SampleRate() const {
        return videoScale > 0 ? static_cast<double>(samplesPerFrame) * videoRate / videoScale : 0.0;
    }
};

}  // namespace standin
