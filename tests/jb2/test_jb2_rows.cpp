// The row index and the row source: spans against plain pixel loops, clipping, the rules for
// shapes outside the page, and the notes those leave in the trace.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

#include "djv_maskcolourplanes.h"
#include "djv_maskscaling_internal.h"
#include "jb2_test_util.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;
using namespace jb2test;
using _Vtx_Internal_NS_::JB2PageImpl;

namespace {

// Columns [x0, x1) of every row drawn pixel by pixel from the shapes, with the index's rules
// written out plainly: shapes that do not fit between the top and the bottom row are left out.
Image plainDrawing(JB2Page& page, uint32_t x0, uint32_t x1)
{
    Image pic(page.getWidth(), page.getHeight(), 3, 255);
    for (uint32_t i = 0; i < page.getShapes().size(); ++i) {
        const Shape& s = *page.getShapes()[i];
        const ShapeBitmap& bm = *s.getBitmap();
        if (s.getY() >= pic.h || uint64_t(s.getY()) + bm.getHeight() > pic.h) continue;
        for (uint32_t y = 0; y < bm.getHeight(); ++y)
            for (uint32_t x = 0; x < bm.getWidth(); ++x) {
                const int64_t px = int64_t(int32_t(s.getX())) + x;
                if (!bm.getPixel(x, y) || px < int64_t(x0) || px >= int64_t(x1)) continue;
                uint8_t* p = pic.at(uint32_t(px), s.getY() + y);
                p[0] = s.getColor().red, p[1] = s.getColor().green, p[2] = s.getColor().blue;
            }
    }
    return pic;
}

// A w x h page of 30 random shapes and some copies of them: some stick out left or right, some
// lie (partly) above or below. With compact, the shapes are up to 600 x 40, and those whose runs
// pay are kept as runs, as a decoded page keeps its large shapes.
AutoPtr<JB2Page> randomPage(std::mt19937& rng, uint32_t w, uint32_t h, bool compact = false)
{
    AutoPtr<JB2Page> page = JB2Page::create(w, h);
    ShapeArray& shapes = page->getShapesForChange();
    for (int i = 0; i < 30; ++i) {
        const uint32_t sw = 1 + rng() % (compact ? 600 : 90), sh = 1 + rng() % (compact ? 40 : 30);
        const int32_t x = int32_t(rng() % (w + 120)) - 60, y = int32_t(rng() % (h + 40)) - 20;
        std::vector<uint8_t> px(size_t(sw) * sh);
        const unsigned density = rng() % 4 == 0 ? 2 : 50;
        uint8_t run = 0; // compact pages get long runs, which pay as runs
        for (auto& p : px) p = compact ? (run ^= rng() % 150 == 0) : (rng() % 100) < density;
        shapes.append(Shape::create(sw, sh, int32_t(sw), px.data(), uint32_t(x), uint32_t(y), Normal));
        shapes[shapes.size() - 1]->setColor(Color{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0});
        if (compact) shapes[shapes.size() - 1]->compactBitmap();
        if (i % 5 == 4) shapes.append(Shape::createMatched(shapes[shapes.size() - 1], rng() % w, rng() % h));
    }
    return page;
}

// Spans against the plain drawing and packed rows against the spans, over whole rows and
// clipped ones; with compact pages, large shapes kept as runs must draw like their bitmaps.
TEST(JB2RowSource, SpansAndPackedRowsEqualPlainDrawing)
{
    std::mt19937 rng(8);
    _Vtx_Internal_NS_::MaskPackedRow row; // reused: a reset must clear what the previous row set
    int compacted = 0;
    for (bool compact : {false, true})
        for (int round = 0; round < 40; ++round) {
            const uint32_t w = 1 + rng() % (compact ? 700 : 300), h = 1 + rng() % 120;
            AutoPtr<JB2Page> page = randomPage(rng, w, h, compact);
            for (const AutoPtr<Shape>& shape : page->getShapes()) compacted += shape->getPixels().runs != nullptr;
            const uint32_t x0 = round % 2 ? rng() % w : 0, x1 = round % 2 ? x0 + 1 + rng() % (w - x0) : w;
            const Image spans = drawPage(static_cast<JB2PageImpl&>(*page), true, x0, x1);
            ASSERT_EQ(imagingtest::firstDifference(spans, plainDrawing(*page, x0, x1)), "") << compact << " " << round;
            const _Vtx_Internal_NS_::JB2RowSource source = static_cast<JB2PageImpl&>(*page).getRowSource();
            for (uint32_t y = 0; y < h; ++y) {
                row.reset(x0, x1);
                source.packRow(y, x0, x1, row);
                for (uint32_t x = x0; x < x1; ++x)
                    ASSERT_EQ(row.test(x), spans.at(x, y)[0] != 255 || spans.at(x, y)[1] != 255 || spans.at(x, y)[2] != 255)
                        << compact << " " << round << " " << x << "," << y;
            }
        }
    EXPECT_GT(compacted, 50);
}

std::vector<std::string> g_trace;
void captureTrace(const String& message) { g_trace.push_back(message.toStdString()); }

TEST(JB2RowIndex, ShapesOutsideThePageAreLeftOutAndTraced)
{
    g_trace.clear();
    const _Vtx_Internal_NS_::JB2TraceSink old = _Vtx_Internal_NS_::setJB2TraceSink(&captureTrace);
    const uint8_t px[6] = {1, 1, 1, 1, 1, 1};
    AutoPtr<JB2Page> page = JB2Page::create(10, 8);
    ShapeArray& shapes = page->getShapesForChange();
    shapes.append(Shape::create(2, 3, 2, px, 1, 5, Normal));            // rows 5..7: fits exactly
    shapes.append(Shape::create(2, 3, 2, px, 1, 6, Normal));            // reaches row 8
    shapes.append(Shape::create(2, 3, 2, px, 1, 8, Normal));            // starts below
    shapes.append(Shape::create(2, 3, 2, px, 1, uint32_t(-2), Normal)); // starts above
    drawPage(static_cast<JB2PageImpl&>(*page), false);
    _Vtx_Internal_NS_::setJB2TraceSink(old);
    EXPECT_EQ(g_trace, (std::vector<std::string>{"Ignored: Shape 1 has invalid height (h=3)\n",
                                                 "Ignored: Shape 2 has invalid position (y=8)\n",
                                                 "Ignored: Shape 3 has invalid position (y=4294967294)\n"}));
}

TEST(JB2RowIndex, EmptyAndAbsurdPages)
{
    AutoPtr<JB2Page> empty = JB2Page::create(streamOf({}), nullptr);
    EXPECT_FALSE(static_cast<JB2PageImpl&>(*empty).getRowSource().forEachSpan(
        0, 0, 100, [](uint32_t, uint32_t, const Color&) { ADD_FAILURE(); }));
    AutoPtr<JB2Page> page = JB2Page::create(10, 0xFFFFFFFFu);
    expectThrow([&] { static_cast<JB2PageImpl&>(*page).getRowSource(); }, 38,
                "_Vtx_Internal_NS_::JB2PageImpl::buildRowIndex", "JB2Page: the row index would be too large!");
}

} // namespace

// Shapes changed after a first drawing (through the read-only array, or a dictionary shape
// through its dictionary) show their new bitmap, colour and position on the next drawing.
TEST(JB2RowIndex, ShapeChangesAfterADrawingAreDrawn)
{
    const uint8_t block[12] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    const uint8_t dots[12] = {1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0};
    const ShapeBitmap other = Shape::create(4, 3, 4, dots, 0, 0, Normal)->getBitmap()[0];
    const std::vector<std::pair<const char*, std::function<void(JB2Page&, JB2Dictionary&)>>> changes = {
        {"replaceBitmap", [&](JB2Page& p, JB2Dictionary&) { p.getShapes()[0]->replaceBitmap(other); }},
        {"setColor", [](JB2Page& p, JB2Dictionary&) { p.getShapes()[0]->setColor(Color{10, 100, 200, 0}); }},
        {"setMatch", [](JB2Page& p, JB2Dictionary&) { p.getShapes()[0]->setMatch(p.getShapes()[2]); }},
        {"setPosition", [](JB2Page& p, JB2Dictionary&) { p.getShapes()[0]->setPosition(5, 1); }},
        {"dictionary shape", [&](JB2Page&, JB2Dictionary& d) { d.getShapes()[0]->replaceBitmap(other); }},
    };
    for (const auto& [name, change] : changes) {
        AutoPtr<JB2Dictionary> dictionary = JB2Dictionary::create();
        dictionary->getShapesForChange().append(Shape::create(4, 3, 4, block, 0, 0, Normal));
        AutoPtr<JB2Page> page = JB2Page::create(12, 8);
        ShapeArray& shapes = page->getShapesForChange();
        shapes.append(Shape::create(4, 3, 4, block, 1, 1, Normal));
        shapes.append(Shape::createMatched(dictionary->getShapes()[0], 6, 4));
        shapes.append(Shape::create(4, 3, 4, dots, 0, 5, Normal));
        drawPage(static_cast<JB2PageImpl&>(*page), true);
        change(*page, *dictionary);
        Image again = drawPage(static_cast<JB2PageImpl&>(*page), true);
        EXPECT_EQ(imagingtest::firstDifference(again, plainDrawing(*page, 0, 12)), "") << name;
    }
}

namespace {

// Shrinks the page's mask into a rect of a dw x dh picture, optimised or run by run, over a
// grey background, through a small random foreground when fg.
std::vector<uint8_t> shrunkPage(JB2PageImpl& page, uint32_t dw, uint32_t dh, const Rect& rect, Photometric p,
                                uint32_t flags, bool fg, bool runsOnly)
{
    const int bpp = p == Photometric::Gray ? 1 : 3;
    const int32_t stride = int32_t(rect.w) * bpp;
    std::vector<uint8_t> out(size_t(stride) * rect.h, 0x80);
    const uint32_t fgW = 7, fgH = 5;
    std::vector<uint8_t> fgPixels(size_t(fgW) * fgH * bpp);
    for (size_t i = 0; i < fgPixels.size(); ++i) fgPixels[i] = uint8_t(i * 37);
    const _Vtx_Internal_NS_::JB2RowSource source = page.getRowSource();
    _Vtx_Internal_NS_::MaskRowFillerT<_Vtx_Internal_NS_::JB2RowSource> rows(source);
    _Vtx_Internal_NS_::MaskCall call{out.data(), stride, rect, dw, dh, &rows, page.getWidth(), page.getHeight(),
                                     fg ? fgPixels.data() : nullptr, int32_t(fgW) * bpp, fg ? fgW : 0, fg ? fgH : 0,
                                     p, flags, bpp, fg, runsOnly};
    _Vtx_Internal_NS_::shrinkMask(call);
    return out;
}

void paintFromPalette(JB2Page& page, std::mt19937& rng)
{
    const Color palette[4] = {{0, 0, 0, 0}, {200, 30, 10, 0}, {10, 160, 40, 0}, {40, 20, 220, 0}};
    for (const AutoPtr<Shape>& shape : page.getShapes()) shape->setColor(palette[rng() % 4]);
}

} // namespace

// Packed per colour, each set pixel of a row is in the plane of the colour drawn there, later
// shapes over earlier ones.
TEST(JB2RowSource, ColourPlanesHoldTheColoursOfPlainDrawing)
{
    std::mt19937 rng(9);
    _Vtx_Internal_NS_::MaskColourPlanes planes;
    for (bool compact : {false, true})
        for (int round = 0; round < 30; ++round) {
            const uint32_t w = 1 + rng() % (compact ? 700 : 300), h = 1 + rng() % 120;
            AutoPtr<JB2Page> page = randomPage(rng, w, h, compact);
            paintFromPalette(*page, rng);
            const uint32_t x0 = round % 2 ? rng() % w : 0, x1 = round % 2 ? x0 + 1 + rng() % (w - x0) : w;
            const Image plain = plainDrawing(*page, x0, x1);
            const _Vtx_Internal_NS_::JB2RowSource source = static_cast<JB2PageImpl&>(*page).getRowSource();
            for (uint32_t y = 0; y < h; ++y) {
                planes.reset(x0, x1);
                source.packRow(y, x0, x1, planes);
                ASSERT_FALSE(planes.tooMany());
                for (uint32_t x = x0; x < x1; ++x) {
                    const uint8_t* want = plain.at(x, y);
                    uint32_t in = 0;
                    for (uint32_t k = 0; k < planes.size(); ++k) {
                        if (planes[k].empty() || !planes[k].test(x)) continue;
                        ++in;
                        const Color& c = planes.colour(k);
                        ASSERT_TRUE(c.red == want[0] && c.green == want[1] && c.blue == want[2])
                            << compact << " " << round << " " << x << "," << y;
                    }
                    ASSERT_EQ(in, want[0] == 255 && want[1] == 255 && want[2] == 255 ? 0u : 1u)
                        << compact << " " << round << " " << x << "," << y;
                }
            }
        }
}

// Shrinking pages of several colours with overlapping shapes by bit counts per colour gives the
// bytes of the run-by-run sums; with a foreground too. The fixture page has four colours in
// zones that share rows.
TEST(JB2RowSource, ShrinkingColourPlanesGivesTheRunByRunBytes)
{
    std::mt19937 rng(10);
    std::vector<AutoPtr<JB2Page>> pages;
    for (int k = 0; k < 24; ++k) {
        pages.push_back(randomPage(rng, 40 + rng() % 600, 20 + rng() % 300, k % 3 == 2));
        paintFromPalette(*pages.back(), rng);
    }
    pages.push_back(decodeFixture("zones", true));
    for (size_t n = 0; n < pages.size(); ++n) {
        JB2PageImpl& page = static_cast<JB2PageImpl&>(*pages[n]);
        for (int round = 0; round < 6; ++round) {
            const uint32_t dw = 1 + rng() % (page.getWidth() - 1), dh = 1 + rng() % (page.getHeight() - 1);
            const Rect rect = round % 3 ? Rect{0, 0, dw, dh} : imagingtest::randomRect(rng, dw, dh);
            const Photometric p = round % 2 ? Photometric::RGB : Photometric::Gray;
            const uint32_t flags = round % 4 == 1;
            for (bool fg : {false, true})
                ASSERT_EQ(shrunkPage(page, dw, dh, rect, p, flags, fg, false),
                          shrunkPage(page, dw, dh, rect, p, flags, fg, true))
                    << "page " << n << " to " << dw << "x" << dh << " fg " << fg;
        }
    }
}
