// Inverse lifting of the IW44 wavelet on 16-bit planes.
//
// One scale t works on the samples at multiples of t: along each line the even samples
// (multiples of 2t, the coarser picture) are corrected from the odd ones (the details at t),
// then the odd ones are predicted from the corrected even ones:
//   even i:  x[i] -= (9 (x[i-1] + x[i+1]) - x[i-3] - x[i+3] + 16) >> 5   (outside = 0)
//   odd i:   x[i] += (9 (x[i-1] + x[i+1]) - x[i-3] - x[i+3] + 8) >> 4    (all four inside)
//            x[i] += (x[i-1] + x[i+1] + 1) >> 1                           (near the ends;
//                                                       x[i+1] = x[i-1] past the last sample)
// Arithmetic is 32-bit, results are stored as 16-bit. A region is given by its first sample,
// the plane's row pitch and its width and height; the ends of its lines are the region's edges.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vtx_memory.h"

namespace Vantorix::DjVu::IW44 {

// Samples along a line of length L at step t: positions 0, t, ..., so floor((L - 1) / t) + 1.
inline uint32_t lineSamples(uint32_t length, uint32_t step) { return length ? (length - 1) / step + 1 : 0; }

// Every column of the region (x = 0, t, 2t, ... below width), interleaving the two steps row
// by row so that the plane streams through the cache once.
void liftColumns(int16_t* base, ptrdiff_t pitch, uint32_t width, uint32_t height, uint32_t step);
// Every row of the region (y = 0, t, 2t, ... below height).
void liftRows(int16_t* base, ptrdiff_t pitch, uint32_t width, uint32_t height, uint32_t step);
// One scale: columns, then rows.
inline void liftScale(int16_t* base, ptrdiff_t pitch, uint32_t width, uint32_t height, uint32_t step)
{
    liftColumns(base, pitch, width, height, step);
    liftRows(base, pitch, width, height, step);
}

// The lifting of single rows of a given width, with its work buffer.
class RowLifter {
public:
    RowLifter(uint32_t width, uint32_t step);
    // Lifts the samples line[0], line[step], ... of one row in place.
    void lift(int16_t* line);

private:
    uint32_t step_, count_;
    SimpleArray<int16_t, 2> buffer_;
    int16_t* even_;
    int16_t* odd_;
};

// The column lifting of a region made final row by row, for pipelines that consume each row as
// soon as it is done. Rows (line samples) become final in order.
class ColumnLifter {
public:
    ColumnLifter(int16_t* base, ptrdiff_t pitch, uint32_t width, uint32_t height, uint32_t step);
    // Over a ring of rows (a power of two of them, step 1): line sample i lives in ring row
    // i % count. finish(i) reads rows up to i + 3 (i + 6 for odd i), and none more than three
    // below the first row that the previous call left unfinished.
    struct Ring {
        uint32_t count;
    };
    ColumnLifter(int16_t* ring, ptrdiff_t pitch, uint32_t width, uint32_t height, Ring rows);
    // Runs the steps that line sample i (row i * step) needs to be final.
    void finish(uint32_t i);

private:
    int16_t* row(int64_t i) const;
    void update(uint32_t i);
    void predict(uint32_t i);

    int16_t* base_;
    ptrdiff_t pitch_;
    uint32_t step_, count_, columns_;
    uint32_t ringMask_ = 0;
    uint32_t nextEven_ = 0, nextOdd_ = 1;
};

} // namespace Vantorix::DjVu::IW44
