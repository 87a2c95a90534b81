// The PNG Sub filter over one row: each byte less the byte one pixel (bpp bytes) to its left,
// the first pixel as it is. subFilterPlain is the reference; subFilter, eight bytes at a time,
// is what the encoder uses. Private to the PNG encoder (and its test).
#pragma once

#include <algorithm>
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

} // namespace Tessaline
