// Runs of set pixels in packed bilevel rows (most significant bit leftmost), found a word at a
// time so that white stretches cost one test per 64 pixels. The rows must be readable for eight
// bytes past their end (ShapeBitmap pads its storage).
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace _Vtx_Internal_NS_ {

// Up to 64 bits of row from bit i on, in the top bits of the result; avail gets how many of
// them belong to the row's bytes (at least 1 while i < rowBytes * 8). Reads eight bytes from the
// byte of bit i: shape bitmaps keep zero padding behind their last row for this.
inline uint64_t loadBits(const uint8_t* row, uint32_t rowBytes, uint32_t i, uint32_t& avail)
{
    const uint32_t byte = i >> 3, shift = i & 7, left = rowBytes - byte;
    uint64_t v;
    std::memcpy(&v, row + byte, 8);
    v = __builtin_bswap64(v);
    if (left < 8) {
        v &= ~uint64_t(0) << (64 - 8 * left);
        avail = 8 * left - shift;
    } else {
        avail = 64 - shift;
    }
    return v << shift;
}

// First set bit in [i, end), or end.
inline uint32_t nextSetBit(const uint8_t* row, uint32_t rowBytes, uint32_t i, uint32_t end)
{
    while (i < end) {
        uint32_t avail;
        uint64_t v = loadBits(row, rowBytes, i, avail);
        if (v) {
            uint32_t p = i + uint32_t(std::countl_zero(v));
            return p < end ? p : end;
        }
        i += avail;
    }
    return end;
}

// First clear bit in [i, end), or end.
inline uint32_t nextClearBit(const uint8_t* row, uint32_t rowBytes, uint32_t i, uint32_t end)
{
    while (i < end) {
        uint32_t avail;
        uint64_t v = ~loadBits(row, rowBytes, i, avail);
        uint32_t n = uint32_t(std::countl_zero(v));
        if (n < avail) {
            uint32_t p = i + n;
            return p < end ? p : end;
        }
        i += avail;
    }
    return end;
}

// Calls run(begin, end) for every run of set bits within bits [first, end) of a row.
template <class Run>
inline bool forEachRun(const uint8_t* row, uint32_t rowBytes, uint32_t first, uint32_t end, Run&& run)
{
    bool any = false;
    uint32_t i = first;
    for (;;) {
        i = nextSetBit(row, rowBytes, i, end);
        if (i >= end) return any;
        uint32_t j = nextClearBit(row, rowBytes, i + 1, end);
        run(i, j);
        any = true;
        i = j;
    }
}

} // namespace _Vtx_Internal_NS_
