#include "djv_maskscaling.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "djv_scaling_internal.h"
#include "vtx_exception.h"
#include "vtx_memory.h"

using Vantorix::DjVu::Color;
using Vantorix::DjVu::Photometric;
using Vantorix::DjVu::Rect;

namespace _Vtx_Internal_NS_ {

namespace {

inline uint8_t clampByte(int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

// A shape colour in the output photometric (1 or 3 bytes).
void colourBytes(Photometric photometric, const Color& c, uint8_t out[3])
{
    const int b = c.blue, g = c.green, r = c.red;
    const int gray = (15 * b + 75 * g + 38 * r + 64) >> 7;
    switch (photometric) {
    case Photometric::Gray: out[0] = uint8_t(gray); break;
    case Photometric::RGB: out[0] = c.red; out[1] = c.green; out[2] = c.blue; break;
    case Photometric::BGR: out[0] = c.blue; out[1] = c.green; out[2] = c.red; break;
    default:
        out[0] = uint8_t(gray);
        out[1] = clampByte(((32 * (b + 1) - 21 * g - 11 * r) >> 6) + 128);
        out[2] = clampByte(((32 * (r + 1) - 27 * g - 5 * b) >> 6) + 128);
        break;
    }
}

// What the span writers need; one per call.
struct PaintState {
    uint8_t* row = nullptr; // output or working row; its first pixel is mask column `origin`
    uint32_t origin = 0;
    const uint8_t* fgRow = nullptr; // foreground row of the current mask row
    const uint32_t* fgCol = nullptr; // byte offset in fgRow of mask column origin + i
    Photometric photometric = Photometric::Gray;
    Color last{};
    uint8_t bytes[4] = {0, 0, 0, 255};
    bool haveLast = false;

    const uint8_t* colour(const Color& c)
    {
        if (!haveLast || !(c == last)) {
            colourBytes(photometric, c, bytes);
            last = c;
            haveLast = true;
        }
        return bytes;
    }
};

// Output pixels are Bpp bytes; working pixels add a coverage byte (2 or 4 bytes).
template <int Bpp, bool Working>
constexpr int pixelBytes()
{
    return Working ? (Bpp == 1 ? 2 : 4) : Bpp;
}

template <int Bpp, bool Working, bool Fg>
void paintSpan(MaskSpanPainter& painter, uint32_t begin, uint32_t end, const Color& c)
{
    constexpr int P = pixelBytes<Bpp, Working>();
    PaintState& s = *static_cast<PaintState*>(painter.state);
    uint8_t* d = s.row + size_t(begin - s.origin) * P;
    const uint32_t n = end - begin;
    if constexpr (!Fg) {
        const uint8_t* col = s.colour(c);
        if constexpr (P == 1) {
            std::memset(d, col[0], n);
        } else if constexpr (P == 4) {
            uint8_t px[4] = {col[0], col[1], col[2], 255};
            for (uint32_t i = 0; i < n; ++i, d += 4) std::memcpy(d, px, 4);
        } else {
            for (uint32_t i = 0; i < n; ++i, d += P) {
                for (int ch = 0; ch < Bpp; ++ch) d[ch] = col[ch];
                if constexpr (Working) d[P - 1] = 255;
            }
        }
    } else {
        const uint32_t* off = s.fgCol + (begin - s.origin);
        for (uint32_t i = 0; i < n; ++i, d += P) {
            const uint8_t* f = s.fgRow + off[i];
            for (int ch = 0; ch < Bpp; ++ch) d[ch] = f[ch];
            if constexpr (Working) d[P - 1] = 255;
        }
    }
}

template <bool Working>
MaskSpanPainter::PaintFn pickWriter(int bpp, bool fg)
{
    if (bpp == 1) return fg ? &paintSpan<1, Working, true> : &paintSpan<1, Working, false>;
    return fg ? &paintSpan<3, Working, true> : &paintSpan<3, Working, false>;
}

class MaskJob {
public:
    MaskJob(uint8_t* dst, int32_t dstStride, const Rect& rect, uint32_t dstW, uint32_t dstH, const MaskRowFiller& rows,
            uint32_t srcW, uint32_t srcH, const uint8_t* fgPixels, int32_t fgStride, uint32_t fgW, uint32_t fgH,
            Photometric photometric, uint32_t flags)
        : dst_(dst), dstStride_(dstStride), rect_(rect), dstW_(dstW), dstH_(dstH), rows_(rows), srcW_(srcW),
          srcH_(srcH), fgPixels_(fgPixels), fgStride_(fgStride), fgW_(fgW), fgH_(fgH), flags_(flags),
          bpp_(photometric == Photometric::Gray ? 1 : 3), working_(bpp_ == 1 ? 2 : 4),
          fg_(fgPixels && fgW && fgH)
    {
        state_.photometric = photometric;
        painter_.state = &state_;
    }

    void run()
    {
        if (dstW_ == srcW_ && dstH_ == srcH_)
            sameSize();
        else if (dstW_ < srcW_ && dstH_ < srcH_)
            shrink();
        else
            enlarge();
    }

private:
    class WorkingRows;
    class Blender;

    uint8_t* outRow(uint32_t j) const { return dst_ + ptrdiff_t(dstStride_) * ptrdiff_t(j); }

    // The foreground pixel of mask column x lies at column x * fgW / srcW.
    void prepareForeground(uint32_t origin, uint32_t span)
    {
        if (!fg_) return;
        fgCol_.resize(span);
        for (uint32_t i = 0; i < span; ++i)
            fgCol_[i] = uint32_t((uint64_t(origin + i) * fgW_ / srcW_) * bpp_);
        state_.fgCol = fgCol_.data();
    }

    // Paints mask row y over [x0, x1) into row, whose first pixel is mask column origin.
    bool fillRow(uint32_t y, uint32_t x0, uint32_t x1, uint8_t* row, uint32_t origin)
    {
        state_.row = row;
        state_.origin = origin;
        if (fg_) state_.fgRow = fgPixels_ + ptrdiff_t(fgStride_) * ptrdiff_t(uint64_t(y) * fgH_ / srcH_);
        painter_.x0 = x0;
        painter_.x1 = x1;
        painter_.painted = false;
        painter_.lo = ~0u;
        painter_.hi = 0;
        rows_.fill(y, x0, x1, painter_);
        return painter_.painted;
    }

    void sameSize()
    {
        painter_.fn = pickWriter<false>(bpp_, fg_);
        prepareForeground(rect_.x, rect_.w);
        for (uint32_t j = 0; j < rect_.h; ++j) fillRow(rect_.y + j, rect_.x, rect_.x + rect_.w, outRow(j), rect_.x);
    }

    void shrink();
    void enlarge();

    uint8_t* dst_;
    int32_t dstStride_;
    Rect rect_;
    uint32_t dstW_, dstH_;
    const MaskRowFiller& rows_;
    uint32_t srcW_, srcH_;
    const uint8_t* fgPixels_;
    int32_t fgStride_;
    uint32_t fgW_, fgH_;
    uint32_t flags_;
    int bpp_, working_;
    bool fg_;
    PaintState state_;
    MaskSpanPainter painter_;
    Vantorix::SimpleArray<uint32_t> fgCol_;
};

// Working rows kept clear between uses: only the columns painted last time are cleared again.
class MaskJob::WorkingRows final : public ShrinkRowSource {
public:
    WorkingRows(MaskJob& job, uint32_t origin, uint32_t span, uint32_t rows)
        : job_(job), origin_(origin), span_(span), bytes_(uint32_t(job.working_)),
          store_(uint32_t(std::min<uint64_t>(uint64_t(span) * bytes_ * rows + 1, 0xFFFFFFFFu)))
    {
        std::memset(store_.data(), 0, store_.size());
        for (uint32_t i = 0; i < 2; ++i) slots_[i] = Slot{-1, false, 0, 0};
    }

    // Working row of mask row y in slot s; null when the row has no set pixel in range.
    const uint8_t* fill(uint32_t s, uint32_t y)
    {
        Slot& slot = slots_[s];
        uint8_t* row = store_.data() + size_t(s) * span_ * bytes_;
        if (slot.hi > slot.lo) std::memset(row + size_t(slot.lo - origin_) * bytes_, 0, size_t(slot.hi - slot.lo) * bytes_);
        slot.y = y;
        slot.lo = slot.hi = 0;
        const uint32_t end = uint32_t(std::min<uint64_t>(uint64_t(origin_) + span_, job_.srcW_));
        slot.any = y < job_.srcH_ && end > origin_ && job_.fillRow(y, origin_, end, row, origin_);
        if (slot.any) {
            slot.lo = job_.painter_.lo;
            slot.hi = job_.painter_.hi;
        }
        return slot.any ? row : nullptr;
    }

    // Two rows at a time for interpolation: the wanted row if kept, else refilled.
    const uint8_t* get(uint32_t y, uint32_t keep)
    {
        for (uint32_t s = 0; s < 2; ++s)
            if (slots_[s].y == int64_t(y)) return slots_[s].any ? store_.data() + size_t(s) * span_ * bytes_ : nullptr;
        const uint32_t s = slots_[0].y == int64_t(keep) && keep != y ? 1 : 0;
        return fill(s, y);
    }

    const uint8_t* row(uint32_t y) override { return fill(0, y); }

private:
    struct Slot {
        int64_t y;
        bool any;
        uint32_t lo, hi;
    };
    MaskJob& job_;
    uint32_t origin_, span_, bytes_;
    Vantorix::ByteArray store_;
    Slot slots_[2];
};

// Shrinking: out = trunc(out * (1 - c / 255) + v) with coverage c and colour v averaged over the area.
class MaskJob::Blender final : public ShrinkRowSink {
public:
    Blender(MaskJob& job, float area) : job_(job), area_(area) {}
    void emit(uint32_t j, const float* sums) override
    {
        if (!sums) return;
        const int bpp = job_.bpp_, w = job_.working_;
        uint8_t* d = job_.outRow(j);
        for (uint32_t i = 0; i < job_.rect_.w; ++i, sums += w, d += bpp) {
            const float cov = sums[w - 1];
            if (cov == 0.0f) continue;
            const float keep = 1.0f - (cov / area_) / 255.0f;
            for (int ch = 0; ch < bpp; ++ch) {
                const float v = float(d[ch]) * keep + sums[ch] / area_ + kTruncBias;
                d[ch] = v <= 0.0f ? 0 : v >= 255.0f ? 255 : uint8_t(int32_t(v));
            }
        }
    }

private:
    MaskJob& job_;
    float area_;
};

void MaskJob::shrink()
{
    const float rx = float(srcW_) / float(dstW_), ry = float(srcH_) / float(dstH_);
    const ShrinkMethod method = (flags_ & 0xFF) ? ShrinkMethod::Box : ShrinkMethod::Interpolating;
    ShrinkAxis xs, ys;
    xs.build(srcW_, dstW_, rx, rect_.x, rect_.w, method, EdgeRule::Clear, true);
    ys.build(srcH_, dstH_, ry, rect_.y, rect_.h, method, EdgeRule::Clear, true);
    const uint32_t origin = xs.lowest(), span = xs.highest() - origin;
    painter_.fn = pickWriter<true>(bpp_, fg_);
    prepareForeground(origin, span);
    WorkingRows rows(*this, origin, span, 1);
    Blender sink(*this, rx * ry);
    Shrinker().run(working_, xs, rect_.w, ys, rect_.y, rect_.h, EdgeRule::Clear, origin, rows, sink);
}

// Bilinear interpolation of working pixels; out = out * (255 - a) / 255 + v.
void MaskJob::enlarge()
{
    const float rx = float(srcW_) / float(dstW_), ry = float(srcH_) / float(dstH_);
    struct Column {
        uint32_t ix; // relative to origin
        float fx;
    };
    Vantorix::SimpleArray<Column> cols(rect_.w);
    uint32_t lo = ~0u, hi = 0;
    for (uint32_t i = 0; i < rect_.w; ++i) {
        const float sx = float(rect_.x + i) * rx;
        const float fl = std::floor(sx);
        cols[i].ix = uint32_t(fl);
        cols[i].fx = sx - fl;
        lo = std::min(lo, cols[i].ix);
        hi = std::max(hi, cols[i].ix + 2);
    }
    for (Column& c : cols) c.ix -= lo;
    const uint32_t origin = lo, span = hi - lo;
    painter_.fn = pickWriter<true>(bpp_, fg_);
    prepareForeground(origin, span);
    WorkingRows rows(*this, origin, span, 2);

    const int w = working_, bpp = bpp_;
    for (uint32_t j = 0; j < rect_.h; ++j) {
        const float sy = float(rect_.y + j) * ry;
        const float fly = std::floor(sy);
        const uint32_t iy = uint32_t(fly);
        const float fy = sy - fly, gy = 1.0f - fy;
        const uint32_t ny = iy + 1 < srcH_ ? iy + 1 : iy;
        const uint8_t* a = rows.get(iy, ny);
        const uint8_t* b = rows.get(ny, iy);
        if (!a && !b) continue;
        // An empty row reads as zeros; the span of the other row serves for both.
        static const uint8_t kZeros[4] = {};
        uint8_t* d = outRow(j);
        for (uint32_t i = 0; i < rect_.w; ++i, d += bpp) {
            const Column& c = cols[i];
            const uint8_t* a0 = a ? a + size_t(c.ix) * w : kZeros;
            const uint8_t* a1 = a ? a0 + w : kZeros;
            const uint8_t* b0 = b ? b + size_t(c.ix) * w : kZeros;
            const uint8_t* b1 = b ? b0 + w : kZeros;
            if ((a0[w - 1] | a1[w - 1] | b0[w - 1] | b1[w - 1]) == 0) continue;
            const float fx = c.fx, gx = 1.0f - fx;
            int v[4];
            for (int k = 0; k < w; ++k)
                v[k] = int(gy * (gx * float(a0[k]) + fx * float(a1[k])) + fy * (gx * float(b0[k]) + fx * float(b1[k])));
            const int cov = v[w - 1];
            for (int ch = 0; ch < bpp; ++ch) d[ch] = clampByte(d[ch] * (255 - cov) / 255 + v[ch]);
        }
    }
}

} // namespace

void resampleMask(uint8_t* dst, int32_t dstStride, const Rect& rect, uint32_t dstW, uint32_t dstH,
                  const MaskRowFiller& rows, uint32_t srcW, uint32_t srcH, const uint8_t* fgPixels, int32_t fgStride,
                  uint32_t fgW, uint32_t fgH, Photometric photometric, uint32_t reserved, uint32_t flags)
{
    const char* fn = "_Vtx_Internal_NS_::resampleMaskT";
    if (uint32_t(photometric) > uint32_t(Photometric::YCbCr)) VTX_THROW(26, "Unsupported Photometric!", fn);
    if (reserved != 0) VTX_THROW(28, "errNotImplemented", fn);
    if (rect.w == 0 || rect.h == 0) return;
    if (uint64_t(rect.x) + rect.w > dstW || uint64_t(rect.y) + rect.h > dstH) VTX_THROW(7, "errInvalidParam", fn);
    if (srcW == 0 || srcH == 0) return;
    MaskJob(dst, dstStride, rect, dstW, dstH, rows, srcW, srcH, fgPixels, fgStride, fgW, fgH, photometric, flags).run();
}

} // namespace _Vtx_Internal_NS_
