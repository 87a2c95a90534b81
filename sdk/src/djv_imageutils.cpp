#include "djv_imageutils.h"

#include <algorithm>
#include <cstring>

#include "vtx_exception.h"

using Vantorix::DjVu::Photometric;
using Vantorix::DjVu::Imaging::rowAt;

namespace {

constexpr uint8_t kBppTable[8] = {3, 3, 1, 3, 1, 2, 3, 4};

// Negative codes fall out as "above 7" too: they are just as unknown.
inline bool knownPhotometric(Photometric p) { return uint32_t(p) <= 7; }

// Packs one row of width pixels, bit set where light(pixel) holds.
template <int Step, class Light>
inline void packRow(const uint8_t* s, uint8_t* d, uint32_t width, Light light)
{
    uint32_t x = 0;
    for (; x + 8 <= width; x += 8, s += 8 * Step) {
        unsigned b = 0;
        for (int k = 0; k < 8; ++k) b = (b << 1) | unsigned(light(s + k * Step));
        *d++ = uint8_t(b);
    }
    if (x < width) {
        unsigned b = 0;
        uint32_t rest = width - x;
        for (uint32_t k = 0; k < rest; ++k) b = (b << 1) | unsigned(light(s + k * Step));
        *d = uint8_t(b << (8 - rest));
    }
}

template <int Step, class Light>
void packImage(uint32_t width, uint32_t height, const uint8_t* src, int32_t srcStride, uint8_t* dst,
               int32_t dstStride, Light light)
{
    for (uint32_t y = 0; y < height; ++y) packRow<Step>(rowAt(src, srcStride, y), rowAt(dst, dstStride, y), width, light);
}

template <uint8_t One>
void unpackImage(uint32_t width, uint32_t height, const uint8_t* src, int32_t srcStride, uint8_t* dst,
                 int32_t dstStride)
{
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* s = rowAt(src, srcStride, y);
        uint8_t* d = rowAt(dst, dstStride, y);
        uint32_t x = 0;
        for (; x + 8 <= width; x += 8) {
            unsigned b = *s++;
            for (int k = 7; k >= 0; --k) *d++ = ((b >> k) & 1) ? One : 0;
        }
        if (x < width) {
            unsigned b = *s;
            for (int k = 7; x < width; --k, ++x) *d++ = ((b >> k) & 1) ? One : 0;
        }
    }
}

} // namespace

namespace _Vtx_Internal_NS_ {

uint32_t getBpp(Photometric photometric)
{
    if (!knownPhotometric(photometric)) VTX_THROW(Vantorix::errInvalidParam, "Unknown photometric!", "_Vtx_Internal_NS_::getBpp");
    return kBppTable[int(photometric)];
}

} // namespace _Vtx_Internal_NS_

namespace Vantorix::DjVu {
namespace ImageUtils {

uint32_t SimpleImage::getBpp(Photometric photometric)
{
    if (!knownPhotometric(photometric))
        VTX_THROW(errInvalidParam, "Unknown photometric!", "Vantorix::DjVu::ImageUtils::SimpleImage::getBpp");
    return kBppTable[int(photometric)];
}

// The pixel block's byte count, saturated at the 32-bit limit: the array refuses blocks of
// 2 GB and more with its own failure. A row that overflows the 32-bit stride is such a block
// whatever the height.
static uint32_t imageBytes(uint32_t width, uint32_t height, Photometric photometric, uint32_t* stride)
{
    const uint64_t rowBytes = uint64_t(SimpleImage::getBpp(photometric)) * width;
    const uint64_t bytes = rowBytes > 0xFFFFFFFFu ? rowBytes : rowBytes * height;
    *stride = uint32_t(std::min<uint64_t>(rowBytes, 0xFFFFFFFFu));
    return uint32_t(std::min<uint64_t>(bytes, 0xFFFFFFFFu));
}

SimpleImage::SimpleImage(uint32_t width, uint32_t height, Photometric photometric)
    : width_(width), height_(height), photometric_(photometric), stride_(0),
      pixels_(imageBytes(width, height, photometric, &stride_))
{
}

void estimateSubsampledSize(uint32_t* outWidth, uint32_t* outHeight, uint32_t width, uint32_t height,
                            uint32_t subsample)
{
    const char* fn = "Vantorix::DjVu::ImageUtils::estimateSubsampledSize";
    if (!outWidth || !outHeight) VTX_THROW(errInvalidParam, "errInvalidParam", fn);
    if (subsample == 0) VTX_THROW(errInvalidParam, "inSubsample must be positive integer.", fn);
    if (subsample > 12) VTX_THROW(errInvalidParam, "This function doesn't support over 12 inSubsample.", fn);
    *outWidth = (width + subsample - 1) / subsample;
    *outHeight = (height + subsample - 1) / subsample;
}

void packAnyToBits(uint32_t width, uint32_t height, const uint8_t* src, int32_t srcStride, uint8_t* dst,
                   int32_t dstStride, Photometric photometric)
{
    switch (photometric) {
    case Photometric::RGB:
        packImage<3>(width, height, src, srcStride, dst, dstStride,
                     [](const uint8_t* p) { return 3 * p[0] + 6 * p[1] + p[2] > 1280; });
        break;
    case Photometric::BGR:
        packImage<3>(width, height, src, srcStride, dst, dstStride,
                     [](const uint8_t* p) { return 3 * p[2] + 6 * p[1] + p[0] > 1280; });
        break;
    case Photometric::Gray:
    case Photometric::YCbCr: {
        auto light = [](const uint8_t* p) { return p[0] > 128; };
        if (photometric == Photometric::Gray)
            packImage<1>(width, height, src, srcStride, dst, dstStride, light);
        else
            packImage<3>(width, height, src, srcStride, dst, dstStride, light);
        break;
    }
    default:
        VTX_THROW(errOperationFailed, "packAnyToBits: Unknown photometric!", "Vantorix::DjVu::ImageUtils::packAnyToBits");
    }
}

void packBytesToBits(uint32_t width, uint32_t height, const uint8_t* src, int32_t srcStride, uint8_t* dst,
                     int32_t dstStride)
{
    packImage<1>(width, height, src, srcStride, dst, dstStride, [](const uint8_t* p) { return *p != 0; });
}

void unpackBitsTo01(uint32_t width, uint32_t height, const uint8_t* src, int32_t srcStride, uint8_t* dst,
                    int32_t dstStride)
{
    unpackImage<1>(width, height, src, srcStride, dst, dstStride);
}

void unpackBitsTo00FF(uint32_t width, uint32_t height, const uint8_t* src, int32_t srcStride, uint8_t* dst,
                      int32_t dstStride)
{
    unpackImage<0xFF>(width, height, src, srcStride, dst, dstStride);
}

} // namespace ImageUtils

namespace Imaging {

void fillWhite(uint8_t* pixels, int32_t stride, uint32_t width, uint32_t height, Photometric photometric)
{
    switch (photometric) {
    case Photometric::RGB:
    case Photometric::BGR:
    case Photometric::Gray: {
        size_t bytes = size_t(width) * _Vtx_Internal_NS_::getBpp(photometric);
        for (uint32_t y = 0; y < height; ++y) std::memset(rowAt(pixels, stride, y), 0xFF, bytes);
        break;
    }
    case Photometric::YCbCr:
        for (uint32_t y = 0; y < height; ++y) {
            uint8_t* p = rowAt(pixels, stride, y);
            for (uint32_t x = 0; x < width; ++x, p += 3) {
                p[0] = 0xFF;
                p[1] = 0x80;
                p[2] = 0x80;
            }
        }
        break;
    default:
        VTX_THROW(errInvalidParam, "Unknown photometric!", "Vantorix::DjVu::Imaging::fillWhite");
    }
}

} // namespace Imaging
} // namespace Vantorix::DjVu
