#include "djv_jb2runs.h"

#include <bit>
#include <cstring>

#include "djv_maskpackedrow.h"

namespace Vantorix::DjVu::JB2 {

namespace {

// The n bytes (up to eight) at p as one word, the first byte highest, the rest 0. A bitmap
// row may be read a word at a time: the storage holds zero padding behind its last row.
uint64_t loadWord(const uint8_t* p, uint32_t n)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    v = __builtin_bswap64(v);
    return n >= 8 ? v : v & ~(~uint64_t(0) >> (8 * n));
}

// Calls edge(column) for each colour change of a packed row, starting from white, and once
// more at the width when the row ends black. The bits past the width are 0.
template <class Edge>
void forEachEdge(const uint8_t* row, uint32_t rowBytes, uint32_t width, Edge&& edge)
{
    uint64_t colour = 0; // all ones inside a black run
    for (uint32_t i = 0; i < rowBytes; i += 8) {
        const uint64_t word = loadWord(row + i, rowBytes - i);
        for (uint64_t diff = word ^ colour; diff;) {
            const int k = std::countl_zero(diff);
            edge(i * 8 + uint32_t(k));
            colour = ~colour;
            diff = (word ^ colour) & (~uint64_t(0) >> k);
        }
    }
    if (colour) edge(width);
}

// How many edges forEachEdge gives for the row: its colour changes, counted a word at a time.
uint32_t countEdges(const uint8_t* row, uint32_t rowBytes)
{
    uint32_t n = 0;
    uint64_t before = 0; // the last bit of the previous word, at the top
    for (uint32_t i = 0; i < rowBytes; i += 8) {
        const uint64_t word = loadWord(row + i, rowBytes - i);
        n += _Vtx_Internal_NS_::countBits(word ^ ((word >> 1) | before));
        before = word << 63;
    }
    return n + (before != 0);
}

// Sets the bits [from, to) of a packed row; from < to.
void setBits(uint8_t* row, uint32_t from, uint32_t to)
{
    const uint32_t first = from >> 3, last = (to - 1) >> 3;
    const uint8_t head = uint8_t(0xFF >> (from & 7)), tail = uint8_t(0xFF << (7 - ((to - 1) & 7)));
    if (first == last) {
        row[first] |= uint8_t(head & tail);
        return;
    }
    row[first] |= head;
    std::memset(row + first + 1, 0xFF, last - first - 1);
    row[last] |= tail;
}

} // namespace

bool ShapeRuns::make(const ShapeBitmap& bitmap, ShapeRuns& out)
{
    const uint32_t w = bitmap.getWidth(), h = bitmap.getHeight(), rowBytes = bitmap.getRowBytes();
    const uint64_t budget = uint64_t(rowBytes) * h / 2;
    const uint64_t rowCost = (uint64_t(h) + 1) * 4;
    if (w > 0xFFFF || budget * 2 < kMinBytes || rowCost >= budget) return false;
    // Counted first, so that nothing is allocated for a bitmap that does not pay.
    const uint64_t maxEdges = (budget - rowCost) / 2;
    uint64_t count = 0;
    for (uint32_t y = 0; y < h && count <= maxEdges; ++y) count += countEdges(bitmap.getRow(y), rowBytes);
    if (count > maxEdges || count > UINT32_MAX) return false;

    ShapeRuns r;
    r.width_ = w;
    r.height_ = h;
    r.rowStart_ = SimpleArray<uint32_t, 2>(h + 1, h + 1);
    r.edges_ = SimpleArray<uint16_t, 2>(uint32_t(count), int64_t(count));
    // The store is checked against the count: should the two ways of finding edges ever differ,
    // the shape keeps its bitmap instead of writing past the edges.
    uint32_t n = 0;
    for (uint32_t y = 0; y < h; ++y) {
        r.rowStart_[y] = n;
        forEachEdge(bitmap.getRow(y), rowBytes, w, [&](uint32_t x) {
            if (n < count) r.edges_[n] = uint16_t(x);
            ++n;
        });
    }
    if (n != count) return false;
    r.rowStart_[h] = n;
    out = std::move(r);
    return true;
}

ShapeBitmap ShapeRuns::toBitmap() const
{
    ShapeBitmap bitmap(width_, height_);
    for (uint32_t y = 0; y < height_; ++y) {
        uint8_t* row = bitmap.getRow(y);
        forEachRun(y, 0, width_, [&](uint32_t b, uint32_t e) { setBits(row, b, e); });
    }
    return bitmap;
}

} // namespace Vantorix::DjVu::JB2
