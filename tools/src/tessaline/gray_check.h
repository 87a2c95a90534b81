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

// Non-zero when a pixel of the row is not grey. A 4-byte pixel is grey when shifting it by one
// byte leaves its low three bytes' pairs equal: the xor of the two is zero in its low 16 bits.
static_assert(std::endian::native == std::endian::little, "the first byte of a pixel is the word's lowest");

inline uint32_t colourIn4ByteRow(const uint8_t* s, uint32_t width)
{
    uint32_t colour = 0;
    for (uint32_t x = 0; x < width; ++x) {
        uint32_t p;
        std::memcpy(&p, s + 4 * size_t(x), 4);
        colour |= (p ^ (p >> 8)) & 0xFFFFu;
    }
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
