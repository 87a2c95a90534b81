// From component samples to output pixels: rounding to signed bytes, the colour transform and
// the byte layout of each photometric, one output row at a time.
#pragma once

#include <cstdint>

#include "djv_iw44compose.h"
#include "djv_types.h"

namespace Vantorix::DjVu::IW44 {

// The colour transform of one pixel; outputs clamped to 0..255.
inline void ycbcrToRgb(int32_t y, int32_t cb, int32_t cr, uint8_t& r, uint8_t& g, uint8_t& b)
{
    auto clamp = [](int32_t v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
    const int32_t t2 = cr + (cr >> 1);
    const int32_t t3 = y + 128 - (cb >> 2);
    r = clamp(y + 128 + t2);
    g = clamp(t3 - (t2 >> 1));
    b = clamp(t3 + 2 * cb);
}

// The sample rows of one output row. Grey images have y only. With halfColumns the chroma rows
// hold one sample for every two columns (chroma reconstructed at half resolution).
struct SampleRows {
    const int16_t* y = nullptr;
    const int16_t* cb = nullptr;
    const int16_t* cr = nullptr;
    bool halfColumns = false;
};

// Writes width pixels in the photometric (RGB, BGR, Gray or YCbCr):
//   colour: RGB/BGR by the transform above, Gray y + 128, YCbCr the signed bytes;
//   grey:   RGB/BGR three bytes 127 - y (grey samples store darkness), Gray 127 - y,
//           YCbCr y, 0, 0.
void emitRow(uint8_t* out, const SampleRows& rows, uint32_t width, Photometric photometric, bool colour);
// The same, pixel by pixel: the reference that the vector paths are checked against.
void emitRowReference(uint8_t* out, const SampleRows& rows, uint32_t width, Photometric photometric, bool colour);

} // namespace Vantorix::DjVu::IW44
