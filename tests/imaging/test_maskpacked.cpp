// Mask shrinking by bit counts over packed rows against the same shrinking run by run: the two
// must give the same bytes, and the packed row itself must hold exactly the bits put into it.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "djv_maskcolourplanes.h"
#include "djv_maskpackedrow.h"
#include "djv_maskscaling_internal.h"
#include "imaging_testutil.h"

using namespace Vantorix::DjVu;
using _Vtx_Internal_NS_::MaskPackedRow;

namespace {

struct Run {
    uint32_t begin, end;
    Color colour;
};

// Random runs per row, unordered and overlapping, some past the row's end; a row is in one
// colour or (sometimes) in several.
struct RandomRuns {
    uint32_t w = 0;
    std::vector<std::vector<Run>> rows;

    RandomRuns(uint32_t width, uint32_t height, std::mt19937& rng) : w(width), rows(height)
    {
        const Color palette[3] = {{0, 0, 0, 0}, {10, 200, 30, 0}, {250, 5, 99, 0}};
        const unsigned density = rng() % 3; // sparse, text-like, nearly solid
        for (auto& row : rows) {
            const bool mixed = rng() % 5 == 0;
            const Color one = palette[rng() % 3];
            const uint32_t count = rng() % 4 == 0 ? 0 : 1 + rng() % (density == 0 ? 3 : 12);
            for (uint32_t k = 0; k < count; ++k) {
                const uint32_t b = rng() % (w + 4);
                const uint32_t len = density == 2 ? 1 + rng() % (w + 8) : 1 + rng() % 9;
                row.push_back(Run{b, b + len, mixed ? palette[rng() % 3] : one});
            }
        }
    }

    template <class Paint>
    bool forEachSpan(uint32_t y, uint32_t x0, uint32_t x1, Paint&& paint) const
    {
        bool any = false;
        for (const Run& r : rows[y]) {
            const uint32_t b = std::max(r.begin, x0), e = std::min({r.end, x1, w});
            if (b >= e) continue;
            paint(b, e, r.colour);
            any = true;
        }
        return any;
    }
};

std::vector<uint8_t> shrunk(const RandomRuns& src, uint32_t dw, uint32_t dh, const Rect& rect, Photometric p,
                            uint32_t flags, bool runsOnly)
{
    const uint32_t h = uint32_t(src.rows.size());
    const int bpp = p == Photometric::Gray ? 1 : 3;
    const int32_t stride = int32_t(rect.w) * bpp;
    std::vector<uint8_t> out(size_t(stride) * rect.h, 0x80);
    _Vtx_Internal_NS_::MaskRowFillerT<RandomRuns> rows(src);
    _Vtx_Internal_NS_::MaskCall call{out.data(), stride, rect,  dw,    dh, &rows, src.w, h, nullptr, 0, 0, 0, p,
                                     flags,      bpp,    false, runsOnly};
    _Vtx_Internal_NS_::shrinkMask(call);
    return out;
}

// Shrinking by bit counts over packed rows gives the bytes of the run-by-run sums.
::testing::AssertionResult sameAsRunByRun(const RandomRuns& src, uint32_t dw, uint32_t dh, const Rect& rect,
                                          Photometric p, uint32_t flags)
{
    if (shrunk(src, dw, dh, rect, p, flags, false) == shrunk(src, dw, dh, rect, p, flags, true))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << src.w << "x" << src.rows.size() << " to " << dw << "x" << dh
                                         << " photometric " << int(p) << " flags " << flags;
}

} // namespace

TEST(MaskPackedShrink, BitCountsGiveTheBytesOfTheRunByRunSums)
{
    std::mt19937 rng(12);
    const Photometric kinds[] = {Photometric::Gray, Photometric::RGB, Photometric::YCbCr};
    for (int round = 0; round < 300; ++round) {
        // Mild and strong reductions; the strongest give footprints wider than one word.
        const uint32_t w = 2 + rng() % 700, h = 2 + rng() % 200;
        const uint32_t dw = 1 + rng() % (round % 4 == 0 ? std::min(w - 1, 6u) : w - 1);
        const uint32_t dh = 1 + rng() % (h - 1);
        const RandomRuns src(w, h, rng);
        const Rect rect = round % 3 ? Rect{0, 0, dw, dh} : imagingtest::randomRect(rng, dw, dh);
        // Box or interpolating weights.
        ASSERT_TRUE(sameAsRunByRun(src, dw, dh, rect, kinds[round % 3], round % 2)) << "round " << round;
    }
}

TEST(MaskPackedShrink, StrongReductionsOfOneColourGiveTheRunByRunBytes)
{
    // Many rows to one output row: the stacked counts run to several binary digits, and some
    // rows change colour midway through a stack.
    std::mt19937 rng(21);
    const Photometric kinds[] = {Photometric::Gray, Photometric::RGB};
    for (int round = 0; round < 60; ++round) {
        const uint32_t w = 64 + rng() % 400, h = 100 + rng() % 900;
        const uint32_t dw = 1 + rng() % 12, dh = 1 + rng() % 8;
        const RandomRuns src(w, h, rng);
        ASSERT_TRUE(sameAsRunByRun(src, dw, dh, Rect{0, 0, dw, dh}, kinds[round % 2], round % 3 == 0)) << "round " << round;
    }
}

TEST(MaskPackedShrink, MildReductionsOfWholePagesGiveTheRunByRunBytes)
{
    // Mild reductions put a row or two in each output row: those stacks go straight into the
    // output sums, skipping the integer column sums the run-by-run path keeps.
    std::mt19937 rng(5);
    struct Page {
        const char* name; // a fixture bitmap, or null for solid rows with random gaps
        uint32_t w, h;
    };
    const Page pages[] = {{"mmr/black.pbm", 0, 0}, {"sources/text_odd.pbm", 0, 0}, {nullptr, 300, 200},
                          {nullptr, 777, 61}};
    const double ratios[] = {1.01, 1.17, 1.5, 1.99, 2.5, 3.9};
    const Photometric kinds[] = {Photometric::Gray, Photometric::RGB, Photometric::YCbCr};
    const Color colours[] = {{0, 0, 0, 0}, {10, 200, 30, 0}};
    int round = 0;
    for (const Page& page : pages) {
        RandomRuns src(page.w, page.h, rng);
        if (page.name) {
            const imagingtest::Image bits = imagingtest::readPnm(std::string(VTX_FIXTURE_DIR "/") + page.name);
            ASSERT_FALSE(bits.px.empty()) << page.name;
            src.w = bits.w;
            src.rows.assign(bits.h, {});
            for (uint32_t y = 0; y < bits.h; ++y)
                for (uint32_t x = 0; x < bits.w;) {
                    const uint32_t b = x;
                    while (x < bits.w && bits.at(x, y)[0] == bits.at(b, y)[0]) ++x;
                    if (bits.at(b, y)[0]) src.rows[y].push_back(::Run{b, x, colours[y / 40 % 2]});
                }
        } else {
            for (auto& row : src.rows) {
                row.clear();
                if (rng() % 3) row.push_back(::Run{0, page.w, colours[0]});
                if (rng() % 2) row.push_back(::Run{uint32_t(rng() % page.w), page.w, colours[1]});
            }
        }
        const uint32_t h = uint32_t(src.rows.size());
        for (double ratio : ratios) {
            const uint32_t dw = std::max(1u, uint32_t(src.w / ratio)), dh = std::max(1u, uint32_t(h / ratio));
            if (dw >= src.w || dh >= h) continue;
            const Photometric p = kinds[round % 3];
            const uint32_t flags = round++ % 2;
            const Rect rect = round % 4 ? Rect{0, 0, dw, dh} : imagingtest::randomRect(rng, dw, dh);
            ASSERT_TRUE(sameAsRunByRun(src, dw, dh, rect, p, flags)) << (page.name ? page.name : "solid");
        }
    }
}

TEST(MaskPackedRow, StackedDigitsCountTheRowsPerColumn)
{
    std::mt19937 rng(8);
    for (int round = 0; round < 100; ++round) {
        const uint32_t x0 = rng() % 50, x1 = x0 + 1 + rng() % 400;
        std::vector<MaskPackedRow> digits(12);
        for (auto& d : digits) d.reset(x0, x1);
        std::vector<uint32_t> plain(x1 - x0);
        MaskPackedRow row;
        const uint32_t rows = 1 + rng() % 1000;
        for (uint32_t r = 0; r < rows; ++r) {
            row.reset(x0, x1);
            for (int k = rng() % 4; k > 0; --k) {
                const uint32_t b = x0 + rng() % (x1 - x0), e = b + 1 + rng() % (rng() % 2 ? 10 : 300);
                row.setRun(b, e, Color{});
                for (uint32_t x = b; x < std::min(e, x1); ++x) plain[x - x0] |= 1u << 31; // set in this row
            }
            for (auto& c : plain) c = (c & ~(1u << 31)) + (c >> 31);
            for (size_t k = 0; k < digits.size() && digits[k].addDigit(row); ++k) ASSERT_LT(k + 1, digits.size());
        }
        for (uint32_t x = x0; x < x1; ++x) {
            uint32_t count = 0;
            for (size_t k = 0; k < digits.size(); ++k) count += uint32_t(!digits[k].empty() && digits[k].test(x)) << k;
            ASSERT_EQ(count, plain[x - x0]) << round << " column " << x;
        }
    }
}

TEST(MaskPackedRow, HoldsExactlyTheBitsPutIn)
{
    std::mt19937 rng(7);
    MaskPackedRow row; // reused: a reset must clear what the previous row set
    for (int round = 0; round < 400; ++round) {
        const uint32_t x0 = rng() % 100, x1 = x0 + 1 + rng() % 300;
        row.reset(x0, x1);
        std::vector<uint8_t> plain(x1 - x0);
        for (int k = rng() % 6; k > 0; --k) {
            if (rng() % 2) {
                const uint32_t b = rng() % (x1 + 20), e = b + rng() % 150;
                row.setRun(b, e, Color{});
                for (uint32_t x = std::max(b, x0); x < std::min(e, x1); ++x) plain[x - x0] = 1;
                continue;
            }
            // A random source row with padding behind it, as shape bitmaps have.
            const uint32_t srcBits = 1 + rng() % 200;
            std::vector<uint8_t> src((srcBits + 7) / 8 + 8);
            for (uint32_t i = 0; i < (srcBits + 7) / 8; ++i) src[i] = uint8_t(rng());
            const uint32_t from = rng() % srcBits;
            const uint32_t to = from + 1 + rng() % std::min(srcBits - from, x1 - x0);
            const uint32_t at = x0 + rng() % (x1 - x0 - (to - from) + 1);
            row.blit(src.data(), from, to, at, Color{});
            for (uint32_t i = from; i < to; ++i)
                if ((src[i >> 3] >> (7 - (i & 7))) & 1) plain[at + i - from - x0] = 1;
        }
        for (uint32_t x = x0; x < x1; ++x) ASSERT_EQ(row.test(x), plain[x - x0] != 0) << round << " column " << x;
        for (int k = 0; k < 20; ++k) {
            const uint32_t a = x0 + rng() % (x1 - x0), b = a + rng() % (x1 - a + 1);
            uint32_t want = 0;
            for (uint32_t x = a; x < b; ++x) want += plain[x - x0];
            ASSERT_EQ(row.count(a, b), want) << round;
            const uint32_t n = std::min(b - a, MaskPackedRow::kWindow);
            if (n) {
                ASSERT_EQ(uint32_t(__builtin_popcountll(row.window(a, n))), row.count(a, a + n)) << round;
            }
        }
    }
}

TEST(MaskPackedShrink, OverlapsResolvedByWordsGiveThePixelByPixelParts)
{
    using _Vtx_Internal_NS_::MaskSpan;
    // The plain version: pixel by pixel, later runs first.
    const auto plain = [](const _Vtx_Internal_NS_::MaskSpanList& spans, uint32_t x0, uint32_t x1) {
        std::vector<bool> taken(x1 - x0);
        std::vector<MaskSpan> parts;
        for (uint32_t s = spans.size(); s-- > 0;) {
            const MaskSpan sp = spans[s];
            for (uint32_t x = sp.begin; x < sp.end;) {
                while (x < sp.end && taken[x - x0]) ++x;
                const uint32_t b = x;
                while (x < sp.end && !taken[x - x0]) taken[x++ - x0] = true;
                if (x > b) parts.push_back(MaskSpan{b, x, sp.colour});
            }
        }
        return parts;
    };
    std::mt19937 rng(33);
    _Vtx_Internal_NS_::MaskSpanList spans;
    Vantorix::SimpleArray<uint64_t> taken; // reused, as the shrinker does
    Vantorix::SimpleArray<MaskSpan> visible;
    for (int round = 0; round < 2000; ++round) {
        const uint32_t x0 = rng() % 130, x1 = x0 + 1 + rng() % (round % 2 ? 70 : 600);
        spans.reset(x0, x1);
        const uint32_t count = 1 + rng() % 40;
        for (uint32_t k = 0; k < count; ++k) {
            // Short and long runs, many of them ending or starting at word boundaries.
            uint32_t b = x0 + rng() % (x1 - x0);
            if (rng() % 4 == 0) b = x0 + (b - x0) / 64 * 64;
            const uint32_t len = rng() % 3 ? 1 + rng() % 20 : 1 + rng() % 300;
            spans.add(b, b + len, Color{uint8_t(k), uint8_t(rng()), 0, 0});
        }
        _Vtx_Internal_NS_::resolveOverlaps(spans, x0, x1, taken, visible);
        const std::vector<MaskSpan> want = plain(spans, x0, x1);
        ASSERT_EQ(visible.size(), want.size()) << "round " << round;
        for (uint32_t k = 0; k < visible.size(); ++k) {
            ASSERT_EQ(visible[k].begin, want[k].begin) << "round " << round << " part " << k;
            ASSERT_EQ(visible[k].end, want[k].end) << "round " << round << " part " << k;
            ASSERT_TRUE(visible[k].colour == want[k].colour) << "round " << round << " part " << k;
        }
    }
}

TEST(MaskPackedRow, CountBitsAgreesWithCountingOneByOne)
{
    const auto plain = [](uint64_t v) {
        uint32_t n = 0;
        for (int b = 0; b < 64; ++b) n += uint32_t((v >> b) & 1);
        return n;
    };
    std::vector<uint64_t> values = {0, ~uint64_t(0), 1, uint64_t(1) << 63, 0x5555555555555555u, 0xAAAAAAAAAAAAAAAAu,
                                    0xFF00FF00FF00FF00u, 0x8000000000000001u};
    std::mt19937_64 rng(64);
    for (int k = 0; k < 5000; ++k) {
        const uint64_t v = rng();
        values.push_back(v);
        values.push_back(v & rng() & rng()); // sparse, as text rows are
        values.push_back(v | rng() | rng()); // dense
        values.push_back(~uint64_t(0) << (rng() % 64)); // a window mask
    }
    for (uint64_t v : values) ASSERT_EQ(_Vtx_Internal_NS_::countBits(v), plain(v)) << std::hex << v;
}

TEST(MaskPackedRow, ColoursMakeARowMixedAndTheRangeFollowsThePieces)
{
    MaskPackedRow row;
    row.reset(10, 90);
    EXPECT_TRUE(row.empty());
    row.setRun(0, 12, Color{1, 2, 3, 0});
    row.setRun(40, 50, Color{1, 2, 3, 0});
    row.setRun(95, 99, Color{9, 9, 9, 0}); // outside: neither set nor counted
    EXPECT_FALSE(row.empty());
    EXPECT_FALSE(row.mixed());
    EXPECT_EQ(row.lo(), 10u);
    EXPECT_EQ(row.hi(), 50u);
    EXPECT_EQ(row.count(10, 90), 12u);
    row.setRun(60, 61, Color{1, 2, 4, 0});
    EXPECT_TRUE(row.mixed());
    row.reset(10, 90);
    EXPECT_FALSE(row.mixed());
    EXPECT_EQ(row.count(10, 90), 0u);
}

TEST(MaskColourPlanes, EachColumnIsInThePlaneOfTheLastPieceOverIt)
{
    using _Vtx_Internal_NS_::MaskColourPlanes;
    std::mt19937 rng(41);
    MaskColourPlanes planes; // reused: a reset must clear what the previous row set
    for (int round = 0; round < 600; ++round) {
        const uint32_t x0 = rng() % 100, x1 = x0 + 1 + rng() % 400;
        // Mostly a few colours; sometimes more than there are planes.
        const uint32_t colours = round % 10 == 0 ? MaskColourPlanes::kPlanes + 1 + rng() % 3 : 1 + rng() % 4;
        planes.reset(x0, x1);
        std::vector<int> owner(x1 - x0, -1); // the colour last drawn over each column
        std::vector<bool> used(colours);
        for (int k = 1 + rng() % 12; k > 0; --k) {
            const uint32_t c = rng() % colours;
            const Color colour{uint8_t(c), uint8_t(3 * c), 7, 0};
            used[c] = true;
            if (rng() % 2) {
                const uint32_t b = rng() % (x1 + 20), e = b + rng() % 150;
                planes.setRun(b, e, colour);
                for (uint32_t x = std::max(b, x0); x < std::min(e, x1); ++x) owner[x - x0] = int(c);
                continue;
            }
            const uint32_t srcBits = 1 + rng() % 200;
            std::vector<uint8_t> src((srcBits + 7) / 8 + 8);
            for (uint32_t i = 0; i < (srcBits + 7) / 8; ++i) src[i] = uint8_t(rng() & rng());
            const uint32_t from = rng() % srcBits;
            const uint32_t to = from + 1 + rng() % std::min(srcBits - from, x1 - x0);
            const uint32_t at = x0 + rng() % (x1 - x0 - (to - from) + 1);
            planes.blit(src.data(), from, to, at, colour);
            for (uint32_t i = from; i < to; ++i)
                if ((src[i >> 3] >> (7 - (i & 7))) & 1) owner[at + i - from - x0] = int(c);
        }
        const uint32_t distinct = uint32_t(std::count(used.begin(), used.end(), true));
        ASSERT_EQ(planes.tooMany(), distinct > MaskColourPlanes::kPlanes) << round;
        if (planes.tooMany()) continue;
        ASSERT_EQ(planes.size(), distinct) << round;
        for (uint32_t k = 0; k < planes.size(); ++k) {
            const int c = planes.colour(k).blue;
            for (uint32_t x = x0; x < x1; ++x)
                ASSERT_EQ(!planes[k].empty() && planes[k].test(x), owner[x - x0] == c) << round << " column " << x;
        }
    }
}

TEST(MaskPackedRow, NextSetFindsTheFirstSetColumn)
{
    std::mt19937 rng(43);
    MaskPackedRow row;
    for (int round = 0; round < 300; ++round) {
        const uint32_t x0 = rng() % 100, x1 = x0 + 1 + rng() % 500;
        row.reset(x0, x1);
        std::vector<bool> plain(x1 - x0);
        for (int k = rng() % 4; k > 0; --k) {
            const uint32_t b = x0 + rng() % (x1 - x0), e = b + 1 + rng() % 5;
            row.setRun(b, e, Color{});
            for (uint32_t x = b; x < std::min(e, x1); ++x) plain[x - x0] = true;
        }
        for (int k = 0; k < 30; ++k) {
            const uint32_t a = x0 + rng() % (x1 - x0), end = a + rng() % (x1 - a + 1);
            uint32_t want = a;
            while (want < end && !plain[want - x0]) ++want;
            ASSERT_EQ(row.nextSet(a, end), std::min(want, end)) << round << " from " << a << " to " << end;
        }
    }
}
