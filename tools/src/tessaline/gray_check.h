// Whether every pixel of a picture is grey (its three samples equal), so that a PNG file can
// hold one sample a pixel instead of three. isGrayPlain is the reference; isGray, a word at a
// time and without a branch inside a row, is what the encoder uses. Private to image_output
// (and its test).
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "image_output.h"

namespace Tessaline {

inline bool isGrayPlain(const PixelView& v)
{
    if (v.layout == PixelLayout::Gray) return true;
    const uint32_t step = v.layout == PixelLayout::BGRX ? 4 : 3;
    for (uint32_t y = 0; y < v.height; ++y) {
        const uint8_t* s = v.pixels + ptrdiff_t(y) * v.stride;
        for (uint32_t x = 0; x < v.width; ++x, s += step)
            if (s[0] != s[1] || s[1] != s[2]) return false;
    }
    return true;
}

// Non-zero when a pixel of the row is not grey. Two 4-byte pixels a word: xored with itself
// moved by one byte, the word holds each sample's difference from its neighbour, and the masked
// bytes are those of the first and second, and second and third samples of each pixel.
inline uint64_t colourIn4ByteRow(const uint8_t* s, uint32_t width)
{
    constexpr uint64_t samplePairs =
        std::endian::native == std::endian::little ? 0x0000FFFF0000FFFFu : 0x00FFFF0000FFFF00u;
    uint64_t colour = 0;
    uint32_t x = 0;
    for (; x + 2 <= width; x += 2) {
        uint64_t p;
        std::memcpy(&p, s + 4 * size_t(x), 8);
        colour |= (p ^ (p >> 8)) & samplePairs;
    }
    if (x < width) colour |= uint64_t(s[4 * x] ^ s[4 * x + 1]) | uint64_t(s[4 * x + 1] ^ s[4 * x + 2]);
    return colour;
}

inline uint32_t colourIn3ByteRow(const uint8_t* s, uint32_t width)
{
    uint32_t colour = 0;
    for (uint32_t x = 0; x < width; ++x, s += 3) colour |= uint32_t(s[0] ^ s[1]) | uint32_t(s[1] ^ s[2]);
    return colour;
}

// Stops at the first row with colour in it.
inline bool isGray(const PixelView& v)
{
    if (v.layout == PixelLayout::Gray) return true;
    for (uint32_t y = 0; y < v.height; ++y) {
        const uint8_t* s = v.pixels + ptrdiff_t(y) * v.stride;
        if (v.layout == PixelLayout::BGRX ? colourIn4ByteRow(s, v.width) : colourIn3ByteRow(s, v.width)) return false;
    }
    return true;
}

} // namespace Tessaline
