#include "djv_jb2contextrows.h"

#include <cstring>

using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;

namespace _Vtx_Internal_NS_ {

namespace {

// Bytes j and j + 1 of a packed row as 16 bits, zero past the row's end.
inline uint32_t bytePair(const uint8_t* row, uint32_t j, uint32_t rowBytes)
{
    return (uint32_t(row[j]) << 8) | (j + 1 < rowBytes ? row[j + 1] : 0u);
}

// Bits [first, first + 8) of a packed row, zero outside it.
uint8_t bitsAt(const uint8_t* row, uint32_t rowBytes, int64_t first)
{
    const int64_t byte = first >> 3; // floor: first may be negative
    const uint32_t shift = uint32_t(first & 7);
    auto at = [&](int64_t i) { return i >= 0 && i < int64_t(rowBytes) ? uint32_t(row[i]) : 0u; };
    return uint8_t((((at(byte) << 8) | at(byte + 1)) << shift) >> 8);
}

// Row r of the reference, shifted so that bit i of out is reference pixel i + dx; bytes -1 to
// count - 1, zero where the reference has no pixel.
void alignRow(const RefinementReference& ref, int64_t r, uint8_t* out, uint32_t count)
{
    std::memset(out - 1, 0, size_t(count) + 1);
    if (r < 0 || r >= int64_t(ref.bitmap.getHeight()) || !ref.bitmap.getWidth()) return;
    const uint8_t* row = ref.bitmap.getRow(uint32_t(r));
    const uint32_t rowBytes = ref.bitmap.getRowBytes();
    for (int64_t j = -1; j < int64_t(count); ++j) out[j] = bitsAt(row, rowBytes, 8 * j + ref.dx);
}

// The eight pixels of a packed byte in the eight byte lanes of a word: pixel k (bit 0x80 >> k)
// becomes bit 0 of lane k. The shifted copies the product adds never overlap, so nothing carries.
inline uint64_t spreadToLanes(uint32_t byte) { return ((byte * 0x8040201008040201ull) >> 7) & 0x0101010101010101ull; }

// Up to eight pixels of a direct row, returned in the low bits of row: the row's decisions so
// far, newest lowest. entering holds, in lane k, what pixel k + 1's context takes in from the
// rows above (bits 7 and 2). A context is group + (row & 3): group, its bits from the rows above,
// is known before any pixel of the row is decided. So the four states a next context may have
// are loaded while the current pixel is being decided, and the decisions merely pick one: no
// load waits on the decision chain. state: the state of the current context (loaded after any
// change to it).
[[gnu::always_inline]] inline void directByte(ZPDecoder::Session& zp, BitContext* contexts, uint32_t& group,
                                              uint32_t& row, uint32_t& state, uint64_t entering, uint32_t n)
{
#pragma GCC unroll 8
    for (uint32_t k = 0; k < n; ++k) {
        const uint32_t bit = uint32_t(zp.decode(contexts[group + (row & 3)], state));
        const uint32_t older = row & 1;
        row = 2 * row + bit;
        group = ((group << 1) & 0x378) | uint32_t((entering >> (8 * k)) & 0x84);
        const BitContext* g = contexts + group;
        const uint32_t zero = older ? g[2] : g[0], one = older ? g[3] : g[1];
        state = bit ? one : zero;
    }
}

// Up to eight pixels of a refined row. The windows hold the pixels entering the context, the
// first at bit 31: row y-1 and the reference over y and y+1 from x+2 on, over y-1 from x+1 on.
struct RefinedWindows {
    uint32_t prev, up, mid, down;
};

// As for direct rows, the one bit a refined context takes from the row being decided (bit 7) is
// the only one a decision changes, so both candidate states are loaded ahead and the bit picks.
[[gnu::always_inline]] inline uint32_t refinedByte(ZPDecoder::Session& zp, BitContext* contexts, uint32_t& group,
                                                   uint32_t& left, uint32_t& state, const RefinedWindows& in, uint32_t n)
{
    uint32_t v = 0;
#pragma GCC unroll 8
    for (uint32_t k = 0; k < n; ++k) {
        const uint32_t bit = uint32_t(zp.decode(contexts[group | left], state));
        v = 2 * v + bit;
        group = ((group << 1) & 0x636) | ((in.prev >> (23 - k)) & 0x100) | ((in.up >> (25 - k)) & 0x40) |
                ((in.mid >> (28 - k)) & 0x8) | ((in.down >> (31 - k)) & 0x1);
        const uint32_t zero = contexts[group], one = contexts[group | 0x80];
        left = bit << 7;
        state = bit ? one : zero;
    }
    return v << (8 - n);
}

} // namespace

void decodeDirectRows(ZPDecoder& decoder, BitContext* contexts, ShapeBitmap& bitmap, const uint8_t* zeros)
{
    const uint32_t w = bitmap.getWidth(), h = bitmap.getHeight(), rowBytes = bitmap.getRowBytes();
    const uint32_t fullBytes = w >> 3;
    ZPDecoder::Session zp(decoder);
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* up1 = y >= 1 ? bitmap.getRow(y - 1) : zeros;
        const uint8_t* up2 = y >= 2 ? bitmap.getRow(y - 2) : zeros;
        uint8_t* out = bitmap.getRow(y);
        // Bits 9-7: row y-2 at x-1..x+1; 6-2: row y-1 at x-2..x+2; 1-0: row y at x-2, x-1.
        uint32_t group = (uint32_t(up2[0] >> 6) << 7) | (uint32_t(up1[0] >> 5) << 2), row = 0;
        // Entering after pixel x: row y-1 at x+3 (low byte), row y-2 at x+2 (high byte).
        auto entering = [&](uint32_t j) {
            return ((bytePair(up1, j, rowBytes) >> 5) & 0xFF) | ((bytePair(up2, j, rowBytes) << 2) & 0xFF00);
        };
        auto lanes = [](uint32_t in) { return (spreadToLanes(in & 0xFF) << 2) | (spreadToLanes(in >> 8) << 7); };
        uint32_t state = contexts[group];
        for (uint32_t j = 0; j < fullBytes; ++j) {
            const uint32_t in = entering(j);
            // Uniform surroundings whose context predicts their colour: the context stays while
            // the pixels come out that colour, so the eight decisions are one run.
            const uint32_t ones = 0u - (state & 1);
            if ((((group | (row & 3)) ^ (ones & 0x3FF)) | (in ^ (ones & 0xFFFF))) == 0 && zp.decodeRun(state, 8)) {
                row = (row << 8) | (ones & 0xFF);
                out[j] = uint8_t(ones);
                continue;
            }
            directByte(zp, contexts, group, row, state, lanes(in), 8);
            out[j] = uint8_t(row);
        }
        if (fullBytes < rowBytes) {
            directByte(zp, contexts, group, row, state, lanes(entering(fullBytes)), w & 7);
            out[fullBytes] = uint8_t(row << (8 - (w & 7)));
        }
    }
}

void decodeRefinedRows(ZPDecoder& decoder, BitContext* contexts, ShapeBitmap& bitmap, const RefinementReference& reference,
                       const uint8_t* zeros, uint8_t* const scratch[3])
{
    const uint32_t w = bitmap.getWidth(), h = bitmap.getHeight(), rowBytes = bitmap.getRowBytes();
    const uint32_t fullBytes = w >> 3, aligned = rowBytes + 1;
    uint8_t* refUp = scratch[0]; // reference rows over y - 1, y, y + 1
    uint8_t* refMid = scratch[1];
    uint8_t* refDown = scratch[2];
    alignRow(reference, reference.dy - 1, refUp, aligned);
    alignRow(reference, reference.dy, refMid, aligned);
    alignRow(reference, reference.dy + 1, refDown, aligned);
    ZPDecoder::Session zp(decoder);
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* prev = y >= 1 ? bitmap.getRow(y - 1) : zeros;
        uint8_t* out = bitmap.getRow(y);
        // Bits 10-8: row y-1 at x-1..x+1; 7 (left): row y at x-1; 6: reference over y-1 at x;
        // 5-3: over y at x-1..x+1; 2-0: over y+1 at x-1..x+1.
        uint32_t group = (uint32_t(prev[0] >> 6) << 8) | (uint32_t(refUp[0] >> 7) << 6) |
                         ((((uint32_t(refMid[-1]) & 1) << 2) | uint32_t(refMid[0] >> 6)) << 3) |
                         (((uint32_t(refDown[-1]) & 1) << 2) | uint32_t(refDown[0] >> 6));
        auto windows = [&](uint32_t j) {
            auto pair = [j](const uint8_t* row) { return (uint32_t(row[j]) << 8) | row[j + 1]; };
            return RefinedWindows{bytePair(prev, j, rowBytes) << 18, pair(refUp) << 17, pair(refMid) << 18,
                                  pair(refDown) << 18};
        };
        uint32_t left = 0, state = contexts[group];
        for (uint32_t j = 0; j < fullBytes; ++j)
            out[j] = uint8_t(refinedByte(zp, contexts, group, left, state, windows(j), 8));
        if (fullBytes < rowBytes)
            out[fullBytes] = uint8_t(refinedByte(zp, contexts, group, left, state, windows(fullBytes), w & 7));
        uint8_t* oldest = refUp;
        refUp = refMid;
        refMid = refDown;
        refDown = oldest;
        if (y + 1 < h) alignRow(reference, reference.dy + int64_t(y) + 2, refDown, aligned);
    }
}

} // namespace _Vtx_Internal_NS_
