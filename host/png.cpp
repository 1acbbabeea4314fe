#include "host/png.h"

#include <algorithm>
#include <cstdio>

namespace standin {

namespace {

struct CrcTable {
    uint32_t entries[256];
    CrcTable() {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[n] = c;
        }
    }
};

void PutBig32(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 24));
    out.push_back(static_cast<uint8_t>(value >> 16));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void PutChunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& data) {
    PutBig32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBig32(out, Crc32(&out[start], out.size() - start));
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
    static const CrcTable table;
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = table.entries[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint32_t Adler32(const uint8_t* data, size_t size, uint32_t adler) {
    uint32_t a = adler & 0xFFFF, b = adler >> 16;
    for (size_t i = 0; i < size; ++i) {
        a = (a + data[i]) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

std::vector<uint8_t> EncodePng(const Image& image) {
    if (image.Empty() || image.bgr.size() < static_cast<size_t>(image.width) * image.height * 3) return {};
    // Rows of RGB, each behind filter byte 0 (none).
    const size_t rowBytes = static_cast<size_t>(image.width) * 3 + 1;
    std::vector<uint8_t> raw(rowBytes * image.height);
    for (int y = 0; y < image.height; ++y) {
        uint8_t* row = &raw[rowBytes * y];
        row[0] = 0;
        const uint8_t* in = &image.bgr[static_cast<size_t>(y) * image.width * 3];
        for (int x = 0; x < image.width; ++x, in += 3) {
            row[1 + 3 * x] = in[2];
            row[2 + 3 * x] = in[1];
            row[3 + 3 * x] = in[0];
        }
    }

    // zlib stream of stored (uncompressed) deflate blocks of at most 65535 bytes.
    std::vector<uint8_t> zlib = {0x78, 0x01};
    size_t offset = 0;
    do {
        const size_t length = std::min<size_t>(65535, raw.size() - offset);
        const bool last = offset + length == raw.size();
        zlib.push_back(last ? 1 : 0);
        zlib.push_back(static_cast<uint8_t>(length));
        zlib.push_back(static_cast<uint8_t>(length >> 8));
        zlib.push_back(static_cast<uint8_t>(~length));
        zlib.push_back(static_cast<uint8_t>(~length >> 8));
        zlib.insert(zlib.end(), raw.begin() + offset, raw.begin() + offset + length);
        offset += length;
    } while (offset < raw.size());
    PutBig32(zlib, Adler32(raw.data(), raw.size()));

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    PutBig32(header, static_cast<uint32_t>(image.width));
    PutBig32(header, static_cast<uint32_t>(image.height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, adaptive filtering, no interlace
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", zlib);
    PutChunk(png, "IEND", {});
    return png;
}

bool WritePngFile(const Image& image, const std::string& path) {
    const std::vector<uint8_t> png = EncodePng(image);
    if (png.empty()) return false;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace standin
