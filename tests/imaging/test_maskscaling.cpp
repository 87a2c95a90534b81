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
template <class Source>
Image drawn(const Source& src, uint32_t sw, uint32_t sh, uint32_t dstW, uint32_t dstH, const Rect& rect,
            Photometric p, uint32_t flags, Image under, const Image* fg = nullptr)
{
    _Vtx_Internal_NS_::resampleMaskT(under.px.data(), under.stride(), rect, dstW, dstH, src, sw, sh,
                                     fg ? fg->px.data() : nullptr, fg ? fg->stride() : 0, fg ? fg->w : 0,
                                     fg ? fg->h : 0, p, 0, flags);
    return under;
}

Image onWhite(const VectorMask& m, uint32_t dstW, uint32_t dstH, Photometric p, uint32_t flags = kInterpolating)
{
    return drawn(m, m.w, m.h, dstW, dstH, Rect{0, 0, dstW, dstH}, p, flags, Image(dstW, dstH, bppOf(p), 255));
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

TEST(MaskScaling, SameSizeWritesTheSetPixelsInEachPhotometric)
{
    VectorMask m(6, 4);
    m.put(1, 1, kRed);
    m.put(2, 1, kRed);
    m.put(4, 2, kBlack);
    m.put(0, 3, Color{10, 20, 30, 0});
    // Grey (38 * 255 + 64) >> 7 = 76 for red, (15*10 + 75*20 + 38*30 + 64) >> 7 = 22.
    std::vector<uint8_t> want(24, 255);
    want[7] = want[8] = 76, want[16] = 0, want[18] = 22;
    EXPECT_EQ(onWhite(m, 6, 4, Photometric::Gray).px, want);

    EXPECT_EQ(pixel(onWhite(m, 6, 4, Photometric::RGB), 0, 3), (std::vector<uint8_t>{30, 20, 10}));
    EXPECT_EQ(pixel(onWhite(m, 6, 4, Photometric::BGR), 0, 3), (std::vector<uint8_t>{10, 20, 30}));
    Image ycc = onWhite(m, 6, 4, Photometric::YCbCr);
    // Cb = ((32*11 - 21*20 - 11*30) >> 6) + 128 = -7 + 128; Cr = ((32*31 - 27*20 - 5*10) >> 6) + 128.
    EXPECT_EQ(pixel(ycc, 0, 3), (std::vector<uint8_t>{22, 121, 134}));
    // Red: Cr overflows and is clamped; Cb = (-2773 >> 6) + 128 = 84 (arithmetic shift).
    EXPECT_EQ(pixel(ycc, 1, 1), (std::vector<uint8_t>{76, 84, 255}));
    EXPECT_EQ(pixel(ycc, 4, 2), (std::vector<uint8_t>{0, 128, 128}));
}

TEST(MaskScaling, ShrinkingBlendsByCoverage)
{
    VectorMask m(4, 2);
    m.put(0, 0);
    m.put(1, 1); // block (0..1, 0..1): two set of four
    for (uint32_t i = 0; i < 4; ++i) m.put(2 + i % 2, i / 2, kRed); // block (2..3): all set, red
    // Half coverage keeps half the white, truncated; full coverage is the colour itself.
    EXPECT_EQ(onWhite(m, 2, 1, Photometric::Gray, kBox).px, (std::vector<uint8_t>{127, 76}));
    EXPECT_EQ(onWhite(m, 2, 1, Photometric::RGB, kBox).px, (std::vector<uint8_t>{127, 127, 127, 255, 0, 0}));
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
    // The right edge fades (nothing lies past the last column), as the bottom rows above do not.
    VectorMask full(2, 2);
    for (uint32_t i = 0; i < 4; ++i) full.put(i % 2, i / 2);
    EXPECT_EQ(onWhite(full, 4, 4, Photometric::Gray).at(3, 0)[0], 128); // coverage 127: 255 * 128 / 255
}

// Shrinking may differ from the plain version by float rounding only; the other regimes are
// exact. A rectangle drawn alone is exactly that part of the whole.
TEST(MaskScaling, MatchesThePlainVersionInEveryRegime)
{
    std::mt19937 rng(12);
    size_t bytes = 0, off = 0;
    for (int t = 0; t < 150; ++t) {
        const Photometric p = kAll[t % 4];
        uint32_t sw = 1 + rng() % 60, sh = 1 + rng() % 50, dw = sw, dh = sh; // t % 3 == 0: same size
        if (t % 3 == 1)
            dw = std::max(1u, sw - 1 - uint32_t(rng() % sw)), dh = std::max(1u, sh - 1 - uint32_t(rng() % sh));
        else if (t % 3 == 2)
            dw = sw + rng() % 50, dh = 1 + rng() % 80;
        if (t == 148) sw = 300, sh = 200, dw = 29, dh = 19;
        const uint32_t flags = (t / 3) % 2 ? kBox : kInterpolating;
        VectorMask m = imagingtest::randomMask(sw, sh, uint32_t(t), int(rng() % 90) + 5, true);
        Image fg = imagingtest::randomImage(1 + rng() % 20, 1 + rng() % 20, bppOf(p), uint32_t(t));
        const Image* fgp = t % 5 < 2 ? &fg : nullptr;
        Image under = imagingtest::randomImage(dw, dh, bppOf(p), uint32_t(t) + 1000);
        const Rect all{0, 0, dw, dh};
        Image ours = drawn(m, sw, sh, dw, dh, all, p, flags, under, fgp), ref = under;
        reference::drawMask(ref, all, dw, dh, m, p, fgp, flags == kBox);
        const auto d = imagingtest::diff(ours, ref);
        const std::string what = std::to_string(sw) + "x" + std::to_string(sh) + " -> " + std::to_string(dw) + "x" +
                                 std::to_string(dh) + " photometric " + std::to_string(int(p)) + " fg " +
                                 std::to_string(fgp != nullptr) + " flags " + std::to_string(flags) + ": ";
        ASSERT_LE(d.maxAbs, dw < sw && dh < sh ? 1 : 0) << what << imagingtest::firstDifference(ours, ref);
        off += d.count;
        bytes += ours.px.size();
        for (int k = 0; k < 3; ++k) {
            const Rect r = imagingtest::randomRect(rng, dw, dh);
            ASSERT_EQ(drawn(m, sw, sh, dw, dh, r, p, flags, under.crop(r.x, r.y, r.w, r.h), fgp).px,
                      ours.crop(r.x, r.y, r.w, r.h).px)
                << what << "rect " << r.x << "," << r.y << " " << r.w << "x" << r.h;
        }
    }
    EXPECT_LT(double(off), 0.002 * double(bytes));
}

// Black shapes add nothing to the colour sums; an output row that gathers black rows and
// coloured ones, in either order, or gets a coloured foreground, must still get every colour,
// over grey pixels as over coloured ones.
TEST(MaskScaling, BlackAndColouredRowsSharingOutputRowsKeepTheirColours)
{
    std::mt19937 rng(40);
    const Color olive{20, 128, 128, 0};
    for (int t = 0; t < 48; ++t) {
        const Photometric p = kAll[t % 4];
        const uint32_t sw = 20 + rng() % 200, sh = 10 + rng() % 120;
        const uint32_t dw = 1 + rng() % (t % 2 ? sw / 8 + 1 : sw - 1), dh = 1 + rng() % (sh - 1);
        // Rows in one colour each (so they are summed as bits), in bands of one to three rows.
        VectorMask m(sw, sh);
        for (uint32_t y = 0; y < sh; ++y) {
            const Color c = (y / (1 + t % 3)) % 2 ? olive : kBlack;
            for (uint32_t x = rng() % 8; x < sw; x += 1 + rng() % 6) m.put(x, y, c);
        }
        const Image fg = imagingtest::randomImage(3, 3, bppOf(p), uint32_t(t));
        const Image* fgp = t % 6 == 5 ? &fg : nullptr;
        const uint32_t flags = (t / 4) % 2 ? kBox : kInterpolating;
        // Grey pixels underneath in half the cases, with some of them coloured.
        Image under = imagingtest::randomImage(dw, dh, bppOf(p), uint32_t(t) + 500);
        for (size_t k = 0; t % 2 && k + 3 <= under.px.size(); k += 3)
            if (rng() % 4) under.px[k + 1] = under.px[k + 2] = under.px[k];
        const Rect all{0, 0, dw, dh};
        Image ref = under;
        reference::drawMask(ref, all, dw, dh, m, p, fgp, flags == kBox);
        const Image ours = drawn(m, sw, sh, dw, dh, all, p, flags, under, fgp);
        ASSERT_LE(imagingtest::diff(ours, ref).maxAbs, 1)
            << sw << "x" << sh << " -> " << dw << "x" << dh << " photometric " << int(p) << " flags " << flags << ": "
            << imagingtest::firstDifference(ours, ref);
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

} // namespace

TEST(MaskScaling, RunsOutsideTheRequestedRangeAreClipped)
{
    // Guard columns on both sides of every row catch writes outside the rectangle.
    for (auto [dw, dh] : {std::pair{40u, 30u}, {13u, 11u}, {90u, 70u}}) {
        const uint32_t rw = dw / 2, rh = dh / 2, guard = 8;
        Image buf(rw + 2 * guard, rh, 1, 0xEE);
        _Vtx_Internal_NS_::resampleMaskT(buf.px.data() + guard, buf.stride(), Rect{dw / 4, dh / 4, rw, rh}, dw, dh,
                                         OvershootingSource{}, 40u, 30u, nullptr, 0, 0, 0, Photometric::Gray, 0, 0);
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
        Image out = drawn(HalfMask{200000, olive}, 200000, 40, 3, 2, Rect{0, 0, 3, 2}, Photometric::RGB, flags,
                          Image(3, 2, 3, 0));
        const std::vector<uint8_t> colour{128, 128, 20}, faded{124, 124, 19};
        for (uint32_t i = 0; i < 6; ++i)
            ASSERT_EQ(pixel(out, i % 3, i / 3), i >= 3 && flags == kInterpolating ? faded : colour) << flags << " " << i;
        // Left half set, black over white: the middle of three columns is half covered (and with
        // interpolating weights 1/80 of the white below the last row shows everywhere).
        Image g = drawn(HalfMask{100000, Color{}}, 200000, 40, 3, 1, Rect{0, 0, 3, 1}, Photometric::Gray, flags,
                        Image(3, 1, 1, 255));
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
    for (uint32_t y = 0; y < 12; ++y)
        OverlappingSource{}.forEachSpan(y, 0, 48, [&](uint32_t x0, uint32_t x1, const Color& c) {
            for (uint32_t x = x0; x < x1; ++x) visible.put(x, y, c);
        });
    for (auto [dw, dh] : {std::pair{48u, 12u}, {13u, 5u}, {29u, 7u}, {100u, 30u}}) {
        for (uint32_t flags : {kBox, kInterpolating}) {
            const Image under = imagingtest::randomImage(dw, dh, 3, dw);
            const Rect all{0, 0, dw, dh};
            ASSERT_EQ(drawn(OverlappingSource{}, 48, 12, dw, dh, all, Photometric::YCbCr, flags, under).px,
                      drawn(visible, 48, 12, dw, dh, all, Photometric::YCbCr, flags, under).px)
                << dw << "x" << dh << " flags " << flags;
        }
    }
}
