// Drawing a bilevel mask into a pixel buffer at any output size.
//
// Set mask pixels are painted (in their own colours, or through a foreground image); clear
// pixels leave the buffer as it was; at other sizes the mask's edges blend by coverage over
// what the buffer holds. One template serves both mask kinds through a row source:
//
//   struct RowSource {
//       // Calls paint(begin, end, color) for runs of set pixels of mask row y, clipped to
//       // [x0, x1), later runs drawn over earlier ones; returns whether any pixel was set.
//       template <class Paint>
//       bool forEachSpan(uint32_t y, uint32_t x0, uint32_t x1, Paint&& paint) const;
//   };
//
// A JB2 page's source walks its row index (shape colours from FGbz, black otherwise); an MMR
// mask's source walks its black runs (always black).
#pragma once

#include <cstdint>

#include "djv_types.h"

namespace _Vtx_Internal_NS_ {

// Output pixel (rect.x + i, rect.y + j) of the dstW x dstH picture goes to
// dst + j * dstStride + i * bpp. fgPixels (null with zeros) is a foreground image in the output
// photometric. reserved must be 0. Photometrics other than RGB, BGR, Gray and YCbCr throw
// 26 "Unsupported Photometric!" before drawing.
template <class RowSource>
void resampleMaskT(uint8_t* dst, int32_t dstStride, const Vantorix::DjVu::Rect& rect, uint32_t dstW, uint32_t dstH,
                   const RowSource& source, uint32_t srcW, uint32_t srcH, const uint8_t* fgPixels, int32_t fgStride,
                   uint32_t fgW, uint32_t fgH, Vantorix::DjVu::Photometric photometric, uint32_t reserved,
                   uint32_t flags);

} // namespace _Vtx_Internal_NS_
