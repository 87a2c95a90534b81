#include <algorithm>
#include <cstring>

#include "djv_imageutils.h"
#include "djv_scaling.h"
#include "vtx_exception.h"

using Vantorix::DjVu::Photometric;

namespace {

// Each routine reports an unknown photometric under its own name.
uint32_t bppOrThrow(Photometric photometric, const char* fn)
{
    if (uint32_t(photometric) > 7) VTX_THROW(7, "Unknown photometric!", fn);
    return _Vtx_Internal_NS_::getBpp(photometric);
}

inline const uint8_t* rowAt(const uint8_t* base, int32_t stride, uint32_t y) { return base + ptrdiff_t(stride) * ptrdiff_t(y); }
inline uint8_t* rowAt(uint8_t* base, int32_t stride, uint32_t y) { return base + ptrdiff_t(stride) * ptrdiff_t(y); }

template <int Bpp>
inline void copyPixel(uint8_t* d, const uint8_t* s)
{
    std::memcpy(d, s, Bpp);
}

// Quarter turn in tiles, so that both the rows read and the rows written stay in cache.
template <int Bpp>
void rotate90T(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride, uint32_t srcW, uint32_t srcH,
               bool ccw)
{
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
    static void run(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride, uint32_t w, uint32_t h,
                    bool ccw)
    {
        rotate90T<Bpp>(dst, dstStride, src, srcStride, w, h, ccw);
    }
};

template <int Bpp>
struct Mirror {
    static void run(uint8_t* p, int32_t stride, uint32_t w, uint32_t h)
    {
        if (w < 2) return;
        for (uint32_t y = 0; y < h; ++y) mirrorRow<Bpp>(rowAt(p, stride, y), w);
    }
};

template <int Bpp>
struct HalfTurn {
    static void run(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride, uint32_t w, uint32_t h)
    {
        for (uint32_t y = 0; y < h; ++y) reverseRow<Bpp>(rowAt(dst, -dstStride, y), rowAt(src, srcStride, y), w);
    }
};

} // namespace

namespace Vantorix::DjVu::Imaging {

void rotate90(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride, uint32_t srcWidth,
              uint32_t srcHeight, Photometric photometric, bool counterClockwise)
{
    const uint32_t bpp = bppOrThrow(photometric, "Vantorix::DjVu::Imaging::rotate90");
    if (srcWidth == 0 || srcHeight == 0) return;
    byWidth<Rotate90>(bpp, dst, dstStride, src, srcStride, srcWidth, srcHeight, counterClockwise);
}

void horzMirror(uint8_t* pixels, int32_t stride, Photometric photometric, uint32_t width, uint32_t height)
{
    const uint32_t bpp = bppOrThrow(photometric, "Vantorix::DjVu::Imaging::horzMirror");
    byWidth<Mirror>(bpp, pixels, stride, width, height);
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
    default: byWidth<HalfTurn>(bpp, dst, dstStride, src, srcStride, width, height); break;
    }
}

} // namespace Vantorix::DjVu::Imaging
