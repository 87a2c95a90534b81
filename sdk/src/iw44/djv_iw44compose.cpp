// Reconstruction of one component: coefficients into a 16-bit plane, inverse lifting, rows.
#include "djv_iw44compose.h"

#include <algorithm>
#include <cstring>

#include "djv_imageutils.h"
#include "djv_iw44codec.h"
#include "vtx_exception.h"

namespace Vantorix::DjVu::IW44 {
namespace {

// Half-open box in plane coordinates; signed so that growing it may cross zero.
struct Box {
    int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    int64_t width() const { return x1 - x0; }
    int64_t height() const { return y1 - y0; }
};

Box intersect(const Box& a, const Box& b)
{
    Box r{std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
    r.x1 = std::max(r.x1, r.x0);
    r.y1 = std::max(r.y1, r.y0);
    return r;
}

// Rounding to a grid; every coordinate here is at least 0.
int64_t floorTo(int64_t v, int64_t grid) { return v / grid * grid; }
int64_t ceilTo(int64_t v, int64_t grid) { return (v + grid - 1) / grid * grid; }

// Where the first `count` coefficients of a block land in a patch of a plane whose blocks are
// reduced to 2^level samples a side.
void patchOffsets(ptrdiff_t* offsets, uint32_t count, uint32_t level, ptrdiff_t pitch)
{
    const uint32_t shift = 5 - level;
    for (uint32_t n = 0; n < count; ++n)
        offsets[n] = ptrdiff_t(coefficientRow(n) >> shift) * pitch + ptrdiff_t(coefficientColumn(n) >> shift);
}

// Copies the first `count` coefficients of a block (missing buckets are zero) to a patch.
void scatterBlock(const Map::Block& block, int16_t* patch, const ptrdiff_t* offsets, uint32_t count)
{
    for (uint32_t first = 0; first < count; first += 16) {
        const uint32_t n = std::min<uint32_t>(16, count - first);
        const int16_t* b = Map::getBucket(block, first >> 4);
        const ptrdiff_t* off = offsets + first;
        if (b) {
            for (uint32_t k = 0; k < n; ++k) patch[off[k]] = b[k];
        } else {
            for (uint32_t k = 0; k < n; ++k) patch[off[k]] = 0;
        }
    }
}

// Copies every even sample (2x, 2y) over its three odd neighbours: chroma coded at half
// resolution has no finest scale.
void duplicateEven(int16_t* plane, ptrdiff_t pitch, const Box& box)
{
    for (int64_t y = box.y0; y < box.y1; ++y) {
        int16_t* row = plane + y * pitch;
        const int16_t* src = plane + (y & ~int64_t(1)) * pitch;
        for (int64_t x = box.x0; x < box.x1; ++x) row[x] = src[x & ~int64_t(1)];
    }
}

} // namespace

uint32_t Plane::checked(uint64_t samples)
{
    if (samples > kImageByteLimit / sizeof(int16_t))
        VTX_THROW(errLimitExceeded, "The IW44 image needs more memory than one image may take.", "Vantorix::DjVu::IW44::Plane::Plane");
    return uint32_t(samples);
}

ComponentRows::ComponentRows(const ComponentDecoder& component, bool chromaHalf)
{
    composeFull(component, chromaHalf);
}

ComponentRows::ComponentRows(const ComponentDecoder& component, uint32_t level, const Rect& rect, bool chromaHalf)
{
    composeReduced(component, level, rect, chromaHalf);
}

const int16_t* ComponentRows::row(uint32_t y)
{
    if (!finestColumns_) return origin_ + ptrdiff_t(halfRows_ ? y >> 1 : y) * pitch_;
    for (; rowsDone_ <= y; ++rowsDone_) {
        // A row may be lifted along x only once no column step will read it again, that is
        // once the rows three above it are finished; that reads up to six rows further.
        const uint32_t needed = std::min(rowsDone_ + 9, height_ - 1);
        for (; rowsMade_ <= needed; ++rowsMade_) makeRow(rowsMade_);
        finestColumns_->finish(rowsDone_ + 3);
        finestRows_->lift(ring_.data() + ptrdiff_t(rowsDone_ % kRingRows) * ringPitch_);
    }
    return ring_.data() + ptrdiff_t(y % kRingRows) * ringPitch_;
}

// Row y of the full plane before the finest scale: on even rows the even columns come from the
// half-size plane, every other sample is a finest-scale coefficient. Within a block row, the
// row fixes bits 1, 3, 5, 7, 9 of the coefficient numbers: eight buckets give four samples each.
void ComponentRows::makeRow(uint32_t y)
{
    static const int16_t kZeroBucket[16] = {};
    const Map& map = component_->getMap();
    const uint32_t ry = y & 31, by = y >> 5;
    const uint32_t bucketBits = ((ry >> 2) & 1) << 1 | ((ry >> 1) & 1) << 3 | (ry & 1) << 5;
    const uint32_t indexBits = (ry >> 4) << 1 | ((ry >> 3) & 1) << 3;
    const bool evenRow = (ry & 1) == 0;
    int16_t* out = ring_.data() + ptrdiff_t(y % kRingRows) * ringPitch_;
    const int16_t* coarse = plane_.data() + ptrdiff_t(y >> 1) * pitch_;
    const Map::Block* row = map.getRow(by);
    for (uint32_t bx = 0; bx < map.getBlocksWide(); ++bx, out += 32) {
        const Map::Block* block = row ? row + bx : &Map::kEmptyBlock;
        for (uint32_t m = evenRow ? 1 : 0; m < 8; m += evenRow ? 2 : 1) {
            // m = b8 + 2 b6 + 4 b4 (the column bits that choose the bucket).
            const uint32_t b8 = m & 1, b6 = (m >> 1) & 1, b4 = m >> 2;
            const int16_t* bucket = Map::getBucket(*block, bucketBits | b4 | b6 << 2 | b8 << 4);
            if (!bucket) bucket = kZeroBucket;
            int16_t* o = out + (4 * b4 + 2 * b6 + b8);
            o[0] = bucket[indexBits];
            o[16] = bucket[indexBits | 1];
            o[8] = bucket[indexBits | 4];
            o[24] = bucket[indexBits | 5];
        }
        if (evenRow) {
            const int16_t* c = coarse + bx * 16;
            for (uint32_t j = 0; j < 16; ++j) out[2 * j] = c[j];
        }
    }
}

void ComponentRows::composeFull(const ComponentDecoder& component, bool chromaHalf)
{
    const Map& map = component.getMap();
    const uint32_t w = map.getWidth(), h = map.getHeight();
    // The first 256 coefficients of a block are its samples at even positions.
    pitch_ = ptrdiff_t(map.getBlocksWide()) * 16;
    plane_ = Plane(uint64_t(pitch_) * map.getBlocksHigh() * 16);
    int16_t* p = origin_ = plane_.data();
    ptrdiff_t offsets[256];
    patchOffsets(offsets, 256, 4, pitch_);
    for (uint32_t by = 0; by < map.getBlocksHigh(); ++by) {
        const Map::Block* row = map.getRow(by);
        for (uint32_t bx = 0; bx < map.getBlocksWide(); ++bx)
            scatterBlock(row ? row[bx] : Map::kEmptyBlock, p + ptrdiff_t(by) * 16 * pitch_ + ptrdiff_t(bx) * 16,
                         offsets, 256);
    }
    // Scales 16 to 2 of the image are scales 8 to 1 of the half-size plane, over the image's
    // even positions.
    for (uint32_t step = 8; step >= 1; step >>= 1) liftScale(p, pitch_, (w + 1) / 2, (h + 1) / 2, step);

    if (chromaHalf) {
        // No finest scale: each even sample stands for its 2 x 2 square.
        halfRows_ = true;
        return;
    }
    component_ = &component;
    height_ = h;
    ringPitch_ = ptrdiff_t(map.getBlocksWide()) * 32;
    ring_ = Plane(uint64_t(ringPitch_) * kRingRows);
    finestColumns_.emplace(ring_.data(), ringPitch_, w, h, ColumnLifter::Ring{kRingRows});
    finestRows_.emplace(w, 1);
}

void ComponentRows::composeReduced(const ComponentDecoder& component, uint32_t level, const Rect& rect,
                                   bool chromaHalf)
{
    const Map& map = component.getMap();
    const uint32_t k = level;
    const int64_t patch = int64_t(1) << k, s = 32 >> k;
    const Box padded{0, 0, int64_t(map.getBlocksWide()) * 32 / s, int64_t(map.getBlocksHigh()) * 32 / s};

    // The region each level must reconstruct: what the next finer level reads, grown by the
    // reach of the filters (three samples of the level's grid).
    Box a[6], b[6];
    a[k] = b[k] = Box{rect.x, rect.y, int64_t(rect.x) + rect.w, int64_t(rect.y) + rect.h};
    for (int l = int(k) - 1; l >= 0; --l) {
        const int64_t m = int64_t(1) << (k - 1 - l);
        const Box& next = b[l + 1];
        a[l] = intersect(Box{next.x0 - 3 * m, next.y0 - 3 * m, next.x1 + 3 * m, next.y1 + 3 * m}, padded);
        b[l] = intersect(Box{ceilTo(a[l].x0, 2 * m), ceilTo(a[l].y0, 2 * m), floorTo(a[l].x1, 2 * m),
                             floorTo(a[l].y1, 2 * m)},
                         a[l]);
    }
    const Box work = intersect(
        Box{floorTo(a[0].x0, patch), floorTo(a[0].y0, patch), ceilTo(a[0].x1, patch), ceilTo(a[0].y1, patch)}, padded);

    pitch_ = ptrdiff_t(work.width());
    plane_ = Plane(uint64_t(pitch_) * uint64_t(work.height()));
    int16_t* p = plane_.data();
    std::memset(p, 0, plane_.size() * sizeof(int16_t));

    // Blocks that only feed the two coarsest levels need their first 16 coefficients.
    ptrdiff_t all[1024], coarse[16];
    const uint32_t count = 1u << (2 * k);
    patchOffsets(all, count, k, pitch_);
    patchOffsets(coarse, std::min<uint32_t>(count, 16), k, pitch_);
    for (int64_t by = work.y0 / patch; by < work.y1 / patch; ++by) {
        const Map::Block* row = map.getRow(uint32_t(by));
        for (int64_t bx = work.x0 / patch; bx < work.x1 / patch; ++bx) {
            const Map::Block& block = row ? row[bx] : Map::kEmptyBlock;
            const int64_t ox = bx * patch, oy = by * patch;
            int16_t* dst = p + (oy - work.y0) * pitch_ + (ox - work.x0);
            const bool meets = ox < a[2].x1 && ox + 31 >= a[2].x0 && oy < a[2].y1 && oy + 31 >= a[2].y0;
            if (k > 2 && !meets)
                scatterBlock(block, dst, coarse, 16);
            else
                scatterBlock(block, dst, all, count);
        }
    }

    for (uint32_t l = 0; l < k; ++l) {
        if (chromaHalf && l >= 4) {
            duplicateEven(p, pitch_, Box{a[l].x0 - work.x0, a[l].y0 - work.y0, a[l].x1 - work.x0, a[l].y1 - work.y0});
            break;
        }
        const int64_t grid = int64_t(2) << (k - 1 - l);
        const int64_t x0 = floorTo(a[l].x0, grid), y0 = floorTo(a[l].y0, grid);
        liftScale(p + (y0 - work.y0) * pitch_ + (x0 - work.x0), pitch_, uint32_t(a[l].width()),
                  uint32_t(a[l].height()), uint32_t(grid >> 1));
    }
    origin_ = p + (int64_t(rect.y) - work.y0) * pitch_ + (int64_t(rect.x) - work.x0);
}

void ComponentDecoder::composeImage(uint8_t* dst, int32_t dstStride, uint32_t pixelStep, bool chromaHalf) const
{
    const uint32_t w = map->getWidth(), h = map->getHeight();
    if (!w || !h) return;
    ComponentRows rows(*this, chromaHalf);
    for (uint32_t y = 0; y < h; ++y) {
        uint8_t* d = Imaging::rowAt(dst, dstStride, y);
        const int16_t* s = rows.row(y);
        for (uint32_t x = 0; x < w; ++x) d[size_t(x) * pixelStep] = sampleToByte(s[rows.halfColumns() ? x >> 1 : x]);
    }
}

void ComponentDecoder::composeReduced(uint8_t* dst, int32_t dstStride, uint32_t level, const Rect& rect,
                                      uint32_t pixelStep, bool chromaHalf) const
{
    ComponentRows rows(*this, level, rect, chromaHalf);
    for (uint32_t y = 0; y < rect.h; ++y) {
        uint8_t* d = Imaging::rowAt(dst, dstStride, y);
        const int16_t* s = rows.row(y);
        for (uint32_t x = 0; x < rect.w; ++x) d[size_t(x) * pixelStep] = sampleToByte(s[x]);
    }
}

} // namespace Vantorix::DjVu::IW44
