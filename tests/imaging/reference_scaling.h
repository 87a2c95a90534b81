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

// Weight of source pixel / sample k over the interval [s, e).
inline double boxWeight(double s, double e, long k) { return std::max(0.0, std::min(e, k + 1.0) - std::max(s, double(k))); }
inline double hatIntegral(double u) // integral of max(0, 1 - |t|) from -1 to u
{
    if (u <= -1) return 0;
    if (u <= 0) return (u + 1) * (u + 1) / 2;
    if (u <= 1) return 1 - (1 - u) * (1 - u) / 2;
    return 1;
}
inline double hatWeight(double s, double e, long k) { return hatIntegral(e - k) - hatIntegral(s - k); }

struct Weights {
    long first = 0;
    std::vector<double> w;
    long last() const { return first + long(w.size()) - 1; }
};

inline Weights footprint(double s, double e, bool box)
{
    Weights r;
    r.first = long(std::floor(s));
    for (long k = r.first; k <= long(std::floor(e)) + 1; ++k) r.w.push_back(box ? boxWeight(s, e, k) : hatWeight(s, e, k));
    while (r.w.size() > 1 && r.w.back() == 0) r.w.pop_back();
    return r;
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
        Weights w;
        w.first = std::min<long>(long(std::floor(double(kx) * rx)), long(src.w) - 1);
        w.w = {rx};
        return w;
    };
    auto rowWeights = [&](uint32_t y) {
        if (y < ky) return fp(y, ry);
        if (ky > 0) return fp(ky - 1, ry);
        Weights w;
        w.w = {ry};
        return w;
    };
    Image out(rect.w, rect.h, src.bpp);
    for (uint32_t j = 0; j < rect.h; ++j) {
        const Weights wy = rowWeights(rect.y + j);
        for (uint32_t i = 0; i < rect.w; ++i) {
            const Weights wx = columnWeights(rect.x + i);
            for (uint32_t ch = 0; ch < src.bpp; ++ch) {
                double sum = 0;
                for (size_t b = 0; b < wy.w.size(); ++b)
                    for (size_t a = 0; a < wx.w.size(); ++a)
                        sum += wy.w[b] * wx.w[a] * src.at(uint32_t(wx.first + long(a)), uint32_t(wy.first + long(b)))[ch];
                out.at(i, j)[ch] = uint8_t(trunc255(sum / (double(float(rx) * float(ry))) + kBias));
            }
        }
    }
    return out;
}

// Bilinear enlargement, literally: float ratio, float products, the fixed order of the sums.
inline Image enlarge(const Image& src, uint32_t width, uint32_t height, const Rect& rect)
{
    const float rx = ratio(src.w, width), ry = ratio(src.h, height);
    Image out(rect.w, rect.h, src.bpp);
    for (uint32_t j = 0; j < rect.h; ++j) {
        const float sy = std::max(0.0f, float(rect.y + j) * ry);
        const uint32_t iy = uint32_t(std::floor(sy));
        const float fy = sy - std::floor(sy);
        const uint32_t ny = iy + 1 == src.h ? iy : iy + 1;
        for (uint32_t i = 0; i < rect.w; ++i) {
            const float sx = std::max(0.0f, float(rect.x + i) * rx);
            const uint32_t ix = uint32_t(std::floor(sx));
            const float fx = sx - std::floor(sx);
            for (uint32_t ch = 0; ch < src.bpp; ++ch) {
                float v;
                if (ix + 1 == src.w) {
                    v = float(src.at(ix, ny)[ch]) * fy + float(src.at(ix, iy)[ch]) * (1 - fy);
                } else {
                    v = (float(src.at(ix + 1, ny)[ch]) * fx + float(src.at(ix, ny)[ch]) * (1 - fx)) * fy +
                        (float(src.at(ix, iy)[ch]) * (1 - fx) + float(src.at(ix + 1, iy)[ch]) * fx) * (1 - fy);
                }
                out.at(i, j)[ch] = uint8_t(int(v));
            }
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
    if (const uint8_t* f = fg ? fg->at(uint32_t(uint64_t(x) * fg->w / m.w), uint32_t(uint64_t(y) * fg->h / m.h)) : nullptr)
        c.assign(f, f + bpp);
    for (size_t k = 0; k < bpp; ++k) v[k] = c[k];
    v[bpp] = 255;
    return v;
}

// The mask drawn over `out` (rect.w x rect.h, already holding what lies beneath).
inline void drawMask(Image& out, const Rect& rect, uint32_t dstW, uint32_t dstH, const VectorMask& m, Photometric p,
                     const Image* fg, bool box)
{
    const uint32_t bpp = out.bpp;
    if (dstW == m.w && dstH == m.h) {
        for (uint32_t j = 0; j < rect.h; ++j)
            for (uint32_t i = 0; i < rect.w; ++i) {
                auto v = workingPixel(m, rect.x + i, rect.y + j, p, fg);
                if (v[bpp] != 0)
                    for (uint32_t k = 0; k < bpp; ++k) out.at(i, j)[k] = uint8_t(v[k]);
            }
        return;
    }
    const float rx = float(m.w) / float(dstW), ry = float(m.h) / float(dstH);
    if (dstW < m.w && dstH < m.h) {
        const double area = double(rx * ry);
        for (uint32_t j = 0; j < rect.h; ++j) {
            const Weights wy = footprint(double(float(rect.y + j) * ry), double(float(rect.y + j + 1) * ry), box);
            for (uint32_t i = 0; i < rect.w; ++i) {
                const Weights wx = footprint(double(float(rect.x + i) * rx), double(float(rect.x + i + 1) * rx), box);
                std::vector<double> sum(bpp + 1, 0.0);
                for (size_t b = 0; b < wy.w.size(); ++b)
                    for (size_t a = 0; a < wx.w.size(); ++a) {
                        auto v = workingPixel(m, wx.first + long(a), wy.first + long(b), p, fg);
                        for (uint32_t k = 0; k <= bpp; ++k) sum[k] += wy.w[b] * wx.w[a] * v[k];
                    }
                if (sum[bpp] == 0) continue;
                const double keep = 1 - sum[bpp] / area / 255;
                for (uint32_t k = 0; k < bpp; ++k)
                    out.at(i, j)[k] = uint8_t(trunc255(out.at(i, j)[k] * keep + sum[k] / area + kBias));
            }
        }
        return;
    }
    for (uint32_t j = 0; j < rect.h; ++j) {
        const float sy = float(rect.y + j) * ry;
        const long iy = long(std::floor(sy));
        const float fy = sy - std::floor(sy);
        const long ny = iy + 1 == long(m.h) ? iy : iy + 1;
        for (uint32_t i = 0; i < rect.w; ++i) {
            const float sx = float(rect.x + i) * rx;
            const long ix = long(std::floor(sx));
            const float fx = sx - std::floor(sx);
            auto a0 = workingPixel(m, ix, iy, p, fg), a1 = workingPixel(m, ix + 1, iy, p, fg);
            auto b0 = workingPixel(m, ix, ny, p, fg), b1 = workingPixel(m, ix + 1, ny, p, fg);
            std::vector<int> v(bpp + 1);
            for (uint32_t k = 0; k <= bpp; ++k)
                v[k] = int((1 - fy) * ((1 - fx) * float(a0[k]) + fx * float(a1[k])) +
                           fy * ((1 - fx) * float(b0[k]) + fx * float(b1[k])));
            for (uint32_t k = 0; k < bpp; ++k)
                out.at(i, j)[k] = uint8_t(std::min(255, out.at(i, j)[k] * (255 - v[bpp]) / 255 + v[k]));
        }
    }
}

} // namespace reference
