#include "playback/wave_image.h"

#include "cache/preview_cache.h"

#include <cmath>
#include <cstring>

static_assert(kWaveImageHeaderBytes == kWaveHeaderBytes, "the audio block keeps room for exactly this header");

namespace {

// Low 32 bits of the value truncated to 64 bits; false when no 64-bit integer holds it.
bool LowBitsOfTruncated(double value, uint32_t* out) {
    if (!std::isfinite(value) || value <= -9223372036854775808.0 || value >= 9223372036854775808.0) return false;
    *out = static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(value)));
    return true;
}

void Put16(unsigned char* at, uint32_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

void Put32(unsigned char* at, uint32_t value) {
    Put16(at, value);
    Put16(at + 2, value >> 16);
}

}  // namespace

bool ComputeWaveFormat(int32_t channels, int32_t frameSize, double frameRate, uint32_t loadedCount,
                       WaveFormat* format) {
    if (channels <= 0) return false;
    const uint32_t n = static_cast<uint32_t>(frameSize / channels);  // samples per channel of one frame
    const double p = static_cast<double>(n) * frameRate;
    // A sample rate below 1 is no rate at all; the sound player would get 0 bytes per second.
    if (!(p >= 1.0)) return false;
    uint32_t sampleRate;
    uint32_t byteRate;
    if (!LowBitsOfTruncated(p, &sampleRate) || !LowBitsOfTruncated(p * channels * 2.0, &byteRate)) return false;
    const uint32_t count = static_cast<uint32_t>(channels);
    format->channels = static_cast<uint16_t>(count);
    format->sampleRate = sampleRate;
    format->byteRate = byteRate;  // from p, so it may exceed sampleRate x blockAlign by a little
    format->blockAlign = static_cast<uint16_t>(count * 2u);
    format->dataBytes = loadedCount * n * count * 2u;
    return true;
}

void EncodeWaveHeader(const WaveFormat& format, unsigned char (&header)[kWaveImageHeaderBytes]) {
    std::memcpy(header + 0, "RIFF", 4);
    Put32(header + 4, format.dataBytes + 38u);
    std::memcpy(header + 8, "WAVE", 4);
    std::memcpy(header + 12, "fmt ", 4);
    Put32(header + 16, 18);
    Put16(header + 20, 1);  // PCM
    Put16(header + 22, format.channels);
    Put32(header + 24, format.sampleRate);
    Put32(header + 28, format.byteRate);
    Put16(header + 32, format.blockAlign);
    Put16(header + 34, 16);
    Put16(header + 36, 0);
    std::memcpy(header + 38, "data", 4);
    Put32(header + 42, format.dataBytes);
}

const void* PreviewCache::BuildWaveImage() {
    if (!audio || !audio->block || !audio->block->base) return nullptr;
    // The data chunk never claims more slots than the block holds: the sound
    // player reads as far as the header says.
    uint32_t loaded = loadedCount.load();
    if (loaded > audio->capacity) loaded = audio->capacity;
    WaveFormat format{};
    if (!ComputeWaveFormat(audio->channels, audio->frameSize, frameRate, loaded, &format)) return nullptr;
    unsigned char header[kWaveImageHeaderBytes];
    EncodeWaveHeader(format, header);
    std::memcpy(audio->block->base, header, sizeof header);
    return audio->block->base;
}
