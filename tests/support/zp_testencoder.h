// A ZP encoder for tests: produces byte streams that the library's ZPDecoder reads back as the
// bits given here, so tests can craft exact coded payloads (edge cases, hostile blocks).
//
// The decoder keeps the interval as [a, 0x10000) in units of 2^-(16+k) after k shifts, with
// code - a = the distance of the coded number from the interval's bottom. The encoder tracks
// that bottom exactly as a growing bit string and, at the end, writes the largest number inside
// the final interval; the decoder pads the stream with 1 bits, which keeps it inside.
#pragma once

#include <cstdint>
#include <vector>

#include "djv_zpdecoder.h"

namespace zptest {

using Vantorix::DjVu::BitContext;
using Vantorix::DjVu::ZPDecoder;

class ZPTestEncoder {
public:
    ZPTestEncoder() : bottom_(16, 0) {}

    void encode(int bit, BitContext& ctx)
    {
        const auto& row = ZPDecoder::kStateTable[ctx];
        uint32_t z = a_ + row.p;
        if (bit == (ctx & 1)) {
            if (z <= 0x7FFF) { // the decoder's fast path: no adaptation, no shift
                add(z - a_);
                a_ = z;
                return;
            }
            z = clamp(z);
            if (a_ >= row.m) ctx = row.up;
            more(z);
        } else {
            z = clamp(z);
            ctx = row.dn;
            less(z);
        }
    }
    void encodePassthrough(int bit) { fixed(bit, 0x8000 + (a_ >> 1)); }
    void encodePassthroughIW44(int bit) { fixed(bit, 0x8000 + ((3 * a_) >> 3)); }

    // n bits, most significant first, without context.
    void encodeRawBits(uint32_t value, int n)
    {
        for (int i = n - 1; i >= 0; --i) encodePassthrough(int(value >> i) & 1);
    }

    // The coded bytes; the encoder is spent afterwards.
    std::vector<uint8_t> finish()
    {
        add(0xFFFF - a_); // the top of the interval [a, 0x10000)
        while (bottom_.size() % 8) bottom_.push_back(1);
        std::vector<uint8_t> out(bottom_.size() / 8, 0);
        for (size_t i = 0; i < bottom_.size(); ++i) out[i / 8] |= uint8_t(bottom_[i] << (7 - i % 8));
        return out;
    }

private:
    uint32_t clamp(uint32_t z) const
    {
        uint32_t limit = 0x6000 + ((a_ + z) >> 2);
        return z > limit ? limit : z;
    }
    void fixed(int bit, uint32_t z)
    {
        if (bit == 0)
            more(z);
        else
            less(z);
    }
    // More probable outcome: the upper part [z, 0x10000); z >= 0x8000 here, one shift.
    void more(uint32_t z)
    {
        add(z - a_);
        a_ = (z << 1) & 0xFFFF;
        bottom_.push_back(0);
    }
    // Less probable outcome: the lower part [a, z), moved up to end at 0x10000.
    void less(uint32_t z)
    {
        a_ += 0x10000 - z;
        while (a_ >= 0x8000) {
            a_ = (a_ << 1) & 0xFFFF;
            bottom_.push_back(0);
        }
    }
    void add(uint32_t v)
    {
        size_t i = bottom_.size();
        uint32_t carry = 0;
        while ((v || carry) && i > 0) {
            --i;
            uint32_t s = bottom_[i] + (v & 1) + carry;
            bottom_[i] = uint8_t(s & 1);
            carry = s >> 1;
            v >>= 1;
        }
    }

    uint32_t a_ = 0;
    std::vector<uint8_t> bottom_; // the interval's bottom, one bit per entry, most significant first
};

} // namespace zptest
