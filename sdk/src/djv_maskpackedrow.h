// One mask row as packed bits, for area averaging by bit counts instead of run by run.
//
// Bit i of the row (most significant bit of each byte first) is mask column x0 + i. Pieces are
// ORed in, so shapes drawn over each other need no ordering: in one colour, what shows is the
// union. A row whose pieces differ in colour is marked mixed; MaskColourPlanes keeps such a row
// as one of these per colour.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "djv_types.h"
#include "vtx_memory.h"

namespace _Vtx_Internal_NS_ {

// Set bits of v. Without a popcount instruction in the target, std::popcount is a library call
// on the hottest path of mask shrinking; these few shifts and one multiply stay inline.
inline uint32_t countBits(uint64_t v)
{
#ifdef __POPCNT__
    return uint32_t(std::popcount(v));
#else
    v -= (v >> 1) & 0x5555555555555555u;
    v = (v & 0x3333333333333333u) + ((v >> 2) & 0x3333333333333333u);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return uint32_t((v * 0x0101010101010101u) >> 56);
#endif
}

// Colours compared as one word: the member-wise comparison is four, once per piece of a row.
inline bool sameColour(const Vantorix::DjVu::Color& a, const Vantorix::DjVu::Color& b)
{
    static_assert(sizeof(Vantorix::DjVu::Color) == sizeof(uint32_t));
    return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}

class MaskPackedRow {
public:
    // Clears the row for mask columns [x0, x1).
    void reset(uint32_t x0, uint32_t x1)
    {
        if (lo_ < hi_) std::memset(bits_.data() + ((lo_ - x0_) >> 3), 0, ((hi_ - x0_ + 7) >> 3) - ((lo_ - x0_) >> 3));
        const uint32_t bytes = ((x1 - x0 + 7) >> 3) + 8; // whole words may be read and written at the end
        if (bytes > bits_.size()) {
            bits_.resize(bytes);
            std::memset(bits_.data(), 0, bytes);
        }
        x0_ = x0;
        x1_ = x1;
        lo_ = ~0u;
        hi_ = 0;
        mixed_ = false;
    }

    // Sets columns [begin, end), clipped to the row.
    void setRun(uint32_t begin, uint32_t end, const Vantorix::DjVu::Color& colour)
    {
        if (!clip(begin, end)) return;
        note(begin, end, colour);
        runChunks(begin, end, [this](uint32_t p, uint64_t v) { orChunk(p, v); });
    }
    // Clears columns [begin, end), clipped to the row; the row's range stays as it was.
    void clearRun(uint32_t begin, uint32_t end)
    {
        if (clip(begin, end)) runChunks(begin, end, [this](uint32_t p, uint64_t v) { clearChunk(p, v); });
    }

    // ORs bits [from, to) of a packed row in at mask column at; the columns at .. at + to - from
    // lie in the row, and the source row is readable for eight bytes past bit `to`.
    void blit(const uint8_t* row, uint32_t from, uint32_t to, uint32_t at, const Vantorix::DjVu::Color& colour)
    {
        if (from >= to) return;
        note(at, at + (to - from), colour);
        bitChunks(row, from, to, at, [this](uint32_t p, uint64_t v) { orChunk(p, v); });
    }
    // Clears the columns that blit would set; the row's range stays as it was.
    void clearBits(const uint8_t* row, uint32_t from, uint32_t to, uint32_t at)
    {
        bitChunks(row, from, to, at, [this](uint32_t p, uint64_t v) { clearChunk(p, v); });
    }

    // Set bits among mask columns [a, b), a subrange of the row.
    uint32_t count(uint32_t a, uint32_t b) const
    {
        uint32_t total = 0;
        for (uint32_t p = a - x0_, n = b - a; n;) {
            const uint32_t k = n < kChunk ? n : kChunk;
            total += countBits(load(p) & (~uint64_t(0) << (64 - k)));
            p += k;
            n -= k;
        }
        return total;
    }
    // Adds the bits of in, a row over the same columns, as one binary digit per column: this
    // row keeps the sums and in is left with the carries. Returns whether any carry is set.
    // Rows stacked this way count, per column, how many of them have it set.
    bool addDigit(MaskPackedRow& in)
    {
        if (in.lo_ >= in.hi_) return false;
        if (lo_ >= hi_) colour_ = in.colour_;
        // Whole words: both rows are clear outside the columns they were given, up to the
        // padding behind their last byte.
        const uint32_t end = (in.hi_ - x0_ + 7) >> 3;
        uint64_t anyCarry = 0;
        for (uint32_t b = (in.lo_ - x0_) >> 3; b < end; b += 8) {
            uint64_t sum, carry;
            std::memcpy(&sum, bits_.data() + b, 8);
            std::memcpy(&carry, in.bits_.data() + b, 8);
            const uint64_t both = sum & carry;
            sum ^= carry;
            std::memcpy(bits_.data() + b, &sum, 8);
            std::memcpy(in.bits_.data() + b, &both, 8);
            anyCarry |= both;
        }
        if (in.lo_ < lo_) lo_ = in.lo_;
        if (in.hi_ > hi_) hi_ = in.hi_;
        return anyCarry != 0;
    }

    // The first set column in [x, end), or end; end at most the row's end.
    uint32_t nextSet(uint32_t x, uint32_t end) const
    {
        while (x < end) {
            const uint64_t v = load(x - x0_);
            const uint32_t zeros = uint32_t(std::countl_zero(v)), valid = 64 - ((x - x0_) & 7);
            if (zeros < valid) return x + zeros < end ? x + zeros : end;
            x += valid;
        }
        return end;
    }
    // Mask columns [a, a + n) in the top n bits, n at most kWindow.
    uint64_t window(uint32_t a, uint32_t n) const { return load(a - x0_) & (~uint64_t(0) << (64 - n)); }
    bool test(uint32_t x) const
    {
        const uint32_t p = x - x0_;
        return (bits_[p >> 3] >> (7 - (p & 7))) & 1;
    }

    bool empty() const { return lo_ >= hi_; }
    bool mixed() const { return mixed_; }
    // The colour of every piece (valid when not empty and not mixed).
    const Vantorix::DjVu::Color& colour() const { return colour_; }
    uint32_t lo() const { return lo_; } // first column set
    uint32_t hi() const { return hi_; } // one past the last column set

    // At most 56 bits go at a time, so that a chunk shifted to any bit of a byte fits a word.
    static constexpr uint32_t kWindow = 56;

private:
    static constexpr uint32_t kChunk = kWindow;

    void note(uint32_t begin, uint32_t end, const Vantorix::DjVu::Color& colour)
    {
        if (lo_ >= hi_)
            colour_ = colour;
        else if (!sameColour(colour, colour_))
            mixed_ = true;
        if (begin < lo_) lo_ = begin;
        if (end > hi_) hi_ = end;
    }
    // The 64 bits from bit p on, first bit highest.
    uint64_t load(uint32_t p) const
    {
        uint64_t v;
        std::memcpy(&v, bits_.data() + (p >> 3), 8);
        return __builtin_bswap64(v) << (p & 7);
    }
    bool clip(uint32_t& begin, uint32_t& end) const
    {
        if (begin < x0_) begin = x0_;
        if (end > x1_) end = x1_;
        return begin < end;
    }
    // Calls op(bit, chunk) for the set columns [begin, end) of the row, in chunks of kChunk.
    template <class Op>
    void runChunks(uint32_t begin, uint32_t end, Op&& op)
    {
        for (uint32_t p = begin - x0_, n = end - begin; n;) {
            const uint32_t k = n < kChunk ? n : kChunk;
            op(p, ~uint64_t(0) << (64 - k));
            p += k;
            n -= k;
        }
    }
    // Calls op(bit, chunk) for the nonzero chunks of bits [from, to) of a packed row put at column at.
    template <class Op>
    void bitChunks(const uint8_t* row, uint32_t from, uint32_t to, uint32_t at, Op&& op)
    {
        for (uint32_t i = from, p = at - x0_; i < to;) {
            const uint32_t k = to - i < kChunk ? to - i : kChunk;
            uint64_t v;
            std::memcpy(&v, row + (i >> 3), 8);
            v = (__builtin_bswap64(v) << (i & 7)) & (~uint64_t(0) << (64 - k));
            if (v) op(p, v);
            i += k;
            p += k;
        }
    }
    // ORs a chunk of at most 56 bits (highest first) in at bit p.
    void orChunk(uint32_t p, uint64_t v)
    {
        uint8_t* d = bits_.data() + (p >> 3);
        uint64_t w;
        std::memcpy(&w, d, 8);
        w |= __builtin_bswap64(v >> (p & 7));
        std::memcpy(d, &w, 8);
    }
    // Clears the set bits of a chunk at bit p.
    void clearChunk(uint32_t p, uint64_t v)
    {
        uint8_t* d = bits_.data() + (p >> 3);
        uint64_t w;
        std::memcpy(&w, d, 8);
        w &= ~__builtin_bswap64(v >> (p & 7));
        std::memcpy(d, &w, 8);
    }

    Vantorix::SimpleArray<uint8_t> bits_;
    uint32_t x0_ = 0, x1_ = 0, lo_ = ~0u, hi_ = 0;
    Vantorix::DjVu::Color colour_{};
    bool mixed_ = false;
};

} // namespace _Vtx_Internal_NS_
