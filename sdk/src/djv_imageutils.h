// Image records and small pixel utilities: photometric widths, the owned image buffer,
// white fill, the subsampling size rule, and conversions to and from packed bilevel rows
// (most significant bit leftmost).
#pragma once

#include <cstddef>
#include <cstdint>

#include "djv_types.h"
#include "vtx_memory.h"

namespace _Vtx_Internal_NS_ {
// Bytes per pixel of a photometric (3,3,1,3,1,2,3,4); above 7 throws 7 "Unknown photometric!".
uint32_t getBpp(Vantorix::DjVu::Photometric photometric);
} // namespace _Vtx_Internal_NS_

namespace Vantorix::DjVu {
namespace ImageUtils {

// An owned pixel buffer, rows packed (stride = bpp * width), top row first. Contents are
// undefined until written. A pixel block of 2 GB or more throws the array's 26.
class SimpleImage : public Referable {
public:
    SimpleImage(uint32_t width, uint32_t height, Photometric photometric);
    uint32_t getWidth() const { return width_; }
    uint32_t getHeight() const { return height_; }
    Photometric getPhotometric() const { return photometric_; }
    uint32_t getStride() const { return stride_; }
    uint8_t* getPixels() { return pixels_.data(); }
    const uint8_t* getPixels() const { return pixels_.data(); }
    static uint32_t getBpp(Photometric photometric);

private:
    uint32_t width_, height_;
    Photometric photometric_;
    uint32_t stride_;
    ByteArray pixels_;
};

// Stores ceil(width / subsample) and ceil(height / subsample). Null outputs, subsample 0 or
// above 12 throw 7.
void estimateSubsampledSize(uint32_t* outWidth, uint32_t* outHeight, uint32_t width, uint32_t height,
                            uint32_t subsample);

// Thresholds an image into packed rows; a bit is 1 where the pixel is light.
void packAnyToBits(uint32_t width, uint32_t height, const uint8_t* src, int32_t srcStride, uint8_t* dst,
                   int32_t dstStride, Photometric photometric);
// One byte per pixel (0 / not 0) to packed rows, and back as 0/1 or 0x00/0xFF bytes.
void packBytesToBits(uint32_t width, uint32_t height, const uint8_t* src, int32_t srcStride, uint8_t* dst,
                     int32_t dstStride);
void unpackBitsTo01(uint32_t width, uint32_t height, const uint8_t* src, int32_t srcStride, uint8_t* dst,
                    int32_t dstStride);
void unpackBitsTo00FF(uint32_t width, uint32_t height, const uint8_t* src, int32_t srcStride, uint8_t* dst,
                      int32_t dstStride);

} // namespace ImageUtils

namespace Imaging {

// Row y of pixels whose rows lie stride bytes apart (a negative stride runs bottom-up).
template <class Byte>
inline Byte* rowAt(Byte* base, int32_t stride, uint64_t y)
{
    return base + ptrdiff_t(stride) * ptrdiff_t(y);
}

// A caller's pixel buffer, borrowed: first row, row distance, size in pixels, pixel format.
template <class Byte>
struct PixelView {
    Byte* pixels;
    int32_t stride;
    uint32_t width, height;
    Photometric photometric;

    Byte* row(uint64_t y) const { return rowAt(pixels, stride, y); }
};
using ImageView = PixelView<uint8_t>;
using ConstImageView = PixelView<const uint8_t>;

// Writes the photometric's white into width x height pixels (RGB/BGR FF FF FF, Gray FF,
// YCbCr FF 80 80); codes 4 to 7 throw 7 "Unknown photometric!".
void fillWhite(uint8_t* pixels, int32_t stride, uint32_t width, uint32_t height, Photometric photometric);
} // namespace Imaging

} // namespace Vantorix::DjVu
