#include <gtest/gtest.h>

#include <random>

#include "djv_scaling.h"
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
                for (uint32_t flags : {kBox, kInterpolating})
                    ASSERT_EQ(whole(src, w, 11, flags).px, std::vector<uint8_t>(w * 11, level)) << srcW << "->" << w;
            }
        }
    }
}

// Shrinking may differ from the plain version by float rounding only, by one level and rarely;
// enlarging (also one way only) and copying are exact. A rectangle drawn alone is exactly that
// part of the whole.
TEST(Resample, MatchesThePlainVersionAndRectanglesArePartsOfTheWhole)
{
    struct Size {
        uint32_t sw, sh, w, h;
    } fixed[] = {{20000, 3, 2, 2}, {20000, 3, 2, 2}, {20000, 3, 7, 3}, {1, 1, 300, 200},
                 {3, 2, 2, 3},     {3, 2, 6, 2},     {3, 2, 3, 1},     {255, 33, 10, 3}};
    std::mt19937 rng(3);
    size_t bytes = 0, off = 0;
    for (int t = 0; t < 156; ++t) {
        const uint32_t bpp = 1 + (t / 2) % 4, flags = t % 2 ? kBox : kInterpolating;
        uint32_t sw = 1 + rng() % 90, sh = 1 + rng() % 60, w = sw, h = sh; // t % 3 == 2: same size
        if (t % 3 == 0) w = 1 + rng() % sw, h = 1 + rng() % sh;
        if (t % 3 == 1) w = sw + rng() % 70, h = 1 + rng() % 90;
        if (t >= 148) sw = fixed[t - 148].sw, sh = fixed[t - 148].sh, w = fixed[t - 148].w, h = fixed[t - 148].h;
        const Image src = randomImage(sw, sh, bpp, uint32_t(t)), ours = whole(src, w, h, flags);
        const bool shrinking = w < sw && h < sh;
        const Image ref = shrinking ? reference::shrink(src, w, h, Rect{0, 0, w, h}, flags == kBox)
                                    : reference::enlarge(src, w, h, Rect{0, 0, w, h});
        const std::string what = std::to_string(sw) + "x" + std::to_string(sh) + " -> " + std::to_string(w) + "x" +
                                 std::to_string(h) + " bpp " + std::to_string(bpp) + " flags " + std::to_string(flags);
        const auto d = imagingtest::diff(ours, ref);
        ASSERT_LE(d.maxAbs, shrinking ? 1 : 0) << what << ": " << firstDifference(ours, ref);
        bytes += ours.px.size();
        off += d.count;
        for (int k = 0; k < 3; ++k) {
            const Rect r = imagingtest::randomRect(rng, w, h);
            ASSERT_EQ(resampled(src, w, h, r, flags).px, ours.crop(r.x, r.y, r.w, r.h).px)
                << what << " rect " << r.x << "," << r.y << " " << r.w << "x" << r.h;
        }
    }
    EXPECT_LT(double(off), 0.002 * double(bytes));
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
