// A shape's bitmap kept as the columns where its rows change colour.
//
// Large shapes of a decoded page are mostly long runs: held this way they take a fraction of
// their packed bytes, and a row is unpacked only while it is drawn.
#pragma once

#include <cstdint>

#include "djv_jb2.h"
#include "vtx_memory.h"

namespace Vantorix::DjVu::JB2 {

class ShapeRuns {
public:
    // Packed bitmaps from this many bytes are worth trying.
    static constexpr uint32_t kMinBytes = 1024;

    // The runs of bitmap when they take at most half its bytes (and its width fits the run
    // columns); otherwise false, and out is left empty.
    static bool make(const ShapeBitmap& bitmap, ShapeRuns& out);

    uint32_t getWidth() const { return width_; }
    uint32_t getHeight() const { return height_; }
    uint32_t getRowBytes() const { return (width_ + 7) >> 3; }
    // Calls run(begin, end) for the black runs of row y clipped to [from, to), left to right.
    template <class Run>
    void forEachRun(uint32_t y, uint32_t from, uint32_t to, Run&& run) const
    {
        for (uint32_t e = rowStart_[y]; e < rowStart_[y + 1]; e += 2) {
            const uint32_t b = edges_[e] > from ? edges_[e] : from, en = edges_[e + 1] < to ? edges_[e + 1] : to;
            if (b < en) run(b, en);
            if (edges_[e + 1] >= to) return;
        }
    }
    ShapeBitmap toBitmap() const;
    uint64_t getBytes() const { return uint64_t(rowStart_.size()) * 4 + uint64_t(edges_.size()) * 2; }

private:
    uint32_t width_ = 0, height_ = 0;
    // Row y's edges are edges_[rowStart_[y] .. rowStart_[y + 1]): pairs of columns [black from,
    // white from).
    SimpleArray<uint32_t, 2> rowStart_;
    SimpleArray<uint16_t, 2> edges_;
};

} // namespace Vantorix::DjVu::JB2
