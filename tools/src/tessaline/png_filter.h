// The PNG Sub filter over one row: each byte less the byte one pixel (bpp bytes) to its left,
// the first pixel as it is. subFilterPlain is the reference; subFilter, eight bytes at a time,
// is what the encoder uses. Private to the PNG encoder (and its test).
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace Tessaline {

inline void subFilterPlain(const uint8_t* in, size_t n, size_t bpp, uint8_t* out)
{
    for (size_t x = 0; x < n; ++x) out[x] = uint8_t(in[x] - (x >= bpp ? in[x - bpp] : 0));
}

// Eight byte differences in one word. Each byte of a gets its top bit set and each of b loses
// it, so no byte borrows from the next; the last xor puts the top bits right again.
inline uint64_t subBytes(uint64_t a, uint64_t b)
{
    constexpr uint64_t top = 0x8080808080808080u;
    return ((a | top) - (b & ~top)) ^ ((a ^ ~b) & top);
}

// in and out must not overlap.
inline void subFilter(const uint8_t* in, size_t n, size_t bpp, uint8_t* out)
{
    size_t x = std::min(bpp, n);
    std::copy_n(in, x, out);
    for (; x + 8 <= n; x += 8) {
        uint64_t a, b;
        std::memcpy(&a, in + x, 8);
        std::memcpy(&b, in + x - bpp, 8);
        const uint64_t d = subBytes(a, b);
        std::memcpy(out + x, &d, 8);
    }
    for (; x < n; ++x) out[x] = uint8_t(in[x] - in[x - bpp]);
}

// The Sub filter of a grey row held as 4-byte pixels (three equal samples and a fourth byte):
// the grey sample is the pixel's first byte, so the row is filtered without narrowing it first.
// n is the number of pixels; from, the first one filtered.
inline void subFilterGray4Plain(const uint8_t* in, size_t n, uint8_t* out, size_t from = 0)
{
    for (size_t x = from; x < n; ++x) out[x] = uint8_t(in[4 * x] - (x ? in[4 * x - 4] : 0));
}

// Eight pixels a step: their first bytes gathered into a word, less the same word moved up by
// one sample (the previous step's last sample coming in at the bottom). The gathering takes a
// pixel's first byte for the word's lowest: other byte orders filter plainly.
inline void subFilterGray4(const uint8_t* in, size_t n, uint8_t* out)
{
    if constexpr (std::endian::native != std::endian::little) return subFilterGray4Plain(in, n, out);
    uint64_t last = 0;
    size_t x = 0;
    for (; x + 8 <= n; x += 8) {
        uint64_t g = 0;
        for (size_t k = 0; k < 4; ++k) {
            uint64_t pair;
            std::memcpy(&pair, in + 4 * (x + 2 * k), 8);
            g |= ((pair & 0xFF) | ((pair >> 24) & 0xFF00)) << (16 * k);
        }
        const uint64_t d = subBytes(g, (g << 8) | last);
        std::memcpy(out + x, &d, 8);
        last = g >> 56;
    }
    subFilterGray4Plain(in, n, out, x);
}

} // namespace Tessaline
