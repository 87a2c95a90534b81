// Separable area averaging shared by Imaging::resample and the bilevel mask resampler.
//
// An output position d along one axis covers the source interval [d*r, (d+1)*r). Its footprint
// lists the source positions that interval touches and their weights: the integral of the
// piecewise-constant source (box) or of the piecewise-linear one through the samples
// (interpolating). Each source row is reduced once horizontally into one float per output
// channel; an output row is then the weighted sum of the reduced rows of its vertical footprint.
// Rows shared by neighbouring output rows stay in a two-row cache, so no row is reduced twice.
#pragma once

#include <cstddef>
#include <cstdint>

#include "djv_types.h"
#include "vtx_memory.h"

namespace _Vtx_Internal_NS_ {

// One record per output position of a shrinking pass: how many source pixel boundaries the
// position crosses, and where inside its first pixel it starts.
struct SHRINK_MAP {
    uint32_t count;
    float fraction;
};

enum class ShrinkMethod { Box, Interpolating };

// What happens where a footprint reaches past the last source pixel.
//  Replicate: the position is not computed from its footprint; it takes the value of the source
//             pixel where the computable positions end (rows: the caller copies the last
//             computed row). Used for images.
//  Clear:     positions past the end count as empty. Used for masks.
enum class EdgeRule { Replicate, Clear };

// Weights of one output position over source positions first .. first + len - 1. Up to four
// weights are explicit; a longer footprint weighs w[0], w[1] on its first two positions, w[2],
// w[3] on its last two and 1 on every position between (true of both methods).
struct Footprint {
    uint32_t first;
    uint32_t len;
    float w[4];
};

// Weight of the k-th source position (counted from floor(start)) of a footprint that crosses n
// pixel boundaries, starts at fraction f and ends at fraction g.
float footprintWeight(ShrinkMethod method, uint32_t n, float f, float g, uint32_t k);

// The footprints of output positions [from, from + count) of an axis of srcLen source pixels
// scaled by ratio (source length / output length). Positions are d * ratio in double precision,
// or in single precision when singlePositions is set.
class ShrinkAxis {
public:
    void build(uint32_t srcLen, uint32_t outLen, float ratio, uint32_t from, uint32_t count, ShrinkMethod method,
               EdgeRule rule, bool singlePositions);

    const Footprint* footprints() const { return fp_.data(); }
    const Footprint& operator[](uint32_t i) const { return fp_[i]; }
    const SHRINK_MAP* map() const { return map_.data(); }
    // Replicate only: the first output position (over the whole axis) that is not computable.
    uint32_t firstReplicated() const { return firstReplicated_; }
    // The footprint of any single output position under the same settings.
    Footprint footprintAt(uint32_t d) const;
    // Smallest and one past the largest source position any footprint of the range touches.
    uint32_t lowest() const { return lowest_; }
    uint32_t highest() const { return highest_; }

private:
    void position(uint32_t d, int64_t& index, float& fraction) const;
    bool rawFootprint(uint32_t d, Footprint& fp) const; // false: needs a pixel past the end
    // The footprint from its start index, boundary count and fractions; with applyRule, the edge
    // rule is applied (replicated, or cut at the end).
    Footprint finish(uint32_t d, int64_t index, uint32_t n, float f, float g, bool applyRule) const;

    Vantorix::SimpleArray<SHRINK_MAP> map_;
    Vantorix::SimpleArray<Footprint> fp_;
    uint32_t srcLen_ = 0, outLen_ = 0;
    float ratio_ = 1;
    ShrinkMethod method_ = ShrinkMethod::Box;
    EdgeRule rule_ = EdgeRule::Clear;
    bool single_ = false;
    uint32_t firstReplicated_ = 0;
    uint32_t lowest_ = 0, highest_ = 0;
};

// Float row storage: lengths rounded up to a multiple of 4, 16-byte aligned.
class FloatRows {
public:
    // rows x floatsPerRow floats; previous contents are lost.
    void allocate(uint32_t rows, uint32_t floatsPerRow);
    float* row(uint32_t i) { return base_ + size_t(i) * stride_; }
    uint32_t stride() const { return stride_; }

private:
    Vantorix::SimpleArray<float> store_;
    float* base_ = nullptr;
    uint32_t stride_ = 0;
};

// Where the rows come from and where the sums go.
class ShrinkRowSource {
public:
    // Bytes of source row y, channels bytes per pixel, whose first pixel is source column
    // `origin`; null when the row is entirely zero.
    virtual const uint8_t* row(uint32_t y) = 0;

protected:
    ~ShrinkRowSource() = default;
};

class ShrinkRowSink {
public:
    // Output row j of the rectangle: channels floats per pixel, the weighted sums over the
    // footprint (not yet divided by its area). Null when no row of the footprint had content.
    virtual void emit(uint32_t j, const float* sums) = 0;

protected:
    ~ShrinkRowSink() = default;
};

// Drives one shrinking pass over a rectangle of the output picture.
class Shrinker {
public:
    // channels: bytes per source pixel (1 to 4). xs covers the rectangle's columns, ys its rows.
    // origin: the source column that row() pointers start at.
    void run(int channels, const ShrinkAxis& xs, uint32_t rectW, const ShrinkAxis& ys, uint32_t rectY,
             uint32_t rectH, EdgeRule rowRule, uint32_t origin, ShrinkRowSource& source, ShrinkRowSink& sink);

private:
    struct Slot {
        int64_t y = -1;
        bool empty = true;
        float* data = nullptr;
    };
    // Accumulates the footprint of one output row into acc; false when nothing contributed.
    bool accumulate(const Footprint& fy, float* acc);
    const Slot* cached(uint32_t y) const;
    Slot& evict(uint32_t y);

    int channels_ = 0;
    const Footprint* xfp_ = nullptr;
    uint32_t rectW_ = 0;
    uint32_t rowFloats_ = 0;
    ShrinkRowSource* source_ = nullptr;
    FloatRows rows_;
    Slot slots_[2];
};

// Kernels, exposed so that tests can hold them against plain versions.
// out[c] = (add ? out[c] : 0) + w * (sum of the footprint of column c), channels floats per column.
void reduceRow(int channels, bool add, const uint8_t* src, const Footprint* fp, uint32_t count, float* out, float w);
// acc = (init ? 0 : acc) + w * r over n floats, n a multiple of 4, both 16-byte aligned.
void combineRow(float* acc, const float* r, uint32_t n, float w, bool init);

// Added before truncating an average: float noise must not turn a flat 255 into 254.
constexpr float kTruncBias = 1.0f / 1024.0f;

} // namespace _Vtx_Internal_NS_
