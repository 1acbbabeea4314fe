// The arithmetic that fits a run into memory: cached picture shape, slot
// counts and the run's length. Pure: the stores and SizeRun feed it the
// host's answers.
#pragma once

#include <cstddef>
#include <cstdint>

struct VideoShape {
    int32_t width = 0;  // multiple of 4; 0 when the host's size cannot be cached
    int32_t height = 0;
    int32_t frameSize = 0;  // width x height x 3 bytes; 0 likewise
};

// One side of the cached picture: host side x scale, truncated, then made a
// multiple of 4 by always adding (320 -> 324, 321 -> 324, 0 -> 4). False for
// a negative host side or a product that no 32-bit side can hold.
bool CachedSide(int32_t hostSide, double scale, int32_t& side);

// The cached picture for a host frame of w x h at this scale; all zero when it
// cannot be cached (a negative side, or a slot past 2 GiB).
VideoShape ShapeVideo(int32_t w, int32_t h, double scale);

// Whole picture slots in a block of `blockBytes`; 0 without a slot size.
uint32_t VideoCapacity(uint32_t blockBytes, int32_t frameSize);

// Samples in one audio slot: channels x samples per channel; 0 when either is
// not above 0 or the product passes 32 bits.
int32_t AudioFrameSize(int32_t channels, int32_t samplesPerChannel);

// Whole audio slots behind the 23-sample header in a block of `blockSamples`.
uint32_t AudioCapacity(uint32_t blockSamples, int32_t frameSize);

// The audio block for as many frames as the video store holds, header and 23
// spare samples included: videoCapacity x frameSize + 46, in unsigned 32-bit
// arithmetic (it wraps; the capacity then follows the smaller block).
uint32_t AudioBlockSamples(uint32_t videoCapacity, int32_t audioFrameSize);

// The run's length: the smallest of requested and both capacities, cut at the
// project's end. A first frame outside [0, total) gives 0.
uint32_t RunLength(uint32_t requested, uint32_t videoCapacity, uint32_t audioCapacity, int32_t first,
                   int32_t total);

// Bytes of a host picture of w x h pixels: 0 when a side is not above 0.
// False when the count does not fit in size_t.
bool PictureBytes(int32_t w, int32_t h, size_t& bytes);
