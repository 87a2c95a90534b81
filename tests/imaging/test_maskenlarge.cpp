#include <gtest/gtest.h>

#include <random>

#include "djv_maskblend.h"
#include "djv_maskscaling.h"
#include "imaging_testutil.h"
#include "reference_scaling.h"

using namespace Vantorix::DjVu;
using imagingtest::Image;
using imagingtest::VectorMask;

namespace {

const Photometric kAll[] = {Photometric::RGB, Photometric::BGR, Photometric::Gray, Photometric::YCbCr};

uint32_t scaled(uint32_t n, double factor) { return std::max(1u, uint32_t(n * factor)); }

} // namespace

// Enlarging takes each mask row across once and then every output row down between two of
// them; the plain version computes every output pixel from its four mask pixels. Sparse masks,
// thin ones and full ones, at factors from just above 1 to 100 (and stretched one way while
// shrunk the other), drawn whole and in parts, must give the same bytes.
TEST(MaskEnlarge, EqualsThePixelByPixelVersion)
{
    std::mt19937 rng(77);
    const double factors[] = {1.01, 1.07, 1.5, 2.0, 2.9, 7.3, 16.0, 41.7, 100.0};
    for (int t = 0; t < 120; ++t) {
        const Photometric p = kAll[t % 4];
        const uint32_t bpp = p == Photometric::Gray ? 1 : 3;
        const double factor = factors[t % 9];
        const uint32_t limit = std::max(1u, uint32_t(300 / factor));
        const uint32_t sw = 1 + rng() % limit, sh = 1 + rng() % limit;
        uint32_t dw = scaled(sw, factor), dh = scaled(sh, factor + (rng() % 3) * 0.37);
        if (dw == sw && dh == sh) ++dw;
        if (t % 7 == 3) dh = std::max(1u, sh / 2); // wider but lower
        if (t % 7 == 5) dw = std::max(1u, sw / 2); // narrower but taller
        if (dw < sw && dh < sh) dh = sh + 1;
        const int density = t % 3 == 0 ? 3 : t % 3 == 1 ? 50 : 97;
        VectorMask m = imagingtest::randomMask(sw, sh, uint32_t(t), density, t % 2 == 0);
        const Image fg = imagingtest::randomImage(1 + rng() % 30, 1 + rng() % 30, bpp, uint32_t(t));
        const Image* fgp = t % 5 < 2 ? &fg : nullptr;
        const Image under = imagingtest::randomImage(dw, dh, bpp, uint32_t(t) + 500);
        Image want = under;
        reference::drawMask(want, Rect{0, 0, dw, dh}, dw, dh, m, p, fgp, false);
        const std::string what = std::to_string(sw) + "x" + std::to_string(sh) + " -> " + std::to_string(dw) + "x" +
                                 std::to_string(dh) + " photometric " + std::to_string(int(p)) + " fg " +
                                 std::to_string(fgp != nullptr) + ": ";
        for (int k = 0; k < 4; ++k) {
            const Rect r = k == 0 ? Rect{0, 0, dw, dh} : imagingtest::randomRect(rng, dw, dh);
            Image got = under.crop(r.x, r.y, r.w, r.h);
            _Vtx_Internal_NS_::resampleMaskT(got.px.data(), got.stride(), r, dw, dh, m, sw, sh,
                                             fgp ? fgp->px.data() : nullptr, fgp ? fgp->stride() : 0, fgp ? fgp->w : 0,
                                             fgp ? fgp->h : 0, p, 0, 0);
            const Image part = want.crop(r.x, r.y, r.w, r.h);
            ASSERT_EQ(got.px, part.px) << what << "rect " << r.x << "," << r.y << " " << r.w << "x" << r.h << " "
                                       << imagingtest::firstDifference(got, part);
        }
    }
}

// The vector loop against the plain one, at every alignment and length, over weights and values
// across the whole range (coverage 0 and 255 included, where the division shortcut is tightest).
TEST(MaskEnlarge, VectorBlendEqualsThePlainBlend)
{
    std::mt19937 rng(5);
    const uint32_t n = 67;
    std::vector<float> colour[2], coverage[2];
    auto value = [&rng] {
        const uint32_t r = rng() % 8;
        return r == 0 ? 0.0f : r == 1 ? 255.0f : float(rng() % 25600) / 100.0f;
    };
    for (int round = 0; round < 400; ++round) {
        // Black rows (colour 0 throughout) take a shorter path when both rows are black.
        bool black[2];
        for (int s = 0; s < 2; ++s) {
            colour[s].resize(n);
            coverage[s].resize(n);
            black[s] = rng() % 3 == 0;
            for (uint32_t i = 0; i < n; ++i) {
                coverage[s][i] = value();
                colour[s][i] = black[s] ? 0.0f : std::min(coverage[s][i], value());
            }
        }
        const float fy = round % 10 == 0 ? 0.0f : float(rng() % 1000) / 1000.0f, gy = 1.0f - fy;
        const _Vtx_Internal_NS_::AcrossRow a{colour[0].data(), coverage[0].data(), black[0]};
        const _Vtx_Internal_NS_::AcrossRow b{colour[1].data(), coverage[1].data(), black[1]};
        const uint32_t t0 = rng() % n, t1 = t0 + rng() % (n - t0 + 1);
        std::vector<uint8_t> fast(n), plain(n);
        for (auto& d : fast) d = uint8_t(rng());
        plain = fast;
        _Vtx_Internal_NS_::blendDown(fast.data(), a, b, t0, t1, gy, fy);
        _Vtx_Internal_NS_::blendDownPlain(plain.data(), a, b, t0, t1, gy, fy);
        ASSERT_EQ(fast, plain) << "round " << round << " bytes " << t0 << ".." << t1;
    }
}
