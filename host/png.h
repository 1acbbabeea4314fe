// Captured images and a small PNG writer of our own: 8-bit RGB, no filtering,
// zlib stored blocks (no compression), so no library is needed. No windows.h.
#pragma once

#include "host/patterns.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace standin {

// A captured picture: width x height pixels of 3 bytes (blue, green, red),
// rows packed, TOP row first (as on the screen).
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgr;

    Bgr At(int x, int y) const {
        const uint8_t* p = &bgr[(static_cast<size_t>(y) * width + x) * 3];
        return Bgr{p[0], p[1], p[2]};
    }
    bool Empty() const { return width <= 0 || height <= 0; }
};

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
uint32_t Adler32(const uint8_t* data, size_t size, uint32_t adler = 1);

// The complete PNG file for the image; empty for an empty image.
std::vector<uint8_t> EncodePng(const Image& image);
// Writes EncodePng(image) to path; false if the image is empty or the file
// cannot be written.
bool WritePngFile(const Image& image, const std::string& path);

}  // namespace standin
