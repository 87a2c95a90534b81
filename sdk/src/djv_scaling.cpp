#include "djv_scaling.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "djv_imageutils.h"
#include "djv_scaling_internal.h"
#include "vtx_exception.h"

using Vantorix::DjVu::Photometric;
using Vantorix::DjVu::Rect;
using Vantorix::DjVu::Imaging::ConstImageView;
using Vantorix::DjVu::Imaging::ImageView;
using Vantorix::DjVu::Imaging::rowAt;
using namespace _Vtx_Internal_NS_;

namespace {

typedef float v4sf __attribute__((vector_size(16), may_alias));
typedef int32_t v4si __attribute__((vector_size(16), may_alias));


// Source length over output length, in double precision, kept as a float.
inline float ratioOf(uint32_t src, uint32_t out) { return float(double(src) / double(out)); }

// dst: the rect.w x rect.h output; src: the whole source image.
void copyRect(const ImageView& dst, const Rect& rect, const ConstImageView& src, uint32_t bpp)
{
    const size_t bytes = size_t(rect.w) * bpp;
    for (uint32_t j = 0; j < rect.h; ++j)
        std::memcpy(dst.row(j), src.row(uint64_t(rect.y) + j) + size_t(rect.x) * bpp, bytes);
}

// ---- Bilinear enlargement -------------------------------------------------------------------
//
// Per output pixel: sample position p * (src / out) with no half-pixel offset, the two source
// rows and columns around it, products and sums in float in a fixed order, truncated. Source
// rows are converted to float once (4 lanes per pixel for 3- and 4-byte pixels, so that one
// pixel is one vector) and kept while the sample row stays the same.

struct EnlargeColumn {
    float fx, gx; // fraction and 1 - fraction
    uint32_t ix; // source column, relative to the first converted column
    uint32_t edge; // no source pixel to the right: only the column itself is used
};

template <int Bpp>
class Enlarger {
    static constexpr int Lanes = Bpp >= 3 ? 4 : Bpp;

public:
    void run(const ImageView& dst, const Rect& rect, uint32_t width, uint32_t height, const ConstImageView& src)
    {
        const uint32_t srcW = src.width, srcH = src.height;
        src_ = src.pixels;
        srcStride_ = src.stride;
        const float rx = ratioOf(srcW, width), ry = ratioOf(srcH, height);

        cols_.resize(rect.w);
        uint32_t lo = ~0u, hi = 0;
        for (uint32_t i = 0; i < rect.w; ++i) {
            uint32_t ix;
            float fx;
            sample(rect.x + i, rx, srcW, ix, fx);
            cols_[i].ix = ix;
            cols_[i].fx = fx;
            cols_[i].gx = 1.0f - fx;
            cols_[i].edge = ix + 1 == srcW;
            lo = std::min(lo, ix);
            hi = std::max(hi, cols_[i].edge ? ix + 1 : ix + 2);
        }
        lo_ = lo;
        span_ = hi - lo;
        for (EnlargeColumn& c : cols_) c.ix -= lo;
        rows_.allocate(2, span_ * Lanes);
        rowIndex_[0] = rowIndex_[1] = -1;

        for (uint32_t j = 0; j < rect.h; ++j) {
            uint32_t iy;
            float fy;
            sample(rect.y + j, ry, srcH, iy, fy);
            const uint32_t ny = iy + 1 < srcH ? iy + 1 : iy;
            const float* cur = floatRow(iy, ny);
            const float* nxt = floatRow(ny, iy);
            writeRow(dst.row(j), cur, nxt, fy);
        }
    }

private:
    static void sample(uint32_t p, float ratio, uint32_t srcLen, uint32_t& index, float& fraction)
    {
        float s = std::max(0.0f, float(p) * ratio);
        float fl = std::floor(s);
        if (fl >= float(srcLen - 1)) {
            index = srcLen - 1;
            fraction = fl > float(srcLen - 1) ? 0.0f : s - fl;
        } else {
            index = uint32_t(fl);
            fraction = s - fl;
        }
    }

    // Float copy of source row y, converting it unless cached; `keep` is the other row in use.
    const float* floatRow(uint32_t y, uint32_t keep)
    {
        for (int s = 0; s < 2; ++s)
            if (rowIndex_[s] == int64_t(y)) return rows_.row(s);
        const int s = rowIndex_[0] == int64_t(keep) && keep != y ? 1 : 0;
        rowIndex_[s] = y;
        float* out = rows_.row(s);
        const uint8_t* p = rowAt(src_, srcStride_, y) + size_t(lo_) * Bpp;
        for (uint32_t x = 0; x < span_; ++x, p += Bpp, out += Lanes)
            for (int ch = 0; ch < Bpp; ++ch) out[ch] = float(p[ch]);
        return rows_.row(s);
    }

    void writeRow(uint8_t* d, const float* cur, const float* nxt, float fy)
    {
        const float gy = 1.0f - fy;
        if constexpr (Lanes == 4) {
            const v4sf fyv = {fy, fy, fy, fy}, gyv = {gy, gy, gy, gy};
            const v4sf* c = reinterpret_cast<const v4sf*>(cur);
            const v4sf* n = reinterpret_cast<const v4sf*>(nxt);
            for (const EnlargeColumn& col : cols_) {
                const uint32_t x = col.ix;
                const v4sf fxv = {col.fx, col.fx, col.fx, col.fx}, gxv = {col.gx, col.gx, col.gx, col.gx};
                v4sf v;
                if (!col.edge)
                    v = (n[x + 1] * fxv + n[x] * gxv) * fyv + (c[x] * gxv + c[x + 1] * fxv) * gyv;
                else
                    v = n[x] * fyv + c[x] * gyv;
                const v4si iv = __builtin_convertvector(v, v4si);
                for (int ch = 0; ch < Bpp; ++ch) d[ch] = uint8_t(iv[ch]);
                d += Bpp;
            }
        } else {
            for (const EnlargeColumn& col : cols_) {
                const float fx = col.fx, gx = col.gx;
                const float* c = cur + size_t(col.ix) * Lanes;
                const float* n = nxt + size_t(col.ix) * Lanes;
                for (int ch = 0; ch < Bpp; ++ch) {
                    float v;
                    if (!col.edge)
                        v = (n[Lanes + ch] * fx + n[ch] * gx) * fy + (c[ch] * gx + c[Lanes + ch] * fx) * gy;
                    else
                        v = n[ch] * fy + c[ch] * gy;
                    d[ch] = uint8_t(int32_t(v));
                }
                d += Bpp;
            }
        }
    }

    const uint8_t* src_ = nullptr;
    int32_t srcStride_ = 0;
    uint32_t lo_ = 0, span_ = 0;
    Vantorix::SimpleArray<EnlargeColumn> cols_;
    FloatRows rows_;
    int64_t rowIndex_[2] = {-1, -1};
};

// ---- Shrinking ------------------------------------------------------------------------------

class ImageRows final : public ShrinkRowSource {
public:
    ImageRows(const uint8_t* src, int32_t stride) : src_(src), stride_(stride) {}
    const uint8_t* row(uint32_t y) override { return rowAt(src_, stride_, y); }

private:
    const uint8_t* src_;
    int32_t stride_;
};

class ImageSink final : public ShrinkRowSink {
public:
    ImageSink(uint8_t* dst, int32_t stride, uint32_t bytes, float area)
        : dst_(dst), stride_(stride), bytes_(bytes), area_(area)
    {
    }
    void emit(uint32_t j, const float* sums) override
    {
        uint8_t* d = rowAt(dst_, stride_, j);
        for (uint32_t k = 0; k < bytes_; ++k) {
            const float v = sums[k] / area_ + kTruncBias;
            d[k] = v <= 0.0f ? 0 : v >= 255.0f ? 255 : uint8_t(int32_t(v));
        }
    }

private:
    uint8_t* dst_;
    int32_t stride_;
    uint32_t bytes_;
    float area_;
};

void shrink(const ImageView& dst, const Rect& rect, uint32_t width, uint32_t height, const ConstImageView& src,
            uint32_t bpp, ShrinkMethod method)
{
    const float rx = ratioOf(src.width, width), ry = ratioOf(src.height, height);
    ShrinkAxis xs, ys;
    xs.build(src.width, width, rx, rect.x, rect.w, method, EdgeRule::Replicate, false);
    ys.build(src.height, height, ry, rect.y, rect.h, method, EdgeRule::Replicate, false);
    ImageRows rows(src.pixels, src.stride);
    ImageSink sink(dst.pixels, dst.stride, rect.w * bpp, rx * ry);
    Shrinker shrinker;
    shrinker.run(int(bpp), xs, rect.w, ys, rect.y, rect.h, EdgeRule::Replicate, 0, rows, sink);
}

template <int Bpp>
void enlarge(const ImageView& dst, const Rect& rect, uint32_t width, uint32_t height, const ConstImageView& src)
{
    Enlarger<Bpp>().run(dst, rect, width, height, src);
}

} // namespace

namespace Vantorix::DjVu::Imaging {

void resample(uint8_t* dst, int32_t dstStride, const Rect& rect, uint32_t width, uint32_t height, const uint8_t* src,
              int32_t srcStride, uint32_t srcWidth, uint32_t srcHeight, Photometric photometric, uint32_t flags)
{
    const char* fn = "Vantorix::DjVu::Imaging::resample";
    const uint32_t bpp = getBpp(photometric);
    if (rect.w == 0 || rect.h == 0) return;
    if (width == 0 || height == 0 || srcWidth == 0 || srcHeight == 0 || uint64_t(rect.x) + rect.w > width ||
        uint64_t(rect.y) + rect.h > height)
        VTX_THROW(errInvalidParam, "errInvalidParam", fn);

    const ImageView out{dst, dstStride, rect.w, rect.h, photometric};
    const ConstImageView in{src, srcStride, srcWidth, srcHeight, photometric};
    if (width == srcWidth && height == srcHeight) {
        copyRect(out, rect, in, bpp);
    } else if (width < srcWidth && height < srcHeight) {
        shrink(out, rect, width, height, in, bpp, (flags & 0xFF) ? ShrinkMethod::Box : ShrinkMethod::Interpolating);
    } else {
        switch (bpp) {
        case 1: enlarge<1>(out, rect, width, height, in); break;
        case 2: enlarge<2>(out, rect, width, height, in); break;
        case 3: enlarge<3>(out, rect, width, height, in); break;
        case 4: enlarge<4>(out, rect, width, height, in); break;
        default: VTX_THROW(errOperationFailed, "Unsupported Photometric!", fn);
        }
    }
}

} // namespace Vantorix::DjVu::Imaging
