#include <gtest/gtest.h>

#include <random>

#include "djv_maskscaling.h"
#include "imaging_testutil.h"
#include "reference_scaling.h"
#include "vtx_exception.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using imagingtest::Image;
using imagingtest::VectorMask;

namespace {

constexpr uint32_t kBox = 1, kInterpolating = 0;
constexpr Color kBlack{0, 0, 0, 0};
constexpr Color kRed{0, 0, 255, 0};

uint32_t bppOf(Photometric p) { return p == Photometric::Gray ? 1 : 3; }

// The mask drawn over `under` (the rect.w x rect.h pixels the buffer holds before).
Image drawn(const VectorMask& m, uint32_t dstW, uint32_t dstH, const Rect& rect, Photometric p, const Image* fg,
            uint32_t flags, const Image& under)
{
    Image out = under;
    _Vtx_Internal_NS_::resampleMaskT(out.px.data(), out.stride(), rect, dstW, dstH, m, m.w, m.h,
                                     fg ? fg->px.data() : nullptr, fg ? fg->stride() : 0, fg ? fg->w : 0,
                                     fg ? fg->h : 0, p, 0, flags);
    return out;
}

Image onWhite(const VectorMask& m, uint32_t dstW, uint32_t dstH, Photometric p, uint32_t flags = kInterpolating,
              const Image* fg = nullptr)
{
    return drawn(m, dstW, dstH, Rect{0, 0, dstW, dstH}, p, fg, flags, Image(dstW, dstH, bppOf(p), 255));
}

const Photometric kAll[] = {Photometric::RGB, Photometric::BGR, Photometric::Gray, Photometric::YCbCr};

std::vector<uint8_t> pixel(const Image& im, uint32_t x, uint32_t y) { return {im.at(x, y), im.at(x, y) + im.bpp}; }

} // namespace

TEST(MaskScaling, RefusesOtherPhotometricsReservedFamilyAndOutsideRectanglesBeforeDrawing)
{
    VectorMask m = imagingtest::randomMask(4, 4, 1, 100);
    std::vector<uint8_t> buf(64, 0x5A);
    auto draw = [&](const Rect& r, int photometric, uint32_t family) {
        _Vtx_Internal_NS_::resampleMaskT(buf.data(), 16, r, 4, 4, m, 4, 4, nullptr, 0, 0, 0, Photometric(photometric),
                                         family, 0);
    };
    for (int code : {4, 5, 6, 7, 8, -1})
        imagingtest::expectThrow([&] { draw(Rect{0, 0, 4, 4}, code, 0); }, 26, "_Vtx_Internal_NS_::resampleMaskT",
                                 "Unsupported Photometric!");
    EXPECT_THROW(draw(Rect{0, 0, 4, 4}, int(Photometric::Gray), 1), Exception);
    EXPECT_THROW(draw(Rect{2, 0, 3, 4}, int(Photometric::Gray), 0), Exception);
    EXPECT_EQ(buf, std::vector<uint8_t>(64, 0x5A));
}

TEST(MaskScaling, SameSizeWritesExactlyTheSetPixels)
{
    VectorMask m(6, 4);
    m.put(1, 1, kRed);
    m.put(2, 1, kRed);
    m.put(4, 2, kBlack);
    m.put(0, 3, Color{10, 20, 30, 0});
    // Nothing set inside the rectangle: the buffer is unchanged byte for byte.
    Image under = imagingtest::randomImage(3, 1, 3, 5);
    EXPECT_EQ(drawn(m, 6, 4, Rect{3, 0, 3, 1}, Photometric::RGB, nullptr, 0, under).px, under.px);

    // Grey (38 * 255 + 64) >> 7 = 76 for red, (15*10 + 75*20 + 38*30 + 64) >> 7 = 22.
    Image gray = onWhite(m, 6, 4, Photometric::Gray);
    std::vector<uint8_t> want(24, 255);
    want[7] = want[8] = 76, want[16] = 0, want[18] = 22;
    EXPECT_EQ(gray.px, want);

    Image rgb = onWhite(m, 6, 4, Photometric::RGB), bgr = onWhite(m, 6, 4, Photometric::BGR);
    Image ycc = onWhite(m, 6, 4, Photometric::YCbCr);
    EXPECT_EQ(pixel(rgb, 0, 3), (std::vector<uint8_t>{30, 20, 10}));
    EXPECT_EQ(pixel(bgr, 0, 3), (std::vector<uint8_t>{10, 20, 30}));
    // Cb = ((32*11 - 21*20 - 11*30) >> 6) + 128 = -7 + 128; Cr = ((32*31 - 27*20 - 5*10) >> 6) + 128.
    EXPECT_EQ(pixel(ycc, 0, 3), (std::vector<uint8_t>{22, 121, 134}));
    // Red: Cr overflows and is clamped; Cb = (-2773 >> 6) + 128 = 84 (arithmetic shift).
    EXPECT_EQ(pixel(ycc, 1, 1), (std::vector<uint8_t>{76, 84, 255}));
    EXPECT_EQ(pixel(ycc, 4, 2), (std::vector<uint8_t>{0, 128, 128}));
}

TEST(MaskScaling, ForegroundImageIsSampledInMaskCoordinates)
{
    VectorMask m = imagingtest::randomMask(8, 6, 3, 60);
    Image fg = imagingtest::randomImage(3, 2, 3, 4);
    Image rgb = onWhite(m, 8, 6, Photometric::RGB, 0, &fg), bgr = onWhite(m, 8, 6, Photometric::BGR, 0, &fg);
    EXPECT_EQ(rgb.px, bgr.px); // foreground bytes are copied, whatever their order
    for (uint32_t y = 0; y < 6; ++y)
        for (uint32_t x = 0; x < 8; ++x)
            ASSERT_EQ(pixel(rgb, x, y), m.isSet(x, y) ? pixel(fg, x * 3 / 8, y * 2 / 6) : std::vector<uint8_t>(3, 255))
                << x << "," << y;
    Image gfg = imagingtest::randomImage(5, 5, 1, 6);
    EXPECT_EQ(onWhite(m, 8, 6, Photometric::Gray, 0, &gfg).at(7, 5)[0], m.isSet(7, 5) ? gfg.at(4, 4)[0] : 255);
}

TEST(MaskScaling, ShrinkingBlendsCoverageAndLeavesUncoveredPixelsUntouched)
{
    VectorMask m(4, 2);
    m.put(0, 0);
    m.put(1, 1); // block (0..1, 0..1): two set of four
    for (uint32_t i = 0; i < 4; ++i) m.put(2 + i % 2, i / 2, kRed); // block (2..3): all set, red
    // Half coverage keeps half the white, truncated; full coverage is the colour itself.
    EXPECT_EQ(onWhite(m, 2, 1, Photometric::Gray, kBox).px, (std::vector<uint8_t>{127, 76}));
    EXPECT_EQ(onWhite(m, 2, 1, Photometric::RGB, kBox).px, (std::vector<uint8_t>{127, 127, 127, 255, 0, 0}));

    VectorMask line(40, 40);
    for (uint32_t x = 0; x < 8; ++x) line.put(x, 3);
    Image under = imagingtest::randomImage(10, 10, 3, 8);
    for (uint32_t flags : {kBox, kInterpolating}) {
        Image out = drawn(line, 10, 10, Rect{0, 0, 10, 10}, Photometric::BGR, nullptr, flags, under);
        for (uint32_t y = 0; y < 10; ++y)
            for (uint32_t x = 0; x < 10; ++x)
                if (y > 1 || x > 2) {
                    ASSERT_EQ(pixel(out, x, y), pixel(under, x, y)) << x << "," << y;
                }
        EXPECT_NE(pixel(out, 0, 0), pixel(under, 0, 0));
    }
}

TEST(MaskScaling, EnlargingKeepsInsidePixelsExactAndBlendsEdges)
{
    VectorMask m(4, 4);
    for (uint32_t i = 0; i < 8; ++i) m.put(i % 2, i / 2, kRed); // left half set
    Image out = onWhite(m, 16, 16, Photometric::RGB);
    for (uint32_t y = 0; y < 16; ++y) {
        // Columns sampling at or left of mask column 1 see only set pixels; between columns 1
        // and 2 the red fades into white (coverage 191, 127, 63); then white.
        for (uint32_t x = 0; x < 16; ++x) {
            const uint8_t faded = x <= 4 ? 0 : x <= 7 ? uint8_t(64 * (x - 4)) : 255;
            ASSERT_EQ(pixel(out, x, y), (std::vector<uint8_t>{255, faded, faded})) << x << "," << y;
        }
    }
    // The right edge fades (nothing lies past the last column); the bottom row does not.
    VectorMask full(2, 2);
    for (uint32_t i = 0; i < 4; ++i) full.put(i % 2, i / 2);
    Image e = onWhite(full, 4, 4, Photometric::Gray);
    EXPECT_EQ(e.at(0, 3)[0], 0);
    EXPECT_EQ(e.at(2, 3)[0], 0);
    EXPECT_EQ(e.at(3, 0)[0], 128); // coverage 127: 255 * (255 - 127) / 255 + 0
}

TEST(MaskScaling, MatchesThePlainVersionInEveryRegime)
{
    std::mt19937 rng(12);
    size_t bytes = 0, off = 0;
    for (int t = 0; t < 120; ++t) {
        const Photometric p = kAll[t % 4];
        const uint32_t sw = 1 + rng() % 60, sh = 1 + rng() % 50;
        uint32_t dw = sw, dh = sh; // t % 3 == 0: same size
        if (t % 3 == 1)
            dw = std::max(1u, sw - 1 - uint32_t(rng() % sw)), dh = std::max(1u, sh - 1 - uint32_t(rng() % sh));
        else if (t % 3 == 2)
            dw = sw + rng() % 50, dh = 1 + rng() % 80;
        const uint32_t flags = (t / 3) % 2 ? kBox : kInterpolating;
        VectorMask m = imagingtest::randomMask(sw, sh, uint32_t(t), int(rng() % 90) + 5, true);
        Image fg = imagingtest::randomImage(1 + rng() % 20, 1 + rng() % 20, bppOf(p), uint32_t(t));
        const Image* fgp = t % 5 < 2 ? &fg : nullptr;
        Image under = imagingtest::randomImage(dw, dh, bppOf(p), uint32_t(t) + 1000);
        const Rect all{0, 0, dw, dh};
        Image ours = drawn(m, dw, dh, all, p, fgp, flags, under), ref = under;
        reference::drawMask(ref, all, dw, dh, m, p, fgp, flags == kBox);
        auto d = imagingtest::diff(ours, ref);
        const std::string what = std::to_string(sw) + "x" + std::to_string(sh) + " -> " + std::to_string(dw) + "x" +
                                 std::to_string(dh) + " photometric " + std::to_string(int(p)) + " fg " +
                                 std::to_string(fgp != nullptr) + " flags " + std::to_string(flags) + ": " +
                                 imagingtest::firstDifference(ours, ref);
        if (dw < sw && dh < sh) {
            ASSERT_LE(d.maxAbs, 1) << what; // float rounding only
            off += d.count;
            bytes += ours.px.size();
        } else {
            ASSERT_EQ(d.count, 0u) << what;
        }
    }
    EXPECT_LT(double(off), 0.002 * double(bytes));
}

TEST(MaskScaling, PartialRectanglesEqualThatPartOfTheWholePicture)
{
    std::mt19937 rng(21);
    struct Size {
        uint32_t sw, sh, dw, dh;
    } sizes[] = {{50, 40, 50, 40}, {50, 40, 17, 9}, {300, 200, 29, 19}, {50, 40, 49, 39},
                 {20, 15, 61, 47}, {20, 15, 40, 15}, {20, 15, 7, 30}};
    for (const Size& s : sizes) {
        VectorMask m = imagingtest::randomMask(s.sw, s.sh, s.sw + s.dw, 30, true);
        for (Photometric p : kAll) {
            Image fg = imagingtest::randomImage(9, 7, bppOf(p), 2);
            for (const Image* fgp : {static_cast<const Image*>(nullptr), static_cast<const Image*>(&fg)}) {
                for (uint32_t flags : {kBox, kInterpolating}) {
                    Image under = imagingtest::randomImage(s.dw, s.dh, bppOf(p), 77);
                    Image full = drawn(m, s.dw, s.dh, Rect{0, 0, s.dw, s.dh}, p, fgp, flags, under);
                    for (int t = 0; t < 4; ++t) {
                        const Rect r = imagingtest::randomRect(rng, s.dw, s.dh);
                        Image part = drawn(m, s.dw, s.dh, r, p, fgp, flags, under.crop(r.x, r.y, r.w, r.h));
                        ASSERT_EQ(part.px, full.crop(r.x, r.y, r.w, r.h).px)
                            << s.sw << "x" << s.sh << " -> " << s.dw << "x" << s.dh << " rect " << r.x << "," << r.y
                            << " " << r.w << "x" << r.h << " photometric " << int(p) << " flags " << flags;
                    }
                }
            }
        }
    }
}

namespace {

// A row source that paints past the range it is given, as a careless decoder might.
struct OvershootingSource {
    template <class Paint>
    bool forEachSpan(uint32_t, uint32_t x0, uint32_t x1, Paint&& paint) const
    {
        paint(x0 > 5 ? x0 - 5 : 0, x1 + 50, kBlack);
        paint(x1 + 3, x1 + 9, kBlack);
        return true;
    }
};

// A mask of any size without memory: columns [0, split) set in every row, in one colour.
struct HalfMask {
    uint32_t split;
    Color colour;
    template <class Paint>
    bool forEachSpan(uint32_t, uint32_t x0, uint32_t x1, Paint&& paint) const
    {
        if (x0 >= split) return false;
        paint(x0, std::min(x1, split), colour);
        return true;
    }
};

// Unordered runs drawn over each other, as overlapping JB2 shapes give them.
const Color kA{200, 0, 0, 0}, kB{0, 200, 0, 0}, kC{0, 0, 200, 0}, kD{90, 90, 90, 0};
struct OverlappingSource {
    template <class Paint>
    bool forEachSpan(uint32_t y, uint32_t x0, uint32_t x1, Paint&& paint) const
    {
        const uint32_t s = y % 3; // shift the pattern from row to row
        const uint32_t runs[4][2] = {{2 + s, 30 + s}, {10 + s, 20 + s}, {25 + s, 40 + s}, {0, 5 + s}};
        const Color colours[4] = {kA, kB, kC, kD};
        for (int k = 0; k < 4; ++k) paint(std::max(runs[k][0], x0), std::min(runs[k][1], x1), colours[k]);
        return true;
    }
};

template <class Source>
void drawSource(Image& out, const Rect& rect, uint32_t dw, uint32_t dh, const Source& src, uint32_t sw, uint32_t sh,
                Photometric p, uint32_t flags, int32_t stride = 0, uint8_t* start = nullptr)
{
    _Vtx_Internal_NS_::resampleMaskT(start ? start : out.px.data(), stride ? stride : out.stride(), rect, dw, dh, src,
                                     sw, sh, nullptr, 0, 0, 0, p, 0, flags);
}

} // namespace

TEST(MaskScaling, RunsOutsideTheRequestedRangeAreClipped)
{
    // Guard columns on both sides of every row catch writes outside the rectangle.
    for (auto [dw, dh] : {std::pair{40u, 30u}, {13u, 11u}, {90u, 70u}}) {
        const uint32_t rw = dw / 2, rh = dh / 2, guard = 8;
        Image buf(rw + 2 * guard, rh, 1, 0xEE);
        drawSource(buf, Rect{dw / 4, dh / 4, rw, rh}, dw, dh, OvershootingSource{}, 40u, 30u, Photometric::Gray, 0, 0,
                   buf.px.data() + guard);
        for (uint32_t y = 0; y < rh; ++y)
            for (uint32_t g = 0; g < guard; ++g) {
                ASSERT_EQ(buf.at(g, y)[0], 0xEE) << dw;
                ASSERT_EQ(buf.at(guard + rw + g, y)[0], 0xEE) << dw;
            }
    }
}

TEST(MaskScaling, HugeMasksAndTinyOnes)
{
    const Color olive{20, 128, 128, 0};
    for (uint32_t flags : {kBox, kInterpolating}) {
        // 200000 x 40 fully set, down to 3 x 2, over black: the colour itself, exactly, where the
        // footprint lies inside the mask. The interpolating footprint of the last row reaches
        // half a row past the bottom, which counts as clear: 1/40 of the black shows.
        Image out(3, 2, 3, 0);
        drawSource(out, Rect{0, 0, 3, 2}, 3, 2, HalfMask{200000, olive}, 200000u, 40u, Photometric::RGB, flags);
        const std::vector<uint8_t> colour{128, 128, 20}, faded{124, 124, 19};
        for (uint32_t i = 0; i < 6; ++i)
            ASSERT_EQ(pixel(out, i % 3, i / 3), i >= 3 && flags == kInterpolating ? faded : colour) << flags << " " << i;
        // Left half set, black over white: the middle of three columns is half covered (and with
        // interpolating weights 1/80 of the white below the last row shows everywhere).
        Image g(3, 1, 1, 255);
        drawSource(g, Rect{0, 0, 3, 1}, 3, 1, HalfMask{100000, Color{}}, 200000u, 40u, Photometric::Gray, flags);
        const int below = flags == kInterpolating ? 3 : 0; // trunc(255 / 80)
        EXPECT_EQ(g.px[0], below);
        EXPECT_NEAR(g.px[1], 127 + below, 1);
        EXPECT_EQ(g.px[2], 255);
    }
}

TEST(MaskScaling, OverlappingRunsShowOnlyTheirVisibleParts)
{
    // The same picture without overlaps: what the last run painted wins.
    VectorMask visible(48, 12);
    for (uint32_t y = 0; y < 12; ++y) {
        const uint32_t s = y % 3;
        for (uint32_t x = 0; x < 48; ++x) {
            if (x < 5 + s) visible.put(x, y, kD);
            else if (x >= 25 + s && x < 40 + s) visible.put(x, y, kC);
            else if (x >= 10 + s && x < 20 + s) visible.put(x, y, kB);
            else if (x >= 2 + s && x < 30 + s) visible.put(x, y, kA);
        }
    }
    for (auto [dw, dh] : {std::pair{48u, 12u}, {13u, 5u}, {29u, 7u}, {100u, 30u}}) {
        for (uint32_t flags : {kBox, kInterpolating}) {
            Image under = imagingtest::randomImage(dw, dh, 3, dw), a = under;
            Image b = drawn(visible, dw, dh, Rect{0, 0, dw, dh}, Photometric::YCbCr, nullptr, flags, under);
            drawSource(a, Rect{0, 0, dw, dh}, dw, dh, OverlappingSource{}, 48u, 12u, Photometric::YCbCr, flags);
            ASSERT_EQ(a.px, b.px) << dw << "x" << dh << " flags " << flags;
        }
    }
}
