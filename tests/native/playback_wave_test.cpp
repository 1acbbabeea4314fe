#include "cache/preview_cache.h"
#include "playback/wave_image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

uint32_t Get32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint32_t Get16(const unsigned char* p) { return p[0] | (p[1] << 8); }

TEST(WaveHeader, RatesFollowTheFrameRate) {
    struct Case {
        int line;
        int32_t channels, samplesPerFrame;
        double frameRate;
        uint32_t sampleRate, byteRate, blockAlign;
    };
    const Case cases[] = {
        {__LINE__, 1, 1470, 30.0, 44100, 88200, 2},
        // From p = 44085.91..., not from the truncated rate: 176343, not 176340.
        {__LINE__, 2, 1471, 30000.0 / 1001.0, 44085, 176343, 4},
        {__LINE__, 2, 1920, 25.0, 48000, 192000, 4},
    };
    for (const Case& c : cases) {
        WaveFormat format{};
        ASSERT_TRUE(ComputeWaveFormat(c.channels, c.channels * c.samplesPerFrame, c.frameRate, 7, &format))
            << "case at line " << c.line;
        unsigned char h[kWaveImageHeaderBytes];
        EncodeWaveHeader(format, h);
        const uint32_t data = 7u * c.samplesPerFrame * c.channels * 2;
        EXPECT_EQ(0, std::memcmp(h, "RIFF", 4)) << "case at line " << c.line;
        EXPECT_EQ(data + 38, Get32(h + 4)) << "case at line " << c.line;
        EXPECT_EQ(0, std::memcmp(h + 8, "WAVEfmt ", 8)) << "case at line " << c.line;
        EXPECT_EQ(18u, Get32(h + 16)) << "case at line " << c.line;
        EXPECT_EQ(1u, Get16(h + 20)) << "case at line " << c.line;
        EXPECT_EQ(static_cast<uint32_t>(c.channels), Get16(h + 22)) << "case at line " << c.line;
        EXPECT_EQ(c.sampleRate, Get32(h + 24)) << "case at line " << c.line;
        EXPECT_EQ(c.byteRate, Get32(h + 28)) << "case at line " << c.line;
        EXPECT_EQ(c.blockAlign, Get16(h + 32)) << "case at line " << c.line;
        EXPECT_EQ(16u, Get16(h + 34)) << "case at line " << c.line;
        EXPECT_EQ(0u, Get16(h + 36)) << "case at line " << c.line;
        EXPECT_EQ(0, std::memcmp(h + 38, "data", 4)) << "case at line " << c.line;
        EXPECT_EQ(data, Get32(h + 42)) << "case at line " << c.line;
    }
}

TEST(WaveHeader, ExactBytes) {
    WaveFormat format{};
    ASSERT_TRUE(ComputeWaveFormat(1, 1470, 30.0, 0, &format));
    unsigned char h[kWaveImageHeaderBytes];
    EncodeWaveHeader(format, h);
    const unsigned char want[kWaveImageHeaderBytes] = {
        'R', 'I', 'F', 'F', 38, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
        18, 0, 0, 0, 1, 0, 1, 0, 0x44, 0xAC, 0, 0, 0x88, 0x58, 1, 0,
        2, 0, 16, 0, 0, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0,
    };
    EXPECT_EQ(0, std::memcmp(want, h, sizeof h));
}

TEST(WaveHeader, NoPlayableFormat) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        int line;
        int32_t channels, frameSize;
        double frameRate;
    };
    const Case cases[] = {
        {__LINE__, 0, 2940, 30.0},  // no channels: no division, no sound
        {__LINE__, -2, 2940, 30.0},
        {__LINE__, 2, 2940, 0.0},
        {__LINE__, 2, 2940, -30.0},
        {__LINE__, 2, 2940, nan},
        {__LINE__, 2, 2940, inf},
        {__LINE__, 2, 0, 30.0},
        {__LINE__, 2, 2940, 1e300},  // beyond any 64-bit count
    };
    for (const Case& c : cases) {
        WaveFormat format{};
        EXPECT_FALSE(ComputeWaveFormat(c.channels, c.frameSize, c.frameRate, 1, &format)) << "case at line " << c.line;
    }
}

// An audio store of `slots` frames of two channels at 1470 samples each.
struct AudioCache {
    PreviewCache cache;
    AudioCache(uint32_t slots, uint32_t loaded, int32_t channels = 2, int32_t perChannel = 1470) {
        cache.frameRate = 30.0;
        cache.audio->channels = channels;
        cache.audio->frameSize = channels * perChannel;
        const uint32_t samples = slots * static_cast<uint32_t>(cache.audio->frameSize) + kWaveHeaderSamples;
        EXPECT_TRUE(cache.audio->Reserve(samples));
        cache.audio->capacity = slots;
        cache.loadedCount = loaded;
        for (uint32_t k = 0; k < slots; ++k) {
            short* slot = cache.audio->FrameAt(k);
            for (int32_t i = 0; i < cache.audio->frameSize; ++i) slot[i] = static_cast<short>(k * 100 + i % 7);
        }
    }
    const unsigned char* Base() const { return static_cast<const unsigned char*>(cache.audio->block->base); }
};

TEST(WaveImage, CoversTheLoadedSlotsOnly) {
    AudioCache a(100, 2);
    const void* image = a.cache.BuildWaveImage();
    ASSERT_EQ(a.Base(), image);
    const uint32_t data = 2u * 1470 * 2 * 2;
    EXPECT_EQ(data, Get32(a.Base() + 42));
    EXPECT_EQ(data + 38, Get32(a.Base() + 4));
    // The first sample of slot 0 lies right behind the header.
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(a.cache.audio->FrameAt(0)), a.Base() + 46);

    unsigned char first[kWaveImageHeaderBytes];
    std::memcpy(first, a.Base(), sizeof first);
    EXPECT_EQ(image, a.cache.BuildWaveImage());
    EXPECT_EQ(0, std::memcmp(first, a.Base(), sizeof first)) << "a second call writes the same bytes";
}

TEST(WaveImage, NullWithoutBlockOrChannels) {
    {
        PreviewCache empty;
        EXPECT_EQ(nullptr, empty.BuildWaveImage());
    }
    AudioCache a(4, 4);
    a.cache.audio->channels = 0;
    std::vector<unsigned char> before(a.Base(), a.Base() + kWaveImageHeaderBytes);
    EXPECT_EQ(nullptr, a.cache.BuildWaveImage());
    EXPECT_EQ(0, std::memcmp(before.data(), a.Base(), before.size())) << "nothing written";

    a.cache.audio->channels = 2;
    a.cache.ReleaseFrameMemory();
    EXPECT_EQ(nullptr, a.cache.BuildWaveImage());
}

TEST(WaveImage, DataNeverReachesPastTheSlots) {
    // A loaded count above the capacity (never so in a sound cache) must not
    // make the sound player read beyond the block.
    AudioCache a(3, 50);
    ASSERT_NE(nullptr, a.cache.BuildWaveImage());
    EXPECT_EQ(3u * 1470 * 2 * 2, Get32(a.Base() + 42));
}

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
        pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

// A WAV reader of its own, not ours, must read what the header says.
TEST(WaveImage, ReadBySox) {
    if (std::system("command -v soxi >/dev/null 2>&1") != 0) GTEST_SKIP() << "soxi is not installed";
    AudioCache a(10, 6, 2, 1471);
    a.cache.frameRate = 30000.0 / 1001.0;
    const auto* image = static_cast<const unsigned char*>(a.cache.BuildWaveImage());
    ASSERT_NE(nullptr, image);
    const uint32_t length = 8 + Get32(image + 4);

    char path[] = "/tmp/tavelin_wave_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(static_cast<ssize_t>(length), write(fd, image, length));
    close(fd);
    const std::string file = std::string("'") + path + "'";
    EXPECT_EQ("2", Output("soxi -c " + file + " 2>&1"));
    EXPECT_EQ("44085", Output("soxi -r " + file + " 2>&1"));
    EXPECT_EQ("16", Output("soxi -b " + file + " 2>&1"));
    EXPECT_EQ(std::to_string(6 * 1471), Output("soxi -s " + file + " 2>&1")) << "samples per channel";
    unlink(path);
}

}  // namespace
