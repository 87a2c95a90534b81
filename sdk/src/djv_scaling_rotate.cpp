#include <algorithm>
#include <cstring>

#include "djv_imageutils.h"
#include "djv_scaling.h"
#include "vtx_exception.h"

using Vantorix::DjVu::Photometric;
using Vantorix::DjVu::Imaging::ConstImageView;
using Vantorix::DjVu::Imaging::ImageView;
using Vantorix::DjVu::Imaging::rowAt;

namespace {

// Each routine reports an unknown photometric under its own name.
uint32_t bppOrThrow(Photometric photometric, const char* fn)
{
    if (uint32_t(photometric) > 7) VTX_THROW(Vantorix::errInvalidParam, "Unknown photometric!", fn);
    return _Vtx_Internal_NS_::getBpp(photometric);
}


template <int Bpp>
inline void copyPixel(uint8_t* d, const uint8_t* s)
{
    std::memcpy(d, s, Bpp);
}

// Quarter turn in tiles, so that both the rows read and the rows written stay in cache.
template <int Bpp>
void rotate90T(const ImageView& out, const ConstImageView& in, bool ccw)
{
    uint8_t* const dst = out.pixels;
    const int32_t dstStride = out.stride;
    const uint8_t* const src = in.pixels;
    const int32_t srcStride = in.stride;
    const uint32_t srcW = in.width, srcH = in.height;
    constexpr uint32_t kTile = 32;
    for (uint32_t y0 = 0; y0 < srcH; y0 += kTile) {
        const uint32_t y1 = std::min(srcH, y0 + kTile);
        for (uint32_t x0 = 0; x0 < srcW; x0 += kTile) {
            const uint32_t x1 = std::min(srcW, x0 + kTile);
            for (uint32_t x = x0; x < x1; ++x) {
                // Source column x becomes one output row.
                uint8_t* d = ccw ? rowAt(dst, dstStride, srcW - 1 - x) + size_t(y0) * Bpp
                                 : rowAt(dst, dstStride, x) + size_t(srcH - 1 - y0) * Bpp;
                const ptrdiff_t step = ccw ? Bpp : -Bpp;
                const uint8_t* s = rowAt(src, srcStride, y0) + size_t(x) * Bpp;
                for (uint32_t y = y0; y < y1; ++y, s += srcStride, d += step) copyPixel<Bpp>(d, s);
            }
        }
    }
}

template <int Bpp>
void mirrorRow(uint8_t* p, uint32_t width)
{
    uint8_t* a = p;
    uint8_t* b = p + size_t(width - 1) * Bpp;
    for (uint32_t i = 0; i < width / 2; ++i, a += Bpp, b -= Bpp) {
        uint8_t t[Bpp];
        std::memcpy(t, a, Bpp);
        std::memcpy(a, b, Bpp);
        std::memcpy(b, t, Bpp);
    }
}

template <int Bpp>
void reverseRow(uint8_t* d, const uint8_t* s, uint32_t width)
{
    const uint8_t* e = s + size_t(width) * Bpp;
    for (uint32_t i = 0; i < width; ++i, d += Bpp) copyPixel<Bpp>(d, e - size_t(i + 1) * Bpp);
}

template <template <int> class F, class... Args>
void byWidth(uint32_t bpp, Args&&... args)
{
    switch (bpp) {
    case 1: F<1>::run(args...); break;
    case 2: F<2>::run(args...); break;
    case 3: F<3>::run(args...); break;
    default: F<4>::run(args...); break;
    }
}

template <int Bpp>
struct Rotate90 {
    static void run(const ImageView& dst, const ConstImageView& src, bool ccw) { rotate90T<Bpp>(dst, src, ccw); }
};

template <int Bpp>
struct Mirror {
    static void run(const ImageView& image)
    {
        if (image.width < 2) return;
        for (uint32_t y = 0; y < image.height; ++y) mirrorRow<Bpp>(image.row(y), image.width);
    }
};

template <int Bpp>
struct HalfTurn {
    // dst.stride is the distance to the next row written, which lies below in memory.
    static void run(const ImageView& dst, const ConstImageView& src)
    {
        for (uint32_t y = 0; y < src.height; ++y)
            reverseRow<Bpp>(rowAt(dst.pixels, -dst.stride, y), src.row(y), src.width);
    }
};

} // namespace

namespace Vantorix::DjVu::Imaging {

void rotate90(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride, uint32_t srcWidth,
              uint32_t srcHeight, Photometric photometric, bool counterClockwise)
{
    const uint32_t bpp = bppOrThrow(photometric, "Vantorix::DjVu::Imaging::rotate90");
    if (srcWidth == 0 || srcHeight == 0) return;
    byWidth<Rotate90>(bpp, ImageView{dst, dstStride, srcHeight, srcWidth, photometric},
                      ConstImageView{src, srcStride, srcWidth, srcHeight, photometric}, counterClockwise);
}

void horzMirror(uint8_t* pixels, int32_t stride, Photometric photometric, uint32_t width, uint32_t height)
{
    const uint32_t bpp = bppOrThrow(photometric, "Vantorix::DjVu::Imaging::horzMirror");
    byWidth<Mirror>(bpp, ImageView{pixels, stride, width, height, photometric});
}

void rotate(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride, uint32_t width, uint32_t height,
            Photometric photometric, int quarterTurns)
{
    const uint32_t bpp = bppOrThrow(photometric, "Vantorix::DjVu::Imaging::rotate");
    if (width == 0 || height == 0) return;
    // Any whole number of turns: -1 is three quarter turns, 4 is none.
    switch (((quarterTurns % 4) + 4) % 4) {
    case 0:
        for (uint32_t y = 0; y < height; ++y)
            std::memcpy(rowAt(dst, dstStride, y), rowAt(src, srcStride, y), size_t(width) * bpp);
        break;
    case 1: rotate90(dst, dstStride, src, srcStride, width, height, photometric, true); break;
    case 3: rotate90(dst, dstStride, src, srcStride, width, height, photometric, false); break;
    default:
        byWidth<HalfTurn>(bpp, ImageView{dst, dstStride, width, height, photometric},
                          ConstImageView{src, srcStride, width, height, photometric});
        break;
    }
}

void drawTurned(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect, uint32_t shownWidth,
                uint32_t shownHeight, uint32_t rotation,
                const std::function<void(uint8_t*, int32_t, const Rect&)>& drawUpright)
{
    if (rect.w == 0 || rect.h == 0) return;
    const uint32_t W = shownWidth, H = shownHeight;
    switch (rotation) {
    case 0: drawUpright(dst, dstStride, rect); break;
    case 2:
        // Drawn upside down, then each row mirrored: a half turn without a copy.
        drawUpright(rowAt(dst, dstStride, rect.h - 1), -dstStride,
                    Rect{W - rect.x - rect.w, H - rect.y - rect.h, rect.w, rect.h});
        horzMirror(dst, dstStride, photometric, rect.w, rect.h);
        break;
    default: {
        const Rect upright = rotation == 1 ? Rect{H - rect.y - rect.h, rect.x, rect.h, rect.w}
                                           : Rect{rect.y, W - rect.x - rect.w, rect.h, rect.w};
        ImageUtils::SimpleImage turned(upright.w, upright.h, photometric);
        drawUpright(turned.getPixels(), int32_t(turned.getStride()), upright);
        rotate90(dst, dstStride, turned.getPixels(), int32_t(turned.getStride()), upright.w, upright.h, photometric,
                 rotation == 1);
        break;
    }
    }
}

} // namespace Vantorix::DjVu::Imaging
