#include <gtest/gtest.h>

#include "djv_scaling.h"
#include "imaging_testutil.h"

using namespace Vantorix::DjVu;
using imagingtest::Image;
using imagingtest::randomImage;

namespace {

const Photometric kOfWidth[5] = {Photometric::Gray, Photometric::Bytes1, Photometric::Bytes2, Photometric::YCbCr,
                                 Photometric::Bytes4};

Image turned(const Image& src, bool ccw)
{
    Image out(src.h, src.w, src.bpp, 0xCD);
    Imaging::rotate90(out.px.data(), out.stride(), src.px.data(), src.stride(), src.w, src.h, kOfWidth[src.bpp], ccw);
    return out;
}

bool samePixel(const Image& a, uint32_t ax, uint32_t ay, const Image& b, uint32_t bx, uint32_t by)
{
    return std::equal(a.at(ax, ay), a.at(ax, ay) + a.bpp, b.at(bx, by));
}

} // namespace

TEST(Rotate, QuarterTurnsAndMirrorMapEveryPixelAtEveryWidth)
{
    // Sizes on both sides of the 32-pixel tiles.
    for (uint32_t bpp = 1; bpp <= 4; ++bpp) {
        for (auto [w, h] : {std::pair{3u, 2u}, {1u, 1u}, {1u, 40u}, {33u, 1u}, {65u, 31u}, {64u, 96u}, {8u, 3u}}) {
            Image src = randomImage(w, h, bpp, w * h + bpp), mirrored = src;
            Image ccw = turned(src, true), cw = turned(src, false);
            Imaging::horzMirror(mirrored.px.data(), mirrored.stride(), kOfWidth[bpp], w, h);
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = 0; x < w; ++x) {
                    // Counter-clockwise the top-left pixel ends bottom-left.
                    ASSERT_TRUE(samePixel(src, x, y, ccw, y, w - 1 - x)) << w << "x" << h << " bpp " << bpp;
                    ASSERT_TRUE(samePixel(src, x, y, cw, h - 1 - y, x)) << w << "x" << h << " bpp " << bpp;
                    ASSERT_TRUE(samePixel(src, x, y, mirrored, w - 1 - x, y)) << w << "x" << h << " bpp " << bpp;
                }
        }
    }
    // The mirror touches only the given rows and columns: a bottom-up buffer with a spare byte per row.
    std::vector<uint8_t> buf = {1, 2, 3, 9, 4, 5, 6, 9};
    Imaging::horzMirror(buf.data() + 4, -4, Photometric::Gray, 3, 2);
    EXPECT_EQ(buf, (std::vector<uint8_t>{3, 2, 1, 9, 6, 5, 4, 9}));
}

TEST(Rotate, RotateDispatchesByQuarterTurns)
{
    Image src = randomImage(7, 5, 3, 1);
    auto run = [&](int q) {
        const int n = ((q % 4) + 4) % 4;
        Image out(n % 2 ? 5 : 7, n % 2 ? 7 : 5, 3, 0xCD);
        // A half turn is written towards lower addresses.
        uint8_t* start = n == 2 ? out.row(out.h - 1) : out.px.data();
        Imaging::rotate(start, out.stride(), src.px.data(), src.stride(), 7, 5, Photometric::RGB, q);
        return out;
    };
    EXPECT_EQ(run(0).px, src.px);
    EXPECT_EQ(run(4).px, src.px);
    EXPECT_EQ(run(1).px, turned(src, true).px);
    EXPECT_EQ(run(3).px, turned(src, false).px);
    EXPECT_EQ(run(-1).px, run(3).px);
    Image half = run(2);
    for (uint32_t y = 0; y < 5; ++y)
        for (uint32_t x = 0; x < 7; ++x) ASSERT_TRUE(samePixel(src, x, y, half, 6 - x, 4 - y));
}

TEST(Rotate, UnknownPhotometricsNameTheRoutine)
{
    uint8_t a[16] = {}, b[16] = {};
    const std::string unknown = "Unknown photometric!", ns = "Vantorix::DjVu::Imaging::";
    imagingtest::expectThrow([&] { Imaging::rotate90(a, 4, b, 4, 1, 1, Photometric(8), true); }, 7, ns + "rotate90", unknown);
    imagingtest::expectThrow([&] { Imaging::rotate(a, 4, b, 4, 1, 1, Photometric(9), 1); }, 7, ns + "rotate", unknown);
    imagingtest::expectThrow([&] { Imaging::horzMirror(a, 4, Photometric(-3), 1, 1); }, 7, ns + "horzMirror", unknown);
}
