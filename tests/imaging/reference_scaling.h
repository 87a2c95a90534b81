// Plain versions of the scaling rules, written from the geometry rather than from the
// optimised code: one output pixel at a time, weights as overlap lengths (box) or integrals of
// the hat function (interpolating), sums in double precision.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "djv_types.h"
#include "imaging_testutil.h"

namespace reference {

using imagingtest::Image;
using imagingtest::VectorMask;
using Vantorix::DjVu::Color;
using Vantorix::DjVu::Photometric;
using Vantorix::DjVu::Rect;

constexpr double kBias = 1.0 / 1024.0;

inline int trunc255(double v) { return v <= 0 ? 0 : v >= 255 ? 255 : int(v); }

inline double hatIntegral(double u) // integral of max(0, 1 - |t|) from -1 to u
{
    if (u <= -1) return 0;
    if (u <= 0) return (u + 1) * (u + 1) / 2;
    if (u <= 1) return 1 - (1 - u) * (1 - u) / 2;
    return 1;
}

struct Weights {
    long first = 0;
    std::vector<double> w;
    long last() const { return first + long(w.size()) - 1; }
};

// Weights of the source pixels under the interval [s, e).
inline Weights footprint(double s, double e, bool box)
{
    Weights r;
    r.first = long(std::floor(s));
    for (long k = r.first; k <= long(std::floor(e)) + 1; ++k)
        r.w.push_back(box ? std::max(0.0, std::min(e, k + 1.0) - std::max(s, double(k)))
                          : hatIntegral(e - k) - hatIntegral(s - k));
    while (r.w.size() > 1 && r.w.back() == 0) r.w.pop_back();
    return r;
}

// The first n channels of pixel(x, y), summed under the footprints wx x wy.
template <class Pixel>
std::vector<double> weightedSum(const Weights& wx, const Weights& wy, size_t n, Pixel pixel)
{
    std::vector<double> sum(n, 0.0);
    for (size_t b = 0; b < wy.w.size(); ++b)
        for (size_t a = 0; a < wx.w.size(); ++a) {
            const auto v = pixel(wx.first + long(a), wy.first + long(b));
            for (size_t k = 0; k < n; ++k) sum[k] += wy.w[b] * wx.w[a] * v[k];
        }
    return sum;
}

// Bilinear mix of a0 a1 (upper row) and b0 b1, in float, in one fixed order of operations.
inline float bilinear(float a0, float a1, float b0, float b1, float fx, float fy)
{
    return (1 - fy) * ((1 - fx) * a0 + fx * a1) + fy * ((1 - fx) * b0 + fx * b1);
}

// ---- Imaging::resample ------------------------------------------------------------------------

inline float ratio(uint32_t src, uint32_t out) { return float(double(src) / double(out)); }

// Shrinking with the edge rules: columns that would need a pixel past the end take the pixel
// where the computable columns end; rows past the end repeat the last computable row.
inline Image shrink(const Image& src, uint32_t width, uint32_t height, const Rect& rect, bool box)
{
    const double rx = ratio(src.w, width), ry = ratio(src.h, height);
    auto fp = [&](uint32_t d, double r) { return footprint(double(d) * r, double(d + 1) * r, box); };
    auto firstBad = [&](uint32_t outLen, uint32_t srcLen, double r) {
        uint32_t k = outLen;
        while (k > 0 && fp(k - 1, r).last() >= long(srcLen)) --k;
        return k;
    };
    const uint32_t kx = firstBad(width, src.w, rx), ky = firstBad(height, src.h, ry);
    auto columnWeights = [&](uint32_t x) {
        if (x < kx) return fp(x, rx);
        return Weights{std::min<long>(long(std::floor(double(kx) * rx)), long(src.w) - 1), {rx}};
    };
    auto rowWeights = [&](uint32_t y) { return y < ky ? fp(y, ry) : ky > 0 ? fp(ky - 1, ry) : Weights{0, {ry}}; };
    Image out(rect.w, rect.h, src.bpp);
    for (uint32_t j = 0; j < rect.h; ++j)
        for (uint32_t i = 0; i < rect.w; ++i) {
            const auto sum = weightedSum(columnWeights(rect.x + i), rowWeights(rect.y + j), src.bpp,
                                         [&](long x, long y) { return src.at(uint32_t(x), uint32_t(y)); });
            for (uint32_t ch = 0; ch < src.bpp; ++ch)
                out.at(i, j)[ch] = uint8_t(trunc255(sum[ch] / (double(float(rx) * float(ry))) + kBias));
        }
    return out;
}

// Bilinear enlargement (and copy): the last column stands alone, the last row pairs with itself.
inline Image enlarge(const Image& src, uint32_t width, uint32_t height, const Rect& rect)
{
    const float rx = ratio(src.w, width), ry = ratio(src.h, height);
    Image out(rect.w, rect.h, src.bpp);
    for (uint32_t j = 0; j < rect.h; ++j) {
        const float sy = std::max(0.0f, float(rect.y + j) * ry), fy = sy - std::floor(sy);
        const uint32_t iy = uint32_t(sy), ny = iy + 1 == src.h ? iy : iy + 1;
        for (uint32_t i = 0; i < rect.w; ++i) {
            const float sx = std::max(0.0f, float(rect.x + i) * rx);
            const uint32_t ix = uint32_t(sx), nx = ix + 1 == src.w ? ix : ix + 1;
            const float fx = nx == ix ? 0.0f : sx - std::floor(sx);
            for (uint32_t ch = 0; ch < src.bpp; ++ch)
                out.at(i, j)[ch] = uint8_t(int(bilinear(src.at(ix, iy)[ch], src.at(nx, iy)[ch], src.at(ix, ny)[ch],
                                                        src.at(nx, ny)[ch], fx, fy)));
        }
    }
    return out;
}

// ---- Mask resampling --------------------------------------------------------------------------

inline std::vector<uint8_t> colourOf(Photometric p, const Color& c)
{
    const int b = c.blue, g = c.green, r = c.red;
    const int y = (15 * b + 75 * g + 38 * r + 64) >> 7;
    auto clamp = [](int v) { return uint8_t(std::clamp(v, 0, 255)); };
    switch (p) {
    case Photometric::Gray: return {uint8_t(y)};
    case Photometric::RGB: return {c.red, c.green, c.blue};
    case Photometric::BGR: return {c.blue, c.green, c.red};
    default:
        return {uint8_t(y), clamp(((32 * (b + 1) - 21 * g - 11 * r) >> 6) + 128),
                clamp(((32 * (r + 1) - 27 * g - 5 * b) >> 6) + 128)};
    }
}

// Colour bytes of mask pixel (x, y) followed by its coverage: all 0 where clear or outside. The
// colour comes from the foreground image when there is one, else from the shape.
inline std::vector<double> workingPixel(const VectorMask& m, long x, long y, Photometric p, const Image* fg)
{
    const size_t bpp = p == Photometric::Gray ? 1 : 3;
    std::vector<double> v(bpp + 1, 0.0);
    if (x < 0 || y < 0 || !m.isSet(uint32_t(x), uint32_t(y))) return v;
    std::vector<uint8_t> c = colourOf(p, m.colour[size_t(y) * m.w + size_t(x)]);
    if (fg) {
        const uint8_t* f = fg->at(uint32_t(uint64_t(x) * fg->w / m.w), uint32_t(uint64_t(y) * fg->h / m.h));
        c.assign(f, f + bpp);
    }
    std::copy(c.begin(), c.end(), v.begin());
    v[bpp] = 255;
    return v;
}

// The mask drawn over `out` (rect.w x rect.h, already holding what lies beneath).
inline void drawMask(Image& out, const Rect& rect, uint32_t dstW, uint32_t dstH, const VectorMask& m, Photometric p,
                     const Image* fg, bool box)
{
    const uint32_t bpp = out.bpp;
    const float rx = float(m.w) / float(dstW), ry = float(m.h) / float(dstH);
    const bool same = dstW == m.w && dstH == m.h, shrinking = dstW < m.w && dstH < m.h;
    auto pixel = [&](long x, long y) { return workingPixel(m, x, y, p, fg); };
    for (uint32_t j = 0; j < rect.h; ++j)
        for (uint32_t i = 0; i < rect.w; ++i) {
            uint8_t* o = out.at(i, j);
            const uint32_t x = rect.x + i, y = rect.y + j;
            if (same) {
                const auto v = pixel(x, y);
                if (v[bpp] != 0) std::copy(v.begin(), v.begin() + bpp, o);
            } else if (shrinking) {
                const double area = double(rx * ry);
                const auto sum = weightedSum(footprint(double(float(x) * rx), double(float(x + 1) * rx), box),
                                             footprint(double(float(y) * ry), double(float(y + 1) * ry), box), bpp + 1,
                                             pixel);
                if (sum[bpp] == 0) continue;
                const double keep = 1 - sum[bpp] / area / 255;
                for (uint32_t k = 0; k < bpp; ++k) o[k] = uint8_t(trunc255(o[k] * keep + sum[k] / area + kBias));
            } else {
                // Past the right edge counts as clear; the bottom row pairs with itself.
                const float sx = float(x) * rx, sy = float(y) * ry, fx = sx - std::floor(sx), fy = sy - std::floor(sy);
                const long ix = long(sx), iy = long(sy), ny = iy + 1 == long(m.h) ? iy : iy + 1;
                const auto a0 = pixel(ix, iy), a1 = pixel(ix + 1, iy), b0 = pixel(ix, ny), b1 = pixel(ix + 1, ny);
                std::vector<int> v(bpp + 1);
                for (uint32_t k = 0; k <= bpp; ++k)
                    v[k] = int(bilinear(float(a0[k]), float(a1[k]), float(b0[k]), float(b1[k]), fx, fy));
                for (uint32_t k = 0; k < bpp; ++k) o[k] = uint8_t(std::min(255, o[k] * (255 - v[bpp]) / 255 + v[k]));
            }
        }
}

} // namespace reference
