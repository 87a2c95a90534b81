// Reduced reconstruction against the reference decoder (every file at full size is compared by
// the page render tests), the photometrics, the reduced path's regions, and the render errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "djv_iw44codec.h"
#include "djv_iw44colour.h"
#include "djv_iw44decoder.h"
#include "iw44_testfiles.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::IW44;
using namespace iw44test;

namespace {

// Where the size is a multiple of 32, ddjvu's direct subsampling is the same reduced
// reconstruction: exact at 2, 4 and 8. Pinned: elsewhere the reduced path stops its filters at
// the padded size (whole blocks), ddjvu at the image's own reduced size; on detail (400 x 300)
// they differ only near the right and top edges, where the padding is.
TEST(Reduced, EqualsReferenceOnWholeBlocksAndDiffersOnlyNearThePadding)
{
    for (const std::string name : {"photo", "detail416", "detail"}) {
        const bool padded = name == "detail";
        auto d = decodeAll(djvuChunks(fixture(name + ".djvu")));
        for (uint32_t s : {2u, 4u, 8u}) {
            const Image want = readPnm(fixture(name + ".s" + std::to_string(s) + ".ppm"));
            const Image got = renderWhole(*d, Photometric::RGB, s);
            ASSERT_EQ(got.px.size(), want.px.size()) << name;
            uint32_t differing = 0;
            for (size_t i = 0; i < got.px.size(); ++i) {
                if (got.px[i] == want.px[i]) continue;
                ++differing;
                const uint32_t x = uint32_t(i / 3 % want.w), y = uint32_t(i / 3 / want.w);
                ASSERT_TRUE(padded && (want.w - 1 - x < 24 || y < 24)) << name << " s=" << s << " at " << x << "," << y;
            }
            EXPECT_EQ(differing > 0, padded) << name << " s=" << s;
        }
        if (padded) {
            EXPECT_EQ(firstDifference(renderWhole(*d, Photometric::RGB, 2), readPnm(fixture("detail.s2.ppm"))),
                      "pixel (0, 0) channel 0: got 3, want 0");
        }
    }
}

// Pinned: past 150 slices the steps of band 0 coefficient 0 (and later of whole bands) reach
// 0. Decoded as coded, such a slice reads bits that c44 never wrote: the chunk runs out and
// fails, where ddjvu treats a step of 0 as coding nothing.
TEST(DeepSlices, StepZeroIsDecoded)
{
    const auto chunks = djvuChunks(fixture("photo_grey151.djvu"));
    ASSERT_EQ(chunks.size(), 2u);
    auto d = IW44Decoder::create();
    ASSERT_TRUE(d->decode(vtxtest::streamOf(chunks[0]).get()));
    vtxtest::Thrown t = thrownBy([&] { d->decode(vtxtest::streamOf(chunks[1]).get()); });
    EXPECT_EQ(t.code, 26);
    EXPECT_TRUE(contains(t.message, "preload failed.")) << t.message;
    EXPECT_EQ(static_cast<IW44DecoderImpl*>(d.get())->getSliceCount(), 150u) << "the 151st fails";
    EXPECT_EQ(firstDifference(renderWhole(*d, Photometric::Gray, 1), readPnm(fixture("photo_grey151.pgm"))),
              "pixel (185, 0) channel 0: got 138, want 139");

    // A deep colour file fails the same way in its last chunk; the image stays usable.
    const auto deep = djvuChunks(fixture("photo_deep.djvu"));
    auto d2 = decodeAll({deep.begin(), deep.end() - 1});
    EXPECT_EQ(thrownBy([&] { d2->decode(vtxtest::streamOf(deep.back()).get()); }).code, 26);
    EXPECT_NO_THROW(renderWhole(*d2, Photometric::RGB, 1));
}

// The photometrics are one reconstruction in different clothes. Colour: YCbCr is the signed
// samples, grey is y + 128; grey images store darkness (127 - y) and no chroma.
TEST(Photometrics, AgreeWithEachOther)
{
    for (const char* name : {"photo", "photo_half", "c157x113", "g157x113"}) {
        auto d = decodeAll(djvuChunks(fixture(std::string(name) + ".djvu")));
        for (uint32_t s : {1u, 4u}) {
            const auto rgb = renderWhole(*d, Photometric::RGB, s).px, bgr = renderWhole(*d, Photometric::BGR, s).px;
            const auto ycc = renderWhole(*d, Photometric::YCbCr, s).px, gray = renderWhole(*d, Photometric::Gray, s).px;
            for (size_t i = 0; i < gray.size(); ++i) {
                uint8_t r = gray[i], g = gray[i], b = gray[i];
                if (d->isColor()) {
                    ycbcrToRgb(int8_t(ycc[3 * i]), int8_t(ycc[3 * i + 1]), int8_t(ycc[3 * i + 2]), r, g, b);
                    ASSERT_EQ(gray[i], uint8_t(ycc[3 * i] + 128)) << name << " " << i;
                } else {
                    ASSERT_EQ(gray[i], uint8_t(127 - int8_t(ycc[3 * i]))) << name << " " << i;
                    ASSERT_EQ(ycc[3 * i + 1] | ycc[3 * i + 2], 0) << name << " " << i;
                }
                ASSERT_EQ(Bytes(rgb.begin() + 3 * i, rgb.begin() + 3 * i + 3), (Bytes{r, g, b})) << name << " " << i;
                ASSERT_EQ(Bytes(bgr.begin() + 3 * i, bgr.begin() + 3 * i + 3), (Bytes{b, g, r})) << name << " " << i;
            }
        }
    }
}

// The conversion kernels against their per-pixel reference on random samples, including
// values far outside the byte range and rows of every length around the vector width.
TEST(Photometrics, VectorPathsEqualReference)
{
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> sample(-32768, 32767), small(-9000, 9000);
    for (int trial = 0; trial < 200; ++trial) {
        const uint32_t width = 1 + rng() % 40;
        std::vector<int16_t> y(width), cb(width), cr(width);
        for (auto* v : {&y, &cb, &cr})
            for (int16_t& x : *v) x = int16_t(trial % 2 ? sample(rng) : small(rng));
        for (bool colour : {true, false}) {
            for (bool half : {false, true}) {
                SampleRows in;
                in.y = y.data();
                in.cb = colour ? cb.data() : nullptr;
                in.cr = colour ? cr.data() : nullptr;
                in.halfColumns = colour && half;
                for (Photometric p : {Photometric::RGB, Photometric::BGR, Photometric::Gray, Photometric::YCbCr}) {
                    Bytes a(width * 3, 0xEE), b(width * 3, 0xEE);
                    emitRow(a.data(), in, width, p, colour);
                    emitRowReference(b.data(), in, width, p, colour);
                    ASSERT_EQ(a, b) << "width " << width << " colour " << colour << " half " << half << " p "
                                    << int(p);
                }
            }
        }
    }
}

// A rectangle of the reduced image rendered alone equals the same part of the whole reduced
// image away from its edges. Near the edges it need not: each level is reconstructed only
// over the rectangle grown by three samples of its grid, with its far edge where the start
// was rounded down, while one lifting scale reaches six samples. The band of difference is
// at most 5 << level pixels deep (here: 115 of 160 at subsample 1). At subsample 32 nothing
// is lifted and every rectangle is exact.
TEST(Reduced, RectangleEqualsPartOfWholeAwayFromItsEdges)
{
    std::mt19937 rng(11);
    for (const char* name : {"photo", "detail", "c157x113", "photo_half"}) {
        auto d = decodeAll(djvuChunks(fixture(std::string(name) + ".djvu")));
        for (uint32_t level = 0; level <= 5; ++level) {
            const uint32_t s = 32u >> level, band = level ? 5u << level : 0;
            const uint32_t w = d->getWidth() / s, h = d->getHeight() / s;
            if (!w || !h) continue;
            Rect all{0, 0, w, h};
            Bytes whole(size_t(w) * h * 3);
            d->render(whole.data(), int32_t(w * 3), Photometric::RGB, s, &all);
            for (int trial = 0; trial < 12; ++trial) {
                const Rect r = imagingtest::randomRect(rng, w, h);
                Bytes part(size_t(r.w) * r.h * 3);
                d->render(part.data(), int32_t(r.w * 3), Photometric::RGB, s, &r);
                for (uint32_t y = band; y + band < r.h; ++y)
                    for (uint32_t x = band; x + band < r.w; ++x)
                        ASSERT_EQ(0, std::memcmp(&part[(size_t(y) * r.w + x) * 3], &whole[(size_t(r.y + y) * w + r.x + x) * 3], 3))
                            << name << " s=" << s << " rect " << r.x << "," << r.y << " " << r.w << "x" << r.h
                            << " at " << x << "," << y;
            }
        }
    }
}

// At subsample 32 a block is its first coefficient: pixel = 127 - ((c + 32) >> 6) for grey.
TEST(Reduced, Subsample32IsTheFirstCoefficient)
{
    auto d = decodeAll(djvuChunks(fixture("photo_grey.djvu")));
    const Bytes gray = renderWhole(*d, Photometric::Gray, 32).px;
    const Map& map = static_cast<IW44DecoderImpl*>(d.get())->getComponent(0)->getMap();
    ASSERT_EQ(gray.size(), 20u * 15u);
    for (uint32_t i = 0; i < 20 * 15; ++i) {
        const Map::Block* row = map.getRow(14 - i / 20); // output rows run top-down
        const int16_t* b = row ? Map::getBucket(row[i % 20], 0) : nullptr;
        ASSERT_EQ(gray[i], uint8_t(127 - int8_t(sampleToByte(b ? b[0] : 0)))) << i;
    }
}

TEST(RenderErrors, SubsampleRectangleAndPhotometric)
{
    auto d = decodeAll(djvuChunks(fixture("photo.djvu")));
    std::vector<uint8_t> px(80 * 60 * 3);
    const Rect one{0, 0, 1, 1};
    const std::string compose = "Vantorix::DjVu::IW44::ComponentDecoder::composeImage";
    for (auto [s, text] : {std::pair{3u, "(3 != 2)"}, {12u, "(12 != 8)"}, {0u, "(0 != 1)"}, {64u, "(64 != 32)"},
                           {33u, "(33 != 32)"}})
        expectThrow([&] { d->render(px.data(), 3, Photometric::RGB, s, &one); }, 7, compose,
                    std::string("Invalid IW44 image sample_factor ") + text);

    // 640 x 480 at subsample 8 is 80 x 60: the last row and column are inside.
    for (const Rect& r : {Rect{79, 59, 1, 1}, Rect{79, 0, 1, 60}, Rect{0, 59, 80, 1}})
        EXPECT_NO_THROW(d->render(px.data(), 240, Photometric::RGB, 8, &r));
    // The message gives the rectangle turned into the bottom-up plane.
    const Rect beyond{80, 0, 1, 1};
    expectThrow([&] { d->render(px.data(), 240, Photometric::RGB, 8, &beyond); }, 7, compose,
                "Invalid IW44 image (80,59) 1x1 out of 80x60!");
    for (const Rect& r : {Rect{0, 0, 81, 1}, Rect{0, 0, 0, 1}, Rect{0, 0, 1, 0}, Rect{0, 60, 1, 1},
                          Rect{0, 1, 1, 60}, Rect{0xFFFFFFFF, 0, 2, 1}})
        EXPECT_EQ(thrownBy([&] { d->render(px.data(), 240, Photometric::RGB, 8, &r); }).code, 7)
            << r.x << "," << r.y << " " << r.w << "x" << r.h;
    // An image smaller than the subsample has no pixel to show.
    auto tiny = decodeAll(djvuChunks(fixture("c1x1.djvu")));
    expectThrow([&] { tiny->render(px.data(), 3, Photometric::RGB, 2, nullptr); }, 7, compose,
                "Invalid IW44 image (0,0) 0x0 out of 0x0!");

    const std::string render = "Vantorix::DjVu::IW44::IW44DecoderImpl::render";
    uint8_t small[16] = {};
    expectThrow([&] { IW44Decoder::create()->render(small, 3, Photometric::RGB, 1, nullptr); }, 9, render,
                "There are no decoded image yet.");
    for (Photometric p : {Photometric::Bytes1, Photometric::Bytes4, Photometric(8)})
        expectThrow([&] { tiny->render(small, 3, p, 1, nullptr); }, 7, render, "Unknown photometric!");
    for (uint8_t v : small) EXPECT_EQ(v, 0) << "nothing is written before the checks";
}

} // namespace
