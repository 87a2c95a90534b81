#include <gtest/gtest.h>

#include "djv_scaling.h"
#include "imaging_testutil.h"
#include "vtx_exception.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using imagingtest::Image;
using imagingtest::randomImage;

namespace {

Photometric ofWidth(uint32_t bpp)
{
    static const Photometric widths[5] = {Photometric::Gray, Photometric::Bytes1, Photometric::Bytes2, Photometric::YCbCr,
                                          Photometric::Bytes4};
    return widths[bpp];
}

Image turned(const Image& src, bool ccw)
{
    Image out(src.h, src.w, src.bpp, 0xCD);
    Imaging::rotate90(out.px.data(), out.stride(), src.px.data(), src.stride(), src.w, src.h, ofWidth(src.bpp), ccw);
    return out;
}

bool samePixel(const Image& a, uint32_t ax, uint32_t ay, const Image& b, uint32_t bx, uint32_t by)
{
    return std::equal(a.at(ax, ay), a.at(ax, ay) + a.bpp, b.at(bx, by));
}

} // namespace

TEST(Rotate, QuarterTurnOfThreeByTwo)
{
    Image src(3, 2, 1);
    src.px = {1, 2, 3, 4, 5, 6}; // rows: 1 2 3 / 4 5 6
    Image ccw = turned(src, true);
    ASSERT_EQ(ccw.w, 2u);
    ASSERT_EQ(ccw.h, 3u);
    EXPECT_EQ(ccw.px, (std::vector<uint8_t>{3, 6, 2, 5, 1, 4})); // top-left pixel ends bottom-left
    Image cw = turned(src, false);
    EXPECT_EQ(cw.px, (std::vector<uint8_t>{4, 1, 5, 2, 6, 3}));
}

TEST(Rotate, QuarterTurnsMapEveryPixelAtEveryWidth)
{
    // Sizes on both sides of the 32-pixel tiles.
    for (uint32_t bpp = 1; bpp <= 4; ++bpp) {
        for (auto [w, h] : {std::pair{1u, 1u}, std::pair{1u, 40u}, std::pair{33u, 1u}, std::pair{65u, 31u}, std::pair{64u, 96u}}) {
            Image src = randomImage(w, h, bpp, w * h + bpp);
            Image ccw = turned(src, true), cw = turned(src, false);
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = 0; x < w; ++x) {
                    ASSERT_TRUE(samePixel(src, x, y, ccw, y, w - 1 - x)) << w << "x" << h << " bpp " << bpp;
                    ASSERT_TRUE(samePixel(src, x, y, cw, h - 1 - y, x)) << w << "x" << h << " bpp " << bpp;
                }
            // Four turns either way give the picture back.
            EXPECT_EQ(turned(turned(ccw, false), true).px, ccw.px);
            EXPECT_EQ(turned(cw, true).px, src.px);
        }
    }
}

TEST(Rotate, RotateDispatchesByQuarterTurns)
{
    Image src = randomImage(7, 5, 3, 1);
    auto run = [&](int q) {
        const bool quarter = ((q % 4) + 4) % 4 % 2 == 1;
        Image out(quarter ? 5 : 7, quarter ? 7 : 5, 3, 0xCD);
        uint8_t* start = out.px.data();
        int32_t stride = out.stride();
        if (((q % 4) + 4) % 4 == 2) start = out.row(out.h - 1); // written towards lower addresses
        Imaging::rotate(start, stride, src.px.data(), src.stride(), 7, 5, Photometric::RGB, q);
        return out;
    };
    EXPECT_EQ(run(0).px, src.px);
    EXPECT_EQ(run(1).px, turned(src, true).px);
    EXPECT_EQ(run(3).px, turned(src, false).px);
    EXPECT_EQ(run(-1).px, run(3).px);
    EXPECT_EQ(run(4).px, src.px);
    Image half = run(2);
    for (uint32_t y = 0; y < 5; ++y)
        for (uint32_t x = 0; x < 7; ++x) ASSERT_TRUE(samePixel(src, x, y, half, 6 - x, 4 - y));
}

TEST(Rotate, HorizontalMirrorReversesEachRowInPlace)
{
    for (uint32_t bpp = 1; bpp <= 4; ++bpp) {
        for (uint32_t w : {1u, 2u, 5u, 8u}) {
            Image src = randomImage(w, 3, bpp, w + bpp);
            Image m = src;
            Imaging::horzMirror(m.px.data(), m.stride(), ofWidth(bpp), w, 3);
            for (uint32_t y = 0; y < 3; ++y)
                for (uint32_t x = 0; x < w; ++x) ASSERT_TRUE(samePixel(src, x, y, m, w - 1 - x, y));
        }
    }
    // Only the given rows and columns: a bottom-up buffer with a spare byte per row.
    std::vector<uint8_t> buf = {1, 2, 3, 9, 4, 5, 6, 9};
    Imaging::horzMirror(buf.data() + 4, -4, Photometric::Gray, 3, 2);
    EXPECT_EQ(buf, (std::vector<uint8_t>{3, 2, 1, 9, 6, 5, 4, 9}));
}

TEST(Rotate, UnknownPhotometricsNameTheRoutine)
{
    uint8_t a[16] = {}, b[16] = {};
    const std::string unknown = "Unknown photometric!";
    imagingtest::expectThrow([&] { Imaging::rotate90(a, 4, b, 4, 1, 1, Photometric(8), true); }, 7,
                             "Vantorix::DjVu::Imaging::rotate90", unknown);
    imagingtest::expectThrow([&] { Imaging::rotate(a, 4, b, 4, 1, 1, Photometric(9), 1); }, 7,
                             "Vantorix::DjVu::Imaging::rotate", unknown);
    imagingtest::expectThrow([&] { Imaging::horzMirror(a, 4, Photometric(-3), 1, 1); }, 7,
                             "Vantorix::DjVu::Imaging::horzMirror", unknown);
}
