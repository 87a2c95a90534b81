#include <algorithm>
#include <cmath>
#include <cstring>

#include "djv_maskblend.h"
#include "djv_maskscaling_internal.h"
#include "vtx_exception.h"
#include "vtx_memory.h"

using Vantorix::DjVu::Color;
using Vantorix::DjVu::Photometric;
using Vantorix::DjVu::Rect;

namespace _Vtx_Internal_NS_ {

namespace {
inline uint8_t clampByte(int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }
} // namespace

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

namespace {

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

// The same-size and enlarging regimes.
class MaskJob {
public:
    explicit MaskJob(const MaskCall& call) : c_(call), working_(call.bpp == 1 ? 2 : 4)
    {
        state_.photometric = call.photometric;
        painter_.state = &state_;
    }

    void run()
    {
        if (c_.dstW == c_.srcW && c_.dstH == c_.srcH)
            sameSize();
        else if (c_.dstW < c_.srcW && c_.dstH < c_.srcH)
            shrinkMask(c_);
        else
            enlarge();
    }

private:
    struct Column;
    class AcrossRows;

    // Foreground column offsets of mask columns origin .. origin + span - 1.
    void prepareForeground(uint32_t origin, uint32_t span)
    {
        if (!c_.fg) return;
        fgCol_.resize(span);
        for (uint32_t i = 0; i < span; ++i) fgCol_[i] = c_.fgOffset(origin + i);
        state_.fgCol = fgCol_.data();
    }

    // Paints mask row y over [x0, x1) into row, whose first pixel is mask column origin.
    bool fillRow(uint32_t y, uint32_t x0, uint32_t x1, uint8_t* row, uint32_t origin)
    {
        state_.row = row;
        state_.origin = origin;
        if (c_.fg) state_.fgRow = c_.fgRow(y);
        painter_.x0 = x0;
        painter_.x1 = x1;
        painter_.painted = false;
        painter_.lo = ~0u;
        painter_.hi = 0;
        c_.rows->fill(y, x0, x1, painter_);
        return painter_.painted;
    }

    // Spans go straight into the output row.
    void sameSize()
    {
        const Rect& r = c_.rect;
        painter_.fn = pickWriter<false>(c_.bpp, c_.fg);
        prepareForeground(r.x, r.w);
        for (uint32_t j = 0; j < r.h; ++j) fillRow(r.y + j, r.x, r.x + r.w, c_.outRow(j), r.x);
    }

    void enlarge();

    const MaskCall& c_;
    const int working_; // bytes per working pixel
    PaintState state_;
    MaskSpanPainter painter_;
    Vantorix::SimpleArray<uint32_t> fgCol_;
};

// Where output column i samples the mask: between columns origin + ix and origin + ix + 1.
struct MaskJob::Column {
    uint32_t ix;
    float fx;
};

// Mask rows interpolated across to the output columns, two kept at a time (the pair an output
// row lies between). A row is painted into one working row (kept clear between uses: only the
// columns painted last time are cleared), then interpolated across; outside the output columns
// its painted pixels reach, its values are zero.
class MaskJob::AcrossRows {
public:
    struct Row {
        AcrossRow across;
        uint32_t lo, hi; // the output columns that may be covered
    };

    AcrossRows(MaskJob& job, const Vantorix::SimpleArray<Column>& cols, uint32_t origin, uint32_t span)
        : job_(job), cols_(cols), origin_(origin), span_(span),
          work_(uint32_t(std::min<uint64_t>(uint64_t(span) * uint32_t(job.working_) + 1, 0xFFFFFFFFu)))
    {
        std::memset(work_.data(), 0, work_.size());
        const uint64_t n = uint64_t(cols.size()) * uint32_t(job.c_.bpp);
        for (Slot& slot : slots_) {
            slot.colour.resize(uint32_t(std::min<uint64_t>(n, 0xFFFFFFFFu)));
            slot.coverage.resize(slot.colour.size());
            std::fill(slot.colour.begin(), slot.colour.end(), 0.0f);
            std::fill(slot.coverage.begin(), slot.coverage.end(), 0.0f);
        }
    }

    // Mask row y, keeping the slot that holds row `keep`.
    Row get(uint32_t y, uint32_t keep)
    {
        for (Slot& slot : slots_)
            if (slot.y == int64_t(y)) return rowOf(slot);
        Slot& slot = slots_[slots_[0].y == int64_t(keep) && keep != y ? 1 : 0];
        const uint32_t bpp = uint32_t(job_.c_.bpp);
        std::fill(slot.colour.data() + size_t(slot.lo) * bpp, slot.colour.data() + size_t(slot.hi) * bpp, 0.0f);
        std::fill(slot.coverage.data() + size_t(slot.lo) * bpp, slot.coverage.data() + size_t(slot.hi) * bpp, 0.0f);
        slot.y = y;
        slot.lo = slot.hi = 0;
        slot.black = true;
        if (paint(y)) interpolate(slot);
        return rowOf(slot);
    }

private:
    struct Slot {
        int64_t y = -1;
        uint32_t lo = 0, hi = 0;
        bool black = true;
        Vantorix::SimpleArray<float> colour, coverage;
    };

    static Row rowOf(const Slot& slot)
    {
        return Row{{slot.colour.data(), slot.coverage.data(), slot.black}, slot.lo, slot.hi};
    }

    // Paints mask row y into the working row; false when it has no set pixel in range.
    bool paint(uint32_t y)
    {
        const uint32_t w = uint32_t(job_.working_);
        if (workHi_ > workLo_) std::memset(work_.data() + size_t(workLo_ - origin_) * w, 0, size_t(workHi_ - workLo_) * w);
        workLo_ = workHi_ = 0;
        const uint32_t end = uint32_t(std::min<uint64_t>(uint64_t(origin_) + span_, job_.c_.srcW));
        if (y >= job_.c_.srcH || end <= origin_ || !job_.fillRow(y, origin_, end, work_.data(), origin_)) return false;
        workLo_ = job_.painter_.lo;
        workHi_ = job_.painter_.hi;
        return true;
    }

    // The output columns whose two mask columns meet the painted ones, interpolated across.
    void interpolate(Slot& slot)
    {
        const Column* first = cols_.data();
        const Column* last = first + cols_.size();
        const uint32_t plo = workLo_ - origin_, phi = workHi_ - origin_;
        slot.lo = uint32_t(std::partition_point(first, last, [plo](const Column& c) { return c.ix + 1 < plo; }) - first);
        slot.hi = uint32_t(std::partition_point(first, last, [phi](const Column& c) { return c.ix < phi; }) - first);
        const int w = job_.working_, bpp = job_.c_.bpp;
        float* colour = slot.colour.data() + size_t(slot.lo) * uint32_t(bpp);
        float* coverage = slot.coverage.data() + size_t(slot.lo) * uint32_t(bpp);
        int any = 0;
        for (uint32_t i = slot.lo; i < slot.hi; ++i, colour += bpp, coverage += bpp) {
            const uint8_t* a0 = work_.data() + size_t(cols_[i].ix) * uint32_t(w);
            const uint8_t* a1 = a0 + w;
            const float fx = cols_[i].fx, gx = 1.0f - fx;
            const float cov = gx * float(a0[w - 1]) + fx * float(a1[w - 1]);
            for (int ch = 0; ch < bpp; ++ch) {
                any |= a0[ch] | a1[ch];
                colour[ch] = gx * float(a0[ch]) + fx * float(a1[ch]);
                coverage[ch] = cov;
            }
        }
        slot.black = any == 0;
    }

    MaskJob& job_;
    const Vantorix::SimpleArray<Column>& cols_;
    uint32_t origin_, span_;
    Vantorix::ByteArray work_;
    uint32_t workLo_ = 0, workHi_ = 0; // the mask columns painted into work_
    Slot slots_[2];
};

// Bilinear interpolation of working pixels, across once per mask row, then down per output row
// with the blend out = out * (255 - cov) / 255 + v.
void MaskJob::enlarge()
{
    const Rect& r = c_.rect;
    const float rx = float(c_.srcW) / float(c_.dstW), ry = float(c_.srcH) / float(c_.dstH);
    Vantorix::SimpleArray<Column> cols(r.w);
    uint32_t lo = ~0u, hi = 0;
    for (uint32_t i = 0; i < r.w; ++i) {
        const float sx = float(r.x + i) * rx;
        const float fl = std::floor(sx);
        cols[i].ix = uint32_t(fl);
        cols[i].fx = sx - fl;
        lo = std::min(lo, cols[i].ix);
        hi = std::max(hi, cols[i].ix + 2);
    }
    for (Column& c : cols) c.ix -= lo;
    painter_.fn = pickWriter<true>(c_.bpp, c_.fg);
    prepareForeground(lo, hi - lo);
    AcrossRows rows(*this, cols, lo, hi - lo);

    const uint32_t bpp = uint32_t(c_.bpp);
    for (uint32_t j = 0; j < r.h; ++j) {
        const float sy = float(r.y + j) * ry;
        const float fly = std::floor(sy);
        const uint32_t iy = uint32_t(fly);
        const float fy = sy - fly, gy = 1.0f - fy;
        const uint32_t ny = iy + 1 < c_.srcH ? iy + 1 : iy;
        const AcrossRows::Row a = rows.get(iy, ny);
        const AcrossRows::Row b = rows.get(ny, iy);
        // An empty row is all zeros and so leaves the output as it is.
        const uint32_t from = a.hi > a.lo && (b.hi <= b.lo || a.lo < b.lo) ? a.lo : b.lo;
        const uint32_t to = std::max(a.hi, b.hi);
        if (to > from) blendDown(c_.outRow(j), a.across, b.across, from * bpp, to * bpp, gy, fy);
    }
}

} // namespace

void resampleMask(uint8_t* dst, int32_t dstStride, const Rect& rect, uint32_t dstW, uint32_t dstH,
                  const MaskRowFiller& rows, uint32_t srcW, uint32_t srcH, const uint8_t* fgPixels, int32_t fgStride,
                  uint32_t fgW, uint32_t fgH, Photometric photometric, uint32_t flags)
{
    if (rect.w == 0 || rect.h == 0 || srcW == 0 || srcH == 0) return;
    const bool fg = fgPixels && fgW && fgH;
    const MaskCall call{dst,      dstStride, rect,     dstW,       dstH,  &rows,
                        srcW,     srcH,      fgPixels, fgStride,   fgW,   fgH,
                        photometric, flags, int(getBpp(photometric)), fg};
    MaskJob(call).run();
}

} // namespace _Vtx_Internal_NS_
