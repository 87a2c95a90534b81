// Test helpers for pixel work: an owned image, PNM files, PSNR, seeded random images and a
// mask row source over a vector of rows.
#pragma once

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "djv_types.h"
#include "testutil.h"

namespace imagingtest {

struct Image {
    uint32_t w = 0, h = 0, bpp = 1;
    std::vector<uint8_t> px;

    Image() = default;
    Image(uint32_t w_, uint32_t h_, uint32_t bpp_, uint8_t fill = 0) : w(w_), h(h_), bpp(bpp_), px(size_t(w_) * h_ * bpp_, fill) {}
    int32_t stride() const { return int32_t(w * bpp); }
    uint8_t* row(uint32_t y) { return px.data() + size_t(y) * w * bpp; }
    const uint8_t* row(uint32_t y) const { return px.data() + size_t(y) * w * bpp; }
    uint8_t* at(uint32_t x, uint32_t y) { return row(y) + size_t(x) * bpp; }
    const uint8_t* at(uint32_t x, uint32_t y) const { return row(y) + size_t(x) * bpp; }
    // The part (x, y, w, h) as an image of its own.
    Image crop(uint32_t x, uint32_t y, uint32_t cw, uint32_t ch) const
    {
        Image out(cw, ch, bpp);
        for (uint32_t j = 0; j < ch; ++j)
            std::copy(at(x, y + j), at(x, y + j) + size_t(cw) * bpp, out.row(j));
        return out;
    }
};

// Errors are checked the same way in every folder.
using vtxtest::expectThrow;

inline Image randomImage(uint32_t w, uint32_t h, uint32_t bpp, uint32_t seed)
{
    Image im(w, h, bpp);
    std::mt19937 rng(seed);
    for (auto& b : im.px) b = uint8_t(rng());
    return im;
}

// Binary PNM: P4 (unpacked to one byte per pixel, 1 = black), P5, P6 with maxval 255.
inline Image readPnm(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::string magic;
    in >> magic;
    auto number = [&in]() {
        for (;;) {
            int c = in.peek();
            if (c == '#') {
                std::string skip;
                std::getline(in, skip);
            } else if (std::isspace(c)) {
                in.get();
            } else {
                break;
            }
        }
        uint32_t v = 0;
        in >> v;
        return v;
    };
    uint32_t w = number(), h = number();
    uint32_t maxval = magic == "P4" ? 1 : number();
    in.get();
    if (maxval != 1 && maxval != 255) return {};
    if (magic == "P4") {
        Image im(w, h, 1);
        std::vector<uint8_t> row((w + 7) / 8);
        for (uint32_t y = 0; y < h; ++y) {
            in.read(reinterpret_cast<char*>(row.data()), std::streamsize(row.size()));
            for (uint32_t x = 0; x < w; ++x) im.at(x, y)[0] = (row[x / 8] >> (7 - x % 8)) & 1;
        }
        return in ? im : Image{};
    }
    Image im(w, h, magic == "P6" ? 3 : 1);
    in.read(reinterpret_cast<char*>(im.px.data()), std::streamsize(im.px.size()));
    return in ? im : Image{};
}

inline double psnr(const Image& a, const Image& b)
{
    if (a.px.size() != b.px.size() || a.px.empty()) return 0;
    double se = 0;
    for (size_t i = 0; i < a.px.size(); ++i) {
        double d = double(a.px[i]) - double(b.px[i]);
        se += d * d;
    }
    if (se == 0) return 99;
    return 10 * std::log10(255.0 * 255.0 * double(a.px.size()) / se);
}

// Largest byte difference and how many bytes differ at all.
struct Diff {
    int maxAbs = 0;
    size_t count = 0;
    size_t first = size_t(-1);
};
inline Diff diff(const Image& a, const Image& b)
{
    Diff d;
    for (size_t i = 0; i < a.px.size() && i < b.px.size(); ++i) {
        int v = std::abs(int(a.px[i]) - int(b.px[i]));
        if (v) {
            if (!d.count) d.first = i;
            ++d.count;
            d.maxAbs = std::max(d.maxAbs, v);
        }
    }
    return d;
}

// The first differing byte as "pixel (x, y) channel c: got g, want w", or "" when equal.
inline std::string firstDifference(const Image& got, const Image& want)
{
    if (got.w != want.w || got.h != want.h || got.bpp != want.bpp)
        return "size " + std::to_string(got.w) + "x" + std::to_string(got.h) + "x" + std::to_string(got.bpp) + " vs " +
               std::to_string(want.w) + "x" + std::to_string(want.h) + "x" + std::to_string(want.bpp);
    for (size_t i = 0; i < got.px.size(); ++i)
        if (got.px[i] != want.px[i]) {
            const size_t p = i / got.bpp;
            return "pixel (" + std::to_string(p % got.w) + ", " + std::to_string(p / got.w) + ") channel " +
                   std::to_string(i % got.bpp) + ": got " + std::to_string(got.px[i]) + ", want " +
                   std::to_string(want.px[i]);
        }
    return "";
}

// A mask whose set pixels carry a colour each; spans split where the colour changes.
struct VectorMask {
    uint32_t w = 0, h = 0;
    std::vector<uint8_t> set; // one byte per pixel, not 0 = set
    std::vector<Vantorix::DjVu::Color> colour; // per pixel, used where set

    VectorMask(uint32_t w_, uint32_t h_) : w(w_), h(h_), set(size_t(w_) * h_), colour(size_t(w_) * h_) {}

    void put(uint32_t x, uint32_t y, Vantorix::DjVu::Color c = {})
    {
        set[size_t(y) * w + x] = 1;
        colour[size_t(y) * w + x] = c;
    }
    bool isSet(uint32_t x, uint32_t y) const { return x < w && y < h && set[size_t(y) * w + x]; }

    template <class Paint>
    bool forEachSpan(uint32_t y, uint32_t x0, uint32_t x1, Paint&& paint) const
    {
        if (y >= h) return false;
        x1 = std::min(x1, w);
        bool any = false;
        const uint8_t* s = set.data() + size_t(y) * w;
        const Vantorix::DjVu::Color* c = colour.data() + size_t(y) * w;
        for (uint32_t x = x0; x < x1;) {
            if (!s[x]) {
                ++x;
                continue;
            }
            uint32_t e = x + 1;
            while (e < x1 && s[e] && c[e] == c[x]) ++e;
            paint(x, e, c[x]);
            any = true;
            x = e;
        }
        return any;
    }
};

// A black mask of a bilevel picture (one byte per pixel, 1 = black).
inline VectorMask maskOf(const Image& bits)
{
    VectorMask m(bits.w, bits.h);
    m.set = bits.px;
    return m;
}

// A bilevel picture as grey: black on white.
inline Image greyOf(Image bits)
{
    for (auto& p : bits.px) p = p ? 0 : 255;
    return bits;
}

inline VectorMask randomMask(uint32_t w, uint32_t h, uint32_t seed, int percentSet = 40, bool colours = false)
{
    VectorMask m(w, h);
    std::mt19937 rng(seed);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            if (int(rng() % 100) < percentSet) {
                Vantorix::DjVu::Color c{};
                if (colours) c = {uint8_t(rng() % 4 * 80), uint8_t(rng() % 3 * 120), uint8_t(rng() % 2 * 255), 0};
                m.put(x, y, c);
            }
    return m;
}

// A random non-empty rectangle inside w x h.
inline Vantorix::DjVu::Rect randomRect(std::mt19937& rng, uint32_t w, uint32_t h)
{
    Vantorix::DjVu::Rect r;
    r.x = rng() % w;
    r.y = rng() % h;
    r.w = 1 + rng() % (w - r.x);
    r.h = 1 + rng() % (h - r.y);
    return r;
}

inline std::string fixture(const std::string& name) { return std::string(VTX_FIXTURE_DIR) + "/imaging/" + name; }

} // namespace imagingtest
