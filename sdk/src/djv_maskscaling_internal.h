// Pieces of the mask resampler shared by its size regimes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "djv_imageutils.h"
#include "djv_maskscaling.h"
#include "vtx_memory.h"

namespace _Vtx_Internal_NS_ {

// One call of resampleMaskT, checked: photometric RGB, BGR, Gray or YCbCr; rect inside
// dstW x dstH; srcW, srcH not 0.
struct MaskCall {
    uint8_t* dst;
    int32_t dstStride;
    Vantorix::DjVu::Rect rect;
    uint32_t dstW, dstH;
    const MaskRowFiller* rows;
    uint32_t srcW, srcH;
    const uint8_t* fgPixels;
    int32_t fgStride;
    uint32_t fgW, fgH;
    Vantorix::DjVu::Photometric photometric;
    uint32_t flags;
    int bpp; // 1 for Gray, else 3
    bool fg; // a foreground image is given
    bool runsOnly = false; // shrinking takes every row as runs, never as bits (the plain path)

    uint8_t* outRow(uint32_t j) const { return Vantorix::DjVu::Imaging::rowAt(dst, dstStride, j); }
    // The foreground row and column of mask pixel (x, y): (y * fgH / srcH, x * fgW / srcW).
    const uint8_t* fgRow(uint32_t y) const
    {
        return Vantorix::DjVu::Imaging::rowAt(fgPixels, fgStride, uint64_t(y) * fgH / srcH);
    }
    uint32_t fgOffset(uint32_t x) const { return uint32_t((uint64_t(x) * fgW / srcW) * uint32_t(bpp)); }
};

// A shape colour in the output photometric (1 or 3 bytes).
void colourBytes(Vantorix::DjVu::Photometric photometric, const Vantorix::DjVu::Color& c, uint8_t out[3]);

// Area averaging of the mask into the output (dstW < srcW and dstH < srcH).
void shrinkMask(const MaskCall& call);

// The visible parts of a row's runs over columns [x0, x1), into visible: later runs are drawn
// over earlier ones, so walking them backwards each keeps what is still free (marked in taken,
// a bit per column). Within a run the parts come left to right.
void resolveOverlaps(const MaskSpanList& spans, uint32_t x0, uint32_t x1, Vantorix::SimpleArray<uint64_t>& taken,
                     Vantorix::SimpleArray<MaskSpan>& visible);

// Sums over the weights are kept in fixed point with this many fractional bits: exact integer
// sums do not depend on how runs are split, ordered or clipped.
constexpr int kWeightBits = 16;

} // namespace _Vtx_Internal_NS_
