// Nearest-neighbour reduction of a host picture to the cached size, with one
// ratio for both directions. Pure.
#pragma once

#include <cstdint>

// Writes a width x height picture of 3-byte pixels into target, sampling the
// srcWidth x srcHeight source (rows packed, in the host's order) with
// r = srcWidth / width in double precision: target pixel (x, y) takes source
// pixel (trunc(x r), trunc(y r)); a row past the source's last reads the last
// row. Does nothing unless all four sizes are above 0.
void ResampleFrame(unsigned char* target, const unsigned char* source, int32_t width, int32_t height,
                   int32_t srcWidth, int32_t srcHeight);
