// The RIFF/WAVE header that turns the audio block into a WAV file image the
// sound player can read from memory.
#pragma once

#include <cstdint>

inline constexpr uint32_t kWaveImageHeaderBytes = 46;

struct WaveFormat {
    uint16_t channels;
    uint32_t sampleRate;
    uint32_t byteRate;
    uint16_t blockAlign;
    uint32_t dataBytes;
};

// The format of `loadedCount` frames of `frameSize` interleaved 16-bit samples
// (all channels together) played at `frameRate` frames per second: the
// sample rate is chosen so that one frame's samples last one frame period.
// False when no playable format follows: no channels, or a rate that gives no
// samples per second (zero, negative, not finite or beyond any counter).
bool ComputeWaveFormat(int32_t channels, int32_t frameSize, double frameRate, uint32_t loadedCount,
                       WaveFormat* format);

// The 46 header bytes: RIFF and WAVE tags, an 18-byte PCM format chunk
// (extension size 0) and the data chunk's tag and size.
void EncodeWaveHeader(const WaveFormat& format, unsigned char (&header)[kWaveImageHeaderBytes]);
