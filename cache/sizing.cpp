#include "cache/sizing.h"

#include "cache/memory_store.h"

#include <algorithm>
#include <limits>

bool CachedSide(int32_t hostSide, double scale, int32_t& side) {
    if (hostSide < 0) return false;
    const double scaled = static_cast<double>(hostSide) * scale;
    // Truncation toward zero must land in [0, INT32_MAX - 4] so that adding 4 fits.
    if (!(scaled > -1.0 && scaled < 2147483644.0)) return false;
    const int32_t truncated = static_cast<int32_t>(scaled);
    side = truncated - truncated % 4 + 4;
    return true;
}

VideoShape ShapeVideo(int32_t w, int32_t h, double scale) {
    VideoShape shape;
    int32_t width = 0, height = 0;
    if (!CachedSide(w, scale, width) || !CachedSide(h, scale, height)) return shape;
    const int64_t bytes = int64_t{width} * height * 3;
    if (bytes > std::numeric_limits<int32_t>::max()) return shape;
    shape.width = width;
    shape.height = height;
    shape.frameSize = static_cast<int32_t>(bytes);
    return shape;
}

uint32_t VideoCapacity(uint32_t blockBytes, int32_t frameSize) {
    return frameSize > 0 ? blockBytes / static_cast<uint32_t>(frameSize) : 0;
}

int32_t AudioFrameSize(int32_t channels, int32_t samplesPerChannel) {
    if (channels <= 0 || samplesPerChannel <= 0) return 0;
    const int64_t samples = int64_t{channels} * samplesPerChannel;
    return samples > std::numeric_limits<int32_t>::max() ? 0 : static_cast<int32_t>(samples);
}

uint32_t AudioCapacity(uint32_t blockSamples, int32_t frameSize) {
    if (frameSize <= 0 || blockSamples < kWaveHeaderSamples) return 0;
    return (blockSamples - kWaveHeaderSamples) / static_cast<uint32_t>(frameSize);
}

uint32_t AudioBlockSamples(uint32_t videoCapacity, int32_t audioFrameSize) {
    return videoCapacity * static_cast<uint32_t>(audioFrameSize) + kWaveHeaderBytes;
}

uint32_t RunLength(uint32_t requested, uint32_t videoCapacity, uint32_t audioCapacity, int32_t first,
                   int32_t total) {
    uint32_t count = std::min({requested, videoCapacity, audioCapacity});
    // Checked in 64 bits: a first frame at or past the end would otherwise
    // wrap total - first into a run of billions of frames.
    if (first < 0 || first >= total) return 0;
    if (int64_t{first} + count > total) count = static_cast<uint32_t>(total - first);
    return count;
}

bool PictureBytes(int32_t w, int32_t h, size_t& bytes) {
    bytes = 0;
    if (w <= 0 || h <= 0) return true;
    const uint64_t count = uint64_t(uint32_t(w)) * uint32_t(h) * 3;
    if (static_cast<uint64_t>(static_cast<size_t>(count)) != count) return false;
    bytes = static_cast<size_t>(count);
    return true;
}
