#include <gtest/gtest.h>

#include <random>

#include "djv_scaling.h"
#include "djv_scaling_internal.h"
#include "imaging_testutil.h"
#include "reference_scaling.h"
#include "vtx_exception.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using imagingtest::Image;
using imagingtest::firstDifference;
using imagingtest::randomImage;

namespace {

constexpr uint32_t kBox = 1, kInterpolating = 0;
const Photometric kOfWidth[5] = {Photometric::Gray, Photometric::Gray, Photometric::Bytes2, Photometric::RGB,
                                 Photometric::Bytes4};

Image resampled(const Image& src, uint32_t width, uint32_t height, const Rect& rect, uint32_t flags)
{
    Image out(rect.w, rect.h, src.bpp, 0xCD);
    Imaging::resample(out.px.data(), out.stride(), rect, width, height, src.px.data(), src.stride(), src.w, src.h,
                      kOfWidth[src.bpp], flags);
    return out;
}

Image whole(const Image& src, uint32_t width, uint32_t height, uint32_t flags)
{
    return resampled(src, width, height, Rect{0, 0, width, height}, flags);
}

} // namespace

TEST(Resample, EqualSizesCopyTheRectangle)
{
    for (uint32_t bpp = 1; bpp <= 4; ++bpp) {
        Image src = randomImage(13, 9, bpp, bpp);
        EXPECT_EQ(resampled(src, 13, 9, Rect{3, 2, 7, 5}, 0).px, src.crop(3, 2, 7, 5).px) << bpp;
    }
}

TEST(Resample, SmallCasesComputedByHand)
{
    // Enlarged at ratio 0.5: columns sample 0, 0.5, 1, 1.5; the last two have no pixel to their
    // right and take the last column alone; likewise the rows.
    Image quad(2, 2, 1);
    quad.px = {0, 100, 200, 40};
    EXPECT_EQ(whole(quad, 4, 4, 0).px,
              (std::vector<uint8_t>{0, 50, 100, 100, 100, 85, 70, 70, 200, 120, 40, 40, 200, 120, 40, 40}));
    // 2 x 2 to 1 x 1: the box method averages; the interpolating footprint would need pixel 2,
    // so the single output takes the pixel where computable columns end (here pixel 0).
    quad.px = {10, 20, 30, 41};
    EXPECT_EQ(whole(quad, 1, 1, kBox).px[0], (10 + 20 + 30 + 41) / 4);
    EXPECT_EQ(whole(quad, 1, 1, kInterpolating).px[0], 10);

    // 8 x 8 to 2 x 2, every row alike: interpolating column 0 integrates the line through
    // pixels 0..4 (weights 1/2, 1, 1, 1, 1/2); column 1 would need pixel 8 and takes pixel 4;
    // row 1 would need row 8 and repeats row 0. The box method needs nothing past the end.
    Image src(8, 8, 1);
    const uint8_t row[8] = {0, 40, 80, 120, 160, 200, 240, 255};
    for (uint32_t y = 0; y < 8; ++y) std::copy(row, row + 8, src.row(y));
    const uint8_t c0 = (0 / 2 + 40 + 80 + 120 + 160 / 2) / 4; // 80
    EXPECT_EQ(whole(src, 2, 2, kInterpolating).px, (std::vector<uint8_t>{c0, 160, c0, 160}));
    const uint8_t b0 = (0 + 40 + 80 + 120) / 4, b1 = (160 + 200 + 240 + 255) / 4;
    EXPECT_EQ(whole(src, 2, 2, kBox).px, (std::vector<uint8_t>{b0, b1, b0, b1}));

}

TEST(Resample, FlatImagesStayFlatAtEveryRatio)
{
    // Float noise around an exact integer must not truncate to the level below.
    for (uint8_t level : {uint8_t(255), uint8_t(128), uint8_t(1)}) {
        for (uint32_t srcW : {97u, 2550u}) {
            Image src(srcW, 37, 1, level);
            for (uint32_t w : {srcW / 2, srcW / 3 + 1, srcW * 2 / 7 + 3, 5u}) {
                for (uint32_t flags : {kBox, kInterpolating}) {
                    Image out = whole(src, w, 11, flags);
                    for (uint8_t v : out.px) ASSERT_EQ(v, level) << srcW << "->" << w << " flags " << flags;
                }
            }
        }
    }
}

TEST(Resample, OptimisedShrinkMatchesThePlainVersionOnRandomImages)
{
    std::mt19937 rng(3);
    size_t bytes = 0, off = 0;
    for (int t = 0; t < 62; ++t) {
        const uint32_t bpp = 1 + t % 4;
        uint32_t sw = 2 + rng() % 90, sh = 2 + rng() % 60, w = 1 + rng() % (sw - 1), h = 1 + rng() % (sh - 1);
        if (t >= 60) sw = 20000, sh = 3, w = 2, h = 2; // a very long row squeezed to two pixels
        const bool box = t % 2;
        Image src = randomImage(sw, sh, bpp, uint32_t(t));
        Image ours = whole(src, w, h, box ? kBox : kInterpolating);
        Image ref = reference::shrink(src, w, h, Rect{0, 0, w, h}, box);
        auto d = imagingtest::diff(ours, ref);
        // Only float rounding may separate them, and only by one level.
        ASSERT_LE(d.maxAbs, 1) << sw << "x" << sh << " -> " << w << "x" << h << " box " << box << ": "
                               << firstDifference(ours, ref);
        bytes += ours.px.size();
        off += d.count;
    }
    EXPECT_LT(double(off), 0.002 * double(bytes));
}

TEST(Resample, OptimisedEnlargementIsExactlyTheFormula)
{
    // Fixed cases first: shrinking one way and not the other is still bilinear; a single
    // pixel enlarged (p * f + p * (1 - f) may truncate a level below p); a long strip.
    struct Case {
        uint32_t sw, sh, w, h;
    } fixed[] = {{3, 2, 2, 3}, {3, 2, 3, 1}, {3, 2, 1, 2}, {3, 2, 6, 2}, {1, 1, 300, 200}, {20000, 3, 7, 3}};
    std::mt19937 rng(4);
    for (int t = 0; t < 66; ++t) {
        const uint32_t bpp = 1 + t % 4;
        uint32_t sw = 1 + rng() % 40, sh = 1 + rng() % 40, w = sw + rng() % 70, h = 1 + rng() % 90;
        if (t % 3 == 0) std::swap(w, h);
        if (w < sw && h < sh) w = sw; // keep it out of the shrinking regime
        if (w == sw && h == sh) ++h;
        if (t >= 60) sw = fixed[t - 60].sw, sh = fixed[t - 60].sh, w = fixed[t - 60].w, h = fixed[t - 60].h;
        Image src = randomImage(sw, sh, bpp, uint32_t(t) + 100);
        ASSERT_EQ(firstDifference(whole(src, w, h, t % 2), reference::enlarge(src, w, h, Rect{0, 0, w, h})), "")
            << sw << "x" << sh << " -> " << w << "x" << h << " bpp " << bpp;
    }
}

TEST(Resample, PartialRectanglesEqualThatPartOfTheWholePicture)
{
    std::mt19937 rng(8);
    struct Size {
        uint32_t sw, sh, w, h;
    } sizes[] = {{64, 48, 64, 48},   {64, 48, 16, 12}, {100, 77, 23, 31}, {100, 77, 99, 76}, {30, 20, 71, 45},
                 {30, 20, 20, 40},   {30, 20, 45, 10}, {7, 5, 3, 2},      {255, 33, 10, 3}, {3, 2, 2, 3}};
    for (const Size& s : sizes) {
        for (uint32_t bpp = 1; bpp <= 4; ++bpp) {
            Image src = randomImage(s.sw, s.sh, bpp, s.sw * 7 + bpp);
            for (uint32_t flags : {kBox, kInterpolating}) {
                Image full = whole(src, s.w, s.h, flags);
                for (int t = 0; t < 6; ++t) {
                    const Rect r = imagingtest::randomRect(rng, s.w, s.h);
                    Image part = resampled(src, s.w, s.h, r, flags);
                    ASSERT_EQ(part.px, full.crop(r.x, r.y, r.w, r.h).px)
                        << s.sw << "x" << s.sh << " -> " << s.w << "x" << s.h << " rect " << r.x << "," << r.y << " "
                        << r.w << "x" << r.h << " bpp " << bpp << " flags " << flags;
                }
            }
        }
    }
}

TEST(Resample, RowStridesMayBeNegativeOrPadded)
{
    Image src = randomImage(50, 40, 3, 9);
    Image expect = whole(src, 17, 13, 0);
    // Source bottom-up with padding, destination bottom-up with padding.
    const int32_t ss = 50 * 3 + 5, ds = 17 * 3 + 7;
    std::vector<uint8_t> s(size_t(ss) * 40), d(size_t(ds) * 13, 0xEE);
    for (uint32_t y = 0; y < 40; ++y) std::copy(src.row(y), src.row(y) + 150, s.data() + size_t(39 - y) * ss);
    Imaging::resample(d.data() + size_t(12) * ds, -ds, Rect{0, 0, 17, 13}, 17, 13, s.data() + size_t(39) * ss, -ss, 50,
                      40, Photometric::BGR, 0);
    for (uint32_t y = 0; y < 13; ++y) {
        const uint8_t* row = d.data() + size_t(12 - y) * ds;
        EXPECT_TRUE(std::equal(row, row + 51, expect.row(y))) << y;
        EXPECT_EQ(row[51], 0xEE);
    }
}

TEST(Resample, RejectsUnknownPhotometricsAndRectanglesOutsideThePicture)
{
    uint8_t src[16] = {}, dst[16] = {};
    imagingtest::expectThrow([&] { Imaging::resample(dst, 4, Rect{0, 0, 1, 1}, 2, 2, src, 4, 2, 2, Photometric(8), 0); },
                             7, "_Vtx_Internal_NS_::getBpp", "Unknown photometric!");
    EXPECT_THROW(Imaging::resample(dst, 4, Rect{1, 0, 2, 1}, 2, 2, src, 4, 2, 2, Photometric::Gray, 0), Exception);
    EXPECT_THROW(Imaging::resample(dst, 4, Rect{0, 0, 1, 1}, 2, 2, src, 4, 0, 2, Photometric::Gray, 0), Exception);
    EXPECT_THROW(Imaging::resample(dst, 4, Rect{0, 0xFFFFFFFFu, 1, 2}, 2, 2, src, 4, 2, 2, Photometric::Gray, 0),
                 Exception);
    // An empty rectangle draws nothing, whatever the sizes.
    Imaging::resample(dst, 4, Rect{0, 0, 0, 5}, 0, 0, src, 4, 0, 0, Photometric::Gray, 0);
}

TEST(Resample, RowKernelsMatchPlainLoops)
{
    using namespace _Vtx_Internal_NS_;
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> weight(0.0f, 1.0f);
    for (int channels = 1; channels <= 4; ++channels) {
        std::vector<uint8_t> src(400 * channels);
        for (auto& b : src) b = uint8_t(rng());
        // Footprints of every length up to 12, anywhere in the row, arbitrary end weights.
        std::vector<Footprint> fps(60);
        for (Footprint& fp : fps) {
            fp.len = rng() % 13;
            fp.first = rng() % (400 - 12);
            for (float& w : fp.w) w = weight(rng);
        }
        auto weightAt = [](const Footprint& fp, uint32_t k) {
            if (fp.len <= 4) return fp.w[k];
            return k < 2 ? fp.w[k] : k + 2 >= fp.len ? fp.w[4 - (fp.len - k)] : 1.0f;
        };
        FloatRows rows;
        rows.allocate(2, uint32_t(fps.size()) * channels);
        float* out = rows.row(0);
        for (bool add : {false, true}) {
            std::vector<float> before(out, out + fps.size() * channels);
            reduceRow(channels, add, src.data(), fps.data(), uint32_t(fps.size()), out, 0.75f);
            for (size_t c = 0; c < fps.size(); ++c)
                for (int ch = 0; ch < channels; ++ch) {
                    double sum = 0;
                    for (uint32_t k = 0; k < fps[c].len; ++k)
                        sum += double(weightAt(fps[c], k)) * src[(fps[c].first + k) * channels + ch];
                    const double want = (add ? before[c * channels + ch] : 0.0) + 0.75 * sum;
                    ASSERT_NEAR(out[c * channels + ch], want, 1e-5 * (1 + std::abs(want))) << channels << " " << c;
                }
        }
        // combineRow: init, then multiply-add, over whole aligned rows.
        float* acc = rows.row(1);
        const uint32_t n = rows.stride();
        std::vector<float> r(out, out + n), expect(n);
        combineRow(acc, out, n, 0.5f, true);
        combineRow(acc, out, n, 2.0f, false);
        for (uint32_t i = 0; i < n; ++i) expect[i] = 0.5f * r[i] + 2.0f * r[i];
        EXPECT_TRUE(std::equal(expect.begin(), expect.end(), acc));
    }
}
