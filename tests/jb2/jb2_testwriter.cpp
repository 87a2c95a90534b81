#include "jb2_testwriter.h"

using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;

namespace jb2test {

Box boxOf(const Bits& bits)
{
    int32_t left = int32_t(bits.w), right = -1, top = int32_t(bits.h), bottom = -1;
    for (uint32_t y = 0; y < bits.h; ++y)
        for (uint32_t x = 0; x < bits.w; ++x)
            if (bits.at(x, y)) {
                left = std::min(left, int32_t(x));
                right = std::max(right, int32_t(x));
                top = std::min(top, int32_t(y));
                bottom = std::max(bottom, int32_t(y));
            }
    if (right < 0) return Box{int32_t(bits.w), int32_t(bits.h), 0, 0};
    return Box{left, top, right - left + 1, bottom - top + 1};
}

void JB2TestWriter::startOfImage(int32_t w, int32_t h)
{
    type(0);
    number(0, 262142, w, RootImageSize);
    number(0, 262142, h, RootImageSize);
    uint8_t fresh = 0;
    zp.encode(0, fresh);
    started_ = !dictionary;
}

void JB2TestWriter::location(Where where)
{
    codeBit(where.newLine, offsetTypeContext_);
    number(-262143, 262142, where.dx, where.newLine ? RootNewLineX : RootSameLineX);
    number(-262143, 262142, where.dy, where.newLine ? RootNewLineY : RootSameLineY);
}

void JB2TestWriter::direct(const Bits& b)
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

void JB2TestWriter::refinement(const Bits& r, const Bits& n)
{
    Box box = boxOf(r);
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

void JB2TestWriter::newMark(int t, const Bits& bits, Where where)
{
    type(t);
    number(0, 262142, int32_t(bits.w), RootSymbolWidth);
    number(0, 262142, int32_t(bits.h), RootSymbolHeight);
    direct(bits);
    if (t != 2) location(where);
    ++library;
}

void JB2TestWriter::refine(int t, int32_t index, const Bits& reference, const Bits& bits, Where where)
{
    type(t);
    number(0, library - 1, index, RootMatchIndex);
    Box box = boxOf(reference);
    number(-262143, 262142, int32_t(bits.w) - box.width, RootRefineWidth);
    number(-262143, 262142, int32_t(bits.h) - box.height, RootRefineHeight);
    refinement(reference, bits);
    if (t != 5) location(where);
    ++library;
}

void JB2TestWriter::copy(int32_t index, Where where)
{
    type(7);
    number(0, library - 1, index, RootMatchIndex);
    location(where);
}

void JB2TestWriter::nonMark(const Bits& bits, int32_t x, int32_t y, int32_t pageWidth, int32_t pageHeight)
{
    type(8);
    number(0, 262142, int32_t(bits.w), RootSymbolWidth);
    number(0, 262142, int32_t(bits.h), RootSymbolHeight);
    direct(bits);
    number(1, pageWidth, x + 1, RootAbsoluteX);
    number(1, pageHeight, pageHeight - y, RootAbsoluteY);
}

void JB2TestWriter::requiredDictOrReset(int32_t count)
{
    type(9);
    if (started_)
        resetNumberCoder();
    else
        number(0, 262142, count, RootInheritedCount);
}

void JB2TestWriter::comment(const std::vector<uint8_t>& bytes)
{
    type(10);
    number(0, 262142, int32_t(bytes.size()), RootCommentLength);
    for (uint8_t b : bytes) number(0, 255, b, RootCommentByte);
}

} // namespace jb2test
