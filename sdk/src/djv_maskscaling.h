// Drawing a bilevel mask into a pixel buffer at any output size.
//
// Set mask pixels are painted (in their own colours, or through a foreground image); clear
// pixels leave the buffer as it was; at other sizes the mask's edges blend by coverage over
// what the buffer holds. One template serves both mask kinds through a row source:
//
//   struct RowSource {
//       // Calls paint(begin, end, color) for runs [begin, end) of set pixels of mask row y,
//       // clipped to [x0, x1), later runs drawn over earlier ones; returns whether any pixel
//       // was set. begin and end are uint32_t mask columns, color a Vantorix::DjVu::Color.
//       template <class Paint>
//       bool forEachSpan(uint32_t y, uint32_t x0, uint32_t x1, Paint&& paint) const;
//       // Optional: draws the same row, clipped to [x0, x1), into row (already reset to that
//       // range) by setRun and blit, without listing its runs.
//       void packRow(uint32_t y, uint32_t x0, uint32_t x1, MaskColourPlanes& row) const;
//   };
//
// A JB2 page's source walks its row index (shape colours from FGbz, black otherwise); an MMR
// mask's source walks its black runs (always black).
//
// The template only adapts the row source to MaskRowFiller; the size regimes, colour writers
// and accumulation are compiled once in djv_maskscaling.cpp and shared by every row source.
#pragma once

#include <cstdint>

#include "djv_maskcolourplanes.h"
#include "djv_types.h"
#include "vtx_exception.h"
#include "vtx_memory.h"

namespace _Vtx_Internal_NS_ {

// Receives the set runs of one mask row. Runs are clipped again to [x0, x1) here, so a row
// source that overshoots cannot write outside the row being painted.
class MaskSpanPainter {
public:
    using PaintFn = void (*)(MaskSpanPainter&, uint32_t begin, uint32_t end, const Vantorix::DjVu::Color& color);

    void paint(uint32_t begin, uint32_t end, const Vantorix::DjVu::Color& color)
    {
        if (begin < x0) begin = x0;
        if (end > x1) end = x1;
        if (begin >= end) return;
        painted = true;
        if (begin < lo) lo = begin;
        if (end > hi) hi = end;
        fn(*this, begin, end, color);
    }

    PaintFn fn = nullptr;
    uint32_t x0 = 0, x1 = 0; // the range of the current row
    uint32_t lo = ~0u, hi = 0; // columns painted since the owner last reset them
    bool painted = false;
    void* state = nullptr; // the writer's own data
};

// The runs of one mask row, clipped to [x0, x1), in the order the row source gave them.
struct MaskSpan {
    uint32_t begin, end;
    Vantorix::DjVu::Color colour;
};

class MaskSpanList {
public:
    void reset(uint32_t x0, uint32_t x1)
    {
        x0_ = x0;
        x1_ = x1;
        size_ = 0;
        lastEnd_ = 0;
        unordered_ = false;
    }
    void add(uint32_t begin, uint32_t end, const Vantorix::DjVu::Color& colour)
    {
        if (begin < x0_) begin = x0_;
        if (end > x1_) end = x1_;
        if (begin >= end) return;
        if (begin < lastEnd_) unordered_ = true;
        if (end > lastEnd_) lastEnd_ = end;
        if (size_ == store_.size()) grow();
        store_[size_++] = MaskSpan{begin, end, colour};
    }
    uint32_t size() const { return size_; }
    const MaskSpan* begin() const { return store_.data(); }
    const MaskSpan* end() const { return store_.data() + size_; }
    const MaskSpan& operator[](uint32_t i) const { return store_[i]; }
    // Whether a run began before the end of an earlier one (runs may then overlap).
    bool unordered() const { return unordered_; }

private:
    void grow();

    Vantorix::SimpleArray<MaskSpan> store_;
    uint32_t size_ = 0, x0_ = 0, x1_ = 0, lastEnd_ = 0;
    bool unordered_ = false;
};

// One mask row at a time: painted through a painter, or listed as runs.
class MaskRowFiller {
public:
    virtual bool fill(uint32_t y, uint32_t x0, uint32_t x1, MaskSpanPainter& painter) const = 0;
    virtual void collect(uint32_t y, uint32_t x0, uint32_t x1, MaskSpanList& spans) const = 0;
    // Row y as bits over [x0, x1), a plane per colour, in row (reset here).
    virtual void pack(uint32_t y, uint32_t x0, uint32_t x1, MaskColourPlanes& row) const = 0;

protected:
    ~MaskRowFiller() = default;
};

template <class RowSource>
class MaskRowFillerT final : public MaskRowFiller {
public:
    explicit MaskRowFillerT(const RowSource& source) : source_(source) {}
    bool fill(uint32_t y, uint32_t x0, uint32_t x1, MaskSpanPainter& painter) const override
    {
        return source_.forEachSpan(y, x0, x1, [&painter](uint32_t begin, uint32_t end, const Vantorix::DjVu::Color& c) {
            painter.paint(begin, end, c);
        });
    }
    void collect(uint32_t y, uint32_t x0, uint32_t x1, MaskSpanList& spans) const override
    {
        spans.reset(x0, x1);
        source_.forEachSpan(y, x0, x1, [&spans](uint32_t begin, uint32_t end, const Vantorix::DjVu::Color& c) {
            spans.add(begin, end, c);
        });
    }
    void pack(uint32_t y, uint32_t x0, uint32_t x1, MaskColourPlanes& row) const override
    {
        row.reset(x0, x1);
        if constexpr (requires { source_.packRow(y, x0, x1, row); })
            source_.packRow(y, x0, x1, row);
        else
            source_.forEachSpan(y, x0, x1, [&row](uint32_t begin, uint32_t end, const Vantorix::DjVu::Color& c) {
                row.setRun(begin, end, c);
            });
    }

private:
    const RowSource& source_;
};

// The body of resampleMaskT, shared by all row sources; the arguments are checked.
void resampleMask(uint8_t* dst, int32_t dstStride, const Vantorix::DjVu::Rect& rect, uint32_t dstW, uint32_t dstH,
                  const MaskRowFiller& rows, uint32_t srcW, uint32_t srcH, const uint8_t* fgPixels, int32_t fgStride,
                  uint32_t fgW, uint32_t fgH, Vantorix::DjVu::Photometric photometric, uint32_t flags);

// Output pixel (rect.x + i, rect.y + j) of the dstW x dstH picture goes to
// dst + j * dstStride + i * bpp. fgPixels (null with zeros) is a foreground image in the output
// photometric, sampled at (x * fgW / srcW, y * fgH / srcH) for mask pixel (x, y).
// Same size: set pixels are written exactly. Smaller in both directions: area averaging (box
// weights when the low byte of flags is not 0, else interpolating weights) blended by coverage.
// Otherwise: bilinear interpolation of colour and coverage, blended.
// Throws 26 "Unsupported Photometric!" for photometrics other than RGB, BGR, Gray and YCbCr,
// 28 for a nonzero reserved, 7 "errInvalidParam" for a rectangle outside dstW x dstH; all before
// drawing anything.
template <class RowSource>
void resampleMaskT(uint8_t* dst, int32_t dstStride, const Vantorix::DjVu::Rect& rect, uint32_t dstW, uint32_t dstH,
                   const RowSource& source, uint32_t srcW, uint32_t srcH, const uint8_t* fgPixels, int32_t fgStride,
                   uint32_t fgW, uint32_t fgH, Vantorix::DjVu::Photometric photometric, uint32_t reserved,
                   uint32_t flags)
{
    const char* fn = "_Vtx_Internal_NS_::resampleMaskT";
    if (uint32_t(photometric) > uint32_t(Vantorix::DjVu::Photometric::YCbCr))
        VTX_THROW(Vantorix::errOperationFailed, "Unsupported Photometric!", fn);
    if (reserved != 0) VTX_THROW(Vantorix::errNotImplemented, "errNotImplemented", fn);
    if (rect.w != 0 && rect.h != 0 && (uint64_t(rect.x) + rect.w > dstW || uint64_t(rect.y) + rect.h > dstH))
        VTX_THROW(Vantorix::errInvalidParam, "errInvalidParam", fn);
    MaskRowFillerT<RowSource> rows(source);
    resampleMask(dst, dstStride, rect, dstW, dstH, rows, srcW, srcH, fgPixels, fgStride, fgW, fgH, photometric, flags);
}

} // namespace _Vtx_Internal_NS_
