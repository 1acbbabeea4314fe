#include "cache/resample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The mapping as written, one pixel at a time.
void PlainResample(unsigned char* target, const unsigned char* source, int width, int height, int w, int h) {
    const double r = static_cast<double>(w) / width;
    for (int y = 0; y < height; ++y) {
        const int sy = std::min(static_cast<int>(y * r), h - 1);
        for (int x = 0; x < width; ++x) {
            const int sx = static_cast<int>(x * r);
            std::memcpy(target + (static_cast<size_t>(y) * width + x) * 3,
                        source + (static_cast<size_t>(sy) * w + sx) * 3, 3);
        }
    }
}

// Every source pixel different: its index in 24 bits.
std::vector<unsigned char> NumberedPicture(int w, int h) {
    std::vector<unsigned char> picture(static_cast<size_t>(w) * h * 3);
    for (size_t i = 0; i < picture.size() / 3; ++i) {
        picture[i * 3] = static_cast<unsigned char>(i);
        picture[i * 3 + 1] = static_cast<unsigned char>(i >> 8);
        picture[i * 3 + 2] = static_cast<unsigned char>(i >> 16);
    }
    return picture;
}

uint32_t SourceIndex(const std::vector<unsigned char>& target, int width, int x, int y) {
    const size_t at = (static_cast<size_t>(y) * width + x) * 3;
    return target[at] | target[at + 1] << 8 | target[at + 2] << 16;
}

}  // namespace

TEST(CacheResample, BitIdenticalToTheMappingAsWritten) {
    struct Case {
        int w, h, width, height;
    } cases[] = {
        {640, 480, 644, 484},    // quality 100
        {640, 480, 324, 244},    // 50
        {640, 480, 164, 124},    // 25
        {640, 480, 196, 148},    // 30
        {320, 240, 324, 244},    // 100 on a small frame: last rows past the source
        {321, 241, 324, 244},
        {100, 100, 32, 32},      // 29
        {1920, 1080, 964, 544},  // 50
        {1920, 1080, 484, 272},  // 25
        {1920, 1080, 1924, 1084},
        {1280, 720, 1284, 724},
        {640, 480, 4, 4},        // quality 0
        {1, 1, 4, 4},
        {3, 2, 4, 4},
        {7, 5, 8, 4},
        {5, 300, 8, 4},          // a tall source
        {2, 2, 40, 40},          // a tiny source blown up
        {4100, 3, 4104, 8},      // wider than one strip of columns
        {9000, 2, 2052, 4},
        {80, 60, 68, 52},        // a frame larger than the cached size
        {32, 24, 68, 52},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " -> " + std::to_string(c.width) + "x" +
                     std::to_string(c.height));
        const std::vector<unsigned char> source = NumberedPicture(c.w, c.h);
        const size_t bytes = static_cast<size_t>(c.width) * c.height * 3;
        // Guard bytes on both sides of the target: nothing written outside it.
        std::vector<unsigned char> fast(bytes + 64, 0xA5), plain(bytes, 0);
        ResampleFrame(fast.data() + 32, source.data(), c.width, c.height, c.w, c.h);
        PlainResample(plain.data(), source.data(), c.width, c.height, c.w, c.h);
        const auto mismatch = std::mismatch(plain.begin(), plain.end(), fast.begin() + 32);
        EXPECT_TRUE(mismatch.first == plain.end())
            << "first difference at target pixel " << (mismatch.first - plain.begin()) / 3;
        EXPECT_TRUE(std::all_of(fast.begin(), fast.begin() + 32, [](unsigned char b) { return b == 0xA5; }));
        EXPECT_TRUE(std::all_of(fast.end() - 32, fast.end(), [](unsigned char b) { return b == 0xA5; }));
    }
}

TEST(CacheResample, WorkedExamples) {
    {
        // 640 wide at quality 50: r = 640 / 324.
        const auto source = NumberedPicture(640, 480);
        std::vector<unsigned char> target(324 * 244 * 3);
        ResampleFrame(target.data(), source.data(), 324, 244, 640, 480);
        const int rows[] = {0, 1, 3, 5, 7};
        for (int y = 0; y < 5; ++y) EXPECT_EQ(SourceIndex(target, 324, 0, y), rows[y] * 640u) << "target row " << y;
        EXPECT_EQ(SourceIndex(target, 324, 323, 0), 638u) << "last target column";
        EXPECT_EQ(SourceIndex(target, 324, 0, 243), 479u * 640) << "row 243 maps to 480: the last row instead";
    }
    {
        // 320 wide at quality 100: r = 320 / 324, sampled up.
        const auto source = NumberedPicture(320, 240);
        std::vector<unsigned char> target(324 * 244 * 3);
        ResampleFrame(target.data(), source.data(), 324, 244, 320, 240);
        EXPECT_EQ(SourceIndex(target, 324, 0, 0), 0u);
        EXPECT_EQ(SourceIndex(target, 324, 0, 1), 0u) << "rows 0 and 1 both take source row 0";
        EXPECT_EQ(SourceIndex(target, 324, 5, 243), 239u * 320 + 4) << "row 243 maps to 240: the last row instead";
        EXPECT_EQ(SourceIndex(target, 324, 323, 242), 239u * 320 + 319);
    }
}

TEST(CacheResample, NothingForAnEmptySize) {
    const auto source = NumberedPicture(4, 4);
    std::vector<unsigned char> target(48, 0xA5);
    ResampleFrame(target.data(), source.data(), 4, 4, 0, 4);
    ResampleFrame(target.data(), source.data(), 4, 4, 4, -1);
    ResampleFrame(target.data(), source.data(), 0, 4, 4, 4);
    EXPECT_TRUE(std::all_of(target.begin(), target.end(), [](unsigned char b) { return b == 0xA5; }));
}
