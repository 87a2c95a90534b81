// A JB2 writer for the tests: records over the test ZP encoder, bitmaps coded with contexts
// computed pixel by pixel (no incremental contexts), so streams of every record type, and broken
// ones, can be made here.
#pragma once

#include <algorithm>
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
    Bits() = default;
    Bits(uint32_t width, uint32_t height) : w(width), h(height), px(size_t(width) * height) {}
    int at(int64_t x, int64_t y) const
    {
        return x >= 0 && y >= 0 && x < int64_t(w) && y < int64_t(h) ? px[size_t(y) * w + size_t(x)] : 0;
    }
    void set(uint32_t x, uint32_t y, int v = 1) { px[size_t(y) * w + x] = uint8_t(v); }
};

// Black box as (left, top, width, height); a white picture gives (w, h, 0, 0).
struct Box {
    int32_t left, top, width, height;
};
inline Box boxOf(const Bits& b)
{
    int32_t left = int32_t(b.w), right = -1, top = int32_t(b.h), bottom = -1;
    for (uint32_t y = 0; y < b.h; ++y)
        for (uint32_t x = 0; x < b.w; ++x)
            if (b.at(x, y)) {
                left = std::min(left, int32_t(x));
                right = std::max(right, int32_t(x));
                top = std::min(top, int32_t(y));
                bottom = std::max(bottom, int32_t(y));
            }
    return right < 0 ? Box{int32_t(b.w), int32_t(b.h), 0, 0} : Box{left, top, right - left + 1, bottom - top + 1};
}

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
        started_ = !dictionary;
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
    // Types 4, 5, 6 against the library entry index whose bitmap is reference.
    void refine(int t, int32_t index, const Bits& reference, const Bits& bits, Where where = {true, 0, 0})
    {
        type(t);
        number(0, library - 1, index, RootMatchIndex);
        const Box box = boxOf(reference);
        number(-262143, 262142, int32_t(bits.w) - box.width, RootRefineWidth);
        number(-262143, 262142, int32_t(bits.h) - box.height, RootRefineHeight);
        refinement(reference, bits);
        if (t != 5) location(where);
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
    // A dictionary never counts as started: its start record is read and ignored.
    bool dictionary = false;

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
    void refinement(const Bits& r, const Bits& n)
    {
        const Box box = boxOf(r);
        const int64_t w = n.w, h = n.h;
        const int64_t cx = int64_t(box.left) + box.width - box.width / 2 - (w - w / 2);
        const int64_t cy = int64_t(box.top) + box.height / 2 - h / 2;
        for (int64_t y = 0; y < h; ++y)
            for (int64_t x = 0; x < w; ++x) {
                const int64_t X = x + cx, Y = y + cy;
                uint32_t c = (n.at(x - 1, y - 1) << 10) | (n.at(x, y - 1) << 9) | (n.at(x + 1, y - 1) << 8) |
                             (n.at(x - 1, y) << 7) | (r.at(X, Y - 1) << 6) | (r.at(X - 1, Y) << 5) | (r.at(X, Y) << 4) |
                             (r.at(X + 1, Y) << 3) | (r.at(X - 1, Y + 1) << 2) | (r.at(X, Y + 1) << 1) |
                             r.at(X + 1, Y + 1);
                zp.encode(n.at(x, y), refinementContexts_[c]);
            }
    }
    bool started_ = false;
};

} // namespace jb2test
