// A JB2 writer for the tests: records over the test ZP encoder, bitmaps coded with contexts
// computed pixel by pixel, so that page records, and broken ones, can be made here.
#pragma once

#include <cstdint>
#include <vector>

#include "djv_jb2coderimpl.h"
#include "zp_testencoder.h"

namespace jb2test {

using namespace Vantorix::DjVu::JB2;

// A bilevel picture, one byte per pixel (1 = black).
struct Bits {
    uint32_t w = 0, h = 0;
    std::vector<uint8_t> px;
    Bits(uint32_t width, uint32_t height) : w(width), h(height), px(size_t(width) * height) {}
    int at(int64_t x, int64_t y) const
    {
        return x >= 0 && y >= 0 && x < int64_t(w) && y < int64_t(h) ? px[size_t(y) * w + size_t(x)] : 0;
    }
    void set(uint32_t x, uint32_t y, int v = 1) { px[size_t(y) * w + x] = uint8_t(v); }
};

// Where a shape goes: a new line (offsets from the first shape of the previous line) or the
// same line (offsets from the previous shape).
struct Where {
    bool newLine;
    int32_t dx, dy;
};

class JB2TestWriter : public JB2CoderImpl {
public:
    int codeBit(int bit, Vantorix::DjVu::BitContext& ctx) override
    {
        zp.encode(bit, ctx);
        return bit;
    }
    void number(int32_t low, int32_t high, int32_t value, int root) { codeNumber(low, high, value, roots_[root]); }
    void type(int t) { number(0, 11, t, RootRecordType); }
    void startOfImage(int32_t w, int32_t h)
    {
        type(0);
        number(0, 262142, w, RootImageSize);
        number(0, 262142, h, RootImageSize);
        uint8_t fresh = 0;
        zp.encode(0, fresh);
        started_ = true;
    }
    void location(Where where)
    {
        codeBit(where.newLine, offsetTypeContext_);
        number(-262143, 262142, where.dx, where.newLine ? RootNewLineX : RootSameLineX);
        number(-262143, 262142, where.dy, where.newLine ? RootNewLineY : RootSameLineY);
    }
    // Types 1, 2, 3: size, bitmap and (for 1 and 3) location.
    void newMark(int t, const Bits& bits, Where where = {true, 0, 0})
    {
        type(t);
        number(0, 262142, int32_t(bits.w), RootSymbolWidth);
        number(0, 262142, int32_t(bits.h), RootSymbolHeight);
        direct(bits);
        if (t != 2) location(where);
        ++library;
    }
    void copy(int32_t index, Where where)
    {
        type(7);
        number(0, library - 1, index, RootMatchIndex);
        location(where);
    }
    // Type 8 at column x (0-based) and top row y (top-down) of a page of the given height.
    void nonMark(const Bits& bits, int32_t x, int32_t y, int32_t pageWidth, int32_t pageHeight)
    {
        type(8);
        number(0, 262142, int32_t(bits.w), RootSymbolWidth);
        number(0, 262142, int32_t(bits.h), RootSymbolHeight);
        direct(bits);
        number(1, pageWidth, x + 1, RootAbsoluteX);
        number(1, pageHeight, pageHeight - y, RootAbsoluteY);
    }
    // Type 9: the count before the start record, a number coder reset after it.
    void requiredDictOrReset(int32_t count)
    {
        type(9);
        if (started_)
            resetNumberCoder();
        else
            number(0, 262142, count, RootInheritedCount);
    }
    void comment(const std::vector<uint8_t>& bytes)
    {
        type(10);
        number(0, 262142, int32_t(bytes.size()), RootCommentLength);
        for (uint8_t b : bytes) number(0, 255, b, RootCommentByte);
    }
    void end() { type(11); }
    std::vector<uint8_t> finish() { return zp.finish(); }

    zptest::ZPTestEncoder zp;
    // Library entries the reader knows of (inherited ones included): the range of match indices.
    int32_t library = 0;

private:
    void direct(const Bits& b)
    {
        for (int64_t y = 0; y < int64_t(b.h); ++y)
            for (int64_t x = 0; x < int64_t(b.w); ++x) {
                uint32_t c = (b.at(x - 1, y - 2) << 9) | (b.at(x, y - 2) << 8) | (b.at(x + 1, y - 2) << 7) |
                             (b.at(x - 2, y - 1) << 6) | (b.at(x - 1, y - 1) << 5) | (b.at(x, y - 1) << 4) |
                             (b.at(x + 1, y - 1) << 3) | (b.at(x + 2, y - 1) << 2) | (b.at(x - 2, y) << 1) |
                             b.at(x - 1, y);
                zp.encode(b.at(x, y), directContexts_[c]);
            }
    }
    bool started_ = false;
};

} // namespace jb2test
