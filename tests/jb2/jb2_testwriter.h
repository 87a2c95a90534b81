// A JB2 writer for the tests: record writers over the test ZP encoder that code bitmaps with the
// context templates computed pixel by pixel (no incremental contexts), so streams of every record
// type, and broken ones, can be made here.
#pragma once

#include <cstdint>
#include <vector>

#include "djv_jb2coderimpl.h"
#include "zp_testencoder.h"

namespace jb2test {

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

// Black box of a picture as (left, top, width, height); a white one gives (w, h, 0, 0).
struct Box {
    int32_t left, top, width, height;
};
Box boxOf(const Bits& bits);

// Where a shape goes: a new line (offsets from the first shape of the previous line) or the
// same line (offsets from the previous shape).
struct Where {
    bool newLine;
    int32_t dx, dy;
};

class JB2TestWriter : public Vantorix::DjVu::JB2::JB2CoderImpl {
public:
    int codeBit(int bit, Vantorix::DjVu::BitContext& ctx) override
    {
        zp.encode(bit, ctx);
        return bit;
    }

    void number(int32_t low, int32_t high, int32_t value, int root) { codeNumber(low, high, value, roots_[root]); }
    void type(int t) { number(0, 11, t, Vantorix::DjVu::JB2::RootRecordType); }
    void startOfImage(int32_t w, int32_t h);
    // Types 1, 2, 3: size, bitmap and (for 1 and 3) location.
    void newMark(int t, const Bits& bits, Where where = {true, 0, 0});
    // Types 4, 5, 6 against the library entry index whose bitmap is reference.
    void refine(int t, int32_t index, const Bits& reference, const Bits& bits, Where where = {true, 0, 0});
    void copy(int32_t index, Where where);
    // Type 8 at column x (0-based) and top row y (top-down) of a page of the given height.
    void nonMark(const Bits& bits, int32_t x, int32_t y, int32_t pageWidth, int32_t pageHeight);
    // Type 9: the count before the start record, a number coder reset after it.
    void requiredDictOrReset(int32_t count);
    void comment(const std::vector<uint8_t>& bytes);
    void end() { type(11); }
    std::vector<uint8_t> finish() { return zp.finish(); }

    zptest::ZPTestEncoder zp;
    // Library entries the reader knows of (inherited ones included): the range of match indices.
    int32_t library = 0;
    // A dictionary never counts as started: its start record is read and ignored.
    bool dictionary = false;

private:
    void location(Where where);
    void direct(const Bits& bits);
    void refinement(const Bits& reference, const Bits& bits);
    bool started_ = false;
};

} // namespace jb2test
