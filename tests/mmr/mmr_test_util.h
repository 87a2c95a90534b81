// Helpers of the MMR tests: a bit writer that speaks the T.4 codes, Smmr payload assembly and
// run expansion (pictures are imagingtest::Image, one byte per pixel, 1 = black).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "djv_mmrdecode.h"
#include "imaging_testutil.h"

namespace mmrtest {

using Bytes = std::vector<uint8_t>;
using Runs = std::vector<uint16_t>;
using _Vtx_Internal_NS_::VLCode;
using imagingtest::firstDifference;
using vtxtest::readFile;
using vtxtest::streamOf;
using vtxtest::thrownBy;

// MSB-first bit writer.
class BitWriter {
public:
    void bits(uint32_t value, uint32_t count)
    {
        for (uint32_t i = count; i-- > 0;) bit((value >> i) & 1);
    }
    // '0' and '1' are bits, anything else is ignored.
    void bits(const char* text)
    {
        for (; *text; ++text)
            if (*text == '0' || *text == '1') bit(*text == '1');
    }
    void bit(bool b)
    {
        if (fill_ % 8 == 0) out_.push_back(0);
        if (b) out_.back() |= uint8_t(0x80 >> (fill_ % 8));
        ++fill_;
    }
    void code(const VLCode* list, uint32_t nbits, uint32_t value)
    {
        for (; list->codelen; ++list)
            if (list->value == value) return bits(uint32_t(list->code) >> (nbits - list->codelen), list->codelen);
        ADD_FAILURE() << "no code for value " << value;
    }
    void mode(uint32_t m) { code(_Vtx_Internal_NS_::mmrModeCodes(), 7, m); }
    // One run: make-up codes (largest first) and a terminating code.
    void run(bool black, uint32_t length)
    {
        const VLCode* list = black ? _Vtx_Internal_NS_::mmrBlackCodes() : _Vtx_Internal_NS_::mmrWhiteCodes();
        for (; length >= 2560 + 64; length -= 2560) code(list, 13, 2560);
        if (length >= 64) code(list, 13, length & ~63u);
        code(list, 13, length & 63);
    }
    void horizontal(bool black, uint32_t first, uint32_t second)
    {
        mode(_Vtx_Internal_NS_::mmrHorizontal);
        run(black, first);
        run(!black, second);
    }
    // Modes by name: P, V0, VR1..VR3, VL1..VL3, and Ha,b (horizontal, white a then black b).
    void script(const std::string& words)
    {
        std::istringstream in(words);
        for (std::string w; in >> w;) {
            if (w[0] == 'H')
                horizontal(false, uint32_t(std::stoul(w.substr(1))), uint32_t(std::stoul(w.substr(w.find(',') + 1))));
            else
                mode(w == "P" ? 0 : w == "V0" ? 2 : uint32_t(w[2] - '1') + (w[1] == 'R' ? 3 : 6));
        }
    }
    const Bytes& bytes() const { return out_; }

private:
    Bytes out_;
    uint32_t fill_ = 0;
};

inline Bytes header(uint8_t flags, uint32_t w, uint32_t h)
{
    return Bytes{'M', 'M', 'R', flags, uint8_t(w >> 8), uint8_t(w), uint8_t(h >> 8), uint8_t(h)};
}

inline void append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

inline void appendBE(Bytes& to, uint32_t v, int bytes)
{
    while (bytes-- > 0) to.push_back(uint8_t(v >> (8 * bytes)));
}

// Runs of each row as the decoder gives them, each checked to sum to the width and to end in
// two zeros; rows it gives nothing for are only counted.
struct Decoded {
    uint32_t width = 0, height = 0;
    bool inverted = false;
    std::vector<Runs> rows;
    uint32_t nulls = 0;
};

inline Decoded decodeAll(const Bytes& payload)
{
    Vantorix::AutoPtr<_Vtx_Internal_NS_::MMRDecoder> d =
        Vantorix::makeAuto<_Vtx_Internal_NS_::MMRDecoder>(streamOf(payload));
    Decoded out{d->getWidth(), d->getHeight(), d->isInverted(), {}, 0};
    for (uint32_t y = 0; y < out.height; ++y) {
        const uint16_t* end = nullptr;
        const uint16_t* row = d->getScanline(end);
        if (!row) {
            ++out.nulls;
            continue;
        }
        EXPECT_TRUE(std::accumulate(row, end, 0u) == out.width && end[0] == 0 && end[1] == 0) << "row " << y;
        out.rows.emplace_back(row, end);
    }
    return out;
}

// The decoded mask as a picture (first run white, or black when inverted).
inline imagingtest::Image pixelsOf(const Decoded& d)
{
    imagingtest::Image b(d.width, d.height, 1);
    for (uint32_t y = 0; y < d.rows.size(); ++y) {
        uint32_t x = 0;
        uint8_t colour = d.inverted ? 1 : 0;
        for (uint16_t r : d.rows[y]) {
            for (uint32_t i = 0; i < r && x < d.width; ++i) b.row(y)[x++] = colour;
            colour ^= 1;
        }
    }
    return b;
}

} // namespace mmrtest
