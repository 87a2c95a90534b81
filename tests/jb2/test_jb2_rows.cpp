// The row index and the row source: spans against plain pixel loops, clipping, the rules for
// shapes outside the page, and the notes those leave in the trace.
#include <gtest/gtest.h>

#include <random>

#include "djv_jb2.h"
#include "djv_jb2decoder.h"
#include "djv_jb2rows.h"
#include "jb2_test_util.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;
using namespace jb2test;
using _Vtx_Internal_NS_::JB2PageImpl;

namespace {

std::vector<std::string> g_trace;
void captureTrace(const String& message) { g_trace.push_back(message.toStdString()); }

struct TraceCapture {
    TraceCapture()
    {
        g_trace.clear();
        old = _Vtx_Internal_NS_::setJB2TraceSink(&captureTrace);
    }
    ~TraceCapture() { _Vtx_Internal_NS_::setJB2TraceSink(old); }
    _Vtx_Internal_NS_::JB2TraceSink old;
};

AutoPtr<Shape> randomShape(std::mt19937& rng, uint32_t w, uint32_t h, int32_t x, int32_t y)
{
    std::vector<uint8_t> px(size_t(w) * h);
    const unsigned density = rng() % 4 == 0 ? 2 : 50;
    for (auto& p : px) p = (rng() % 100) < density;
    AutoPtr<Shape> s = Shape::create(w, h, int32_t(w), px.data(), uint32_t(x), uint32_t(y), Normal);
    s->setColor(Color{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0});
    return s;
}

// The page drawn pixel by pixel from its shapes, with the index's rules written out plainly.
Image plainDraw(JB2Page& page, uint32_t x0, uint32_t x1)
{
    Image pic(page.getWidth(), page.getHeight(), 3, 255);
    for (uint32_t i = 0; i < page.getShapes().size(); ++i) {
        const Shape& s = *page.getShapes()[i];
        const ShapeBitmap& bm = *s.getBitmap();
        if (s.getY() >= pic.h || uint64_t(s.getY()) + bm.getHeight() > pic.h) continue;
        for (uint32_t y = 0; y < bm.getHeight(); ++y)
            for (uint32_t x = 0; x < bm.getWidth(); ++x) {
                int64_t px = int64_t(int32_t(s.getX())) + x;
                if (!bm.getPixel(x, y) || px < int64_t(x0) || px >= int64_t(x1)) continue;
                uint8_t* p = pic.row(s.getY() + y) + 3 * px;
                p[0] = s.getColor().red;
                p[1] = s.getColor().green;
                p[2] = s.getColor().blue;
            }
    }
    return pic;
}

Image spanDraw(JB2PageImpl& page, uint32_t x0, uint32_t x1, uint32_t& setRows)
{
    Image pic(page.getWidth(), page.getHeight(), 3, 255);
    _Vtx_Internal_NS_::JB2RowSource source = page.getRowSource();
    setRows = 0;
    for (uint32_t y = 0; y < pic.h; ++y) {
        bool any = source.forEachSpan(y, x0, x1, [&](uint32_t b, uint32_t e, const Color& c) {
            EXPECT_LT(b, e);
            EXPECT_GE(b, x0);
            EXPECT_LE(e, x1);
            for (uint32_t x = b; x < e; ++x) {
                pic.row(y)[3 * x] = c.red;
                pic.row(y)[3 * x + 1] = c.green;
                pic.row(y)[3 * x + 2] = c.blue;
            }
        });
        setRows += any;
    }
    return pic;
}

TEST(JB2Runs, EqualAPlainScanOfRandomRows)
{
    std::mt19937 rng(4);
    for (int i = 0; i < 3000; ++i) {
        const uint32_t width = 1 + rng() % 300, rowBytes = (width + 7) / 8;
        // Whatever follows the row (the next row of a bitmap) must not leak into its runs.
        std::vector<uint8_t> row(rowBytes + 8, 0);
        for (uint32_t k = rowBytes; k < row.size(); ++k) row[k] = uint8_t(rng() | 0x80);
        const unsigned mode = rng() % 3; // sparse dots, long runs, noise
        for (uint32_t x = 0; x < width; ++x) {
            bool on = mode == 0 ? rng() % 40 == 0 : mode == 1 ? (x / (1 + rng() % 3 + 20)) % 2 : rng() % 2;
            if (on) row[x / 8] |= uint8_t(0x80 >> (x % 8));
        }
        const uint32_t first = rng() % (width + 1), end = first + rng() % (width - first + 1);
        std::vector<std::pair<uint32_t, uint32_t>> runs, plain;
        bool any = _Vtx_Internal_NS_::forEachRun(row.data(), rowBytes, first, end,
                                                 [&](uint32_t b, uint32_t e) { runs.emplace_back(b, e); });
        for (uint32_t x = first; x < end;) {
            if (!((row[x / 8] >> (7 - x % 8)) & 1)) {
                ++x;
                continue;
            }
            uint32_t b = x;
            while (x < end && ((row[x / 8] >> (7 - x % 8)) & 1)) ++x;
            plain.emplace_back(b, x);
        }
        ASSERT_EQ(runs, plain) << "width " << width << " [" << first << ", " << end << ")";
        ASSERT_EQ(any, !plain.empty());
    }
}

TEST(JB2RowSource, SpansEqualPlainDrawingWithClipping)
{
    std::mt19937 rng(8);
    for (int round = 0; round < 40; ++round) {
        const uint32_t w = 1 + rng() % 200, h = 1 + rng() % 120;
        AutoPtr<JB2Page> page = JB2Page::create(w, h);
        ShapeArray& shapes = page->getShapesForChange();
        for (int i = 0; i < 30; ++i) {
            // Some shapes stick out left or right, some lie (partly) above or below.
            uint32_t sw = 1 + rng() % 90, sh = 1 + rng() % 30;
            int32_t x = int32_t(rng() % (w + 120)) - 60, y = int32_t(rng() % (h + 40)) - 20;
            shapes.append(randomShape(rng, sw, sh, x, y));
            if (i % 5 == 4) shapes.append(Shape::createMatched(shapes[shapes.size() - 1], rng() % w, rng() % h));
        }
        uint32_t x0 = 0, x1 = w;
        if (round % 2) {
            x0 = rng() % w;
            x1 = x0 + 1 + rng() % (w - x0);
        }
        uint32_t setRows = 0;
        Image spans = spanDraw(static_cast<JB2PageImpl&>(*page), x0, x1, setRows);
        Image plain = plainDraw(*page, x0, x1);
        ASSERT_EQ(firstDifference(spans, plain), "") << "round " << round;
        EXPECT_EQ(spanDraw(static_cast<JB2PageImpl&>(*page), x0, x0, setRows).px,
                  std::vector<uint8_t>(size_t(w) * h * 3, 255)); // empty column range
        EXPECT_EQ(setRows, 0u);
    }
}

TEST(JB2RowIndex, ShapesOutsideThePageAreLeftOutAndTraced)
{
    TraceCapture capture;
    const uint8_t px[6] = {1, 1, 1, 1, 1, 1};
    AutoPtr<JB2Page> page = JB2Page::create(10, 8);
    ShapeArray& shapes = page->getShapesForChange();
    shapes.append(Shape::create(2, 3, 2, px, 1, 5, Normal));                   // rows 5..7: fits exactly
    shapes.append(Shape::create(2, 3, 2, px, 1, 6, Normal));                   // reaches row 8: left out
    shapes.append(Shape::create(2, 3, 2, px, 1, 8, Normal));                   // starts below
    shapes.append(Shape::create(2, 3, 2, px, 1, uint32_t(-2), Normal));        // starts above
    shapes.append(Shape::create(2, 3, 2, px, uint32_t(-1), 0, Normal));        // half left of the page
    shapes.append(Shape::create(2, 3, 2, px, 9, 0, Normal));                   // half right of it
    auto& impl = static_cast<JB2PageImpl&>(*page);
    Image pic = drawPage(impl, false);
    EXPECT_EQ(g_trace, (std::vector<std::string>{"Ignored: Shape 1 has invalid height (h=3)\n",
                                                 "Ignored: Shape 2 has invalid position (y=8)\n",
                                                 "Ignored: Shape 3 has invalid position (y=4294967294)\n"}));
    std::string rows;
    for (uint32_t y = 0; y < 8; ++y) {
        for (uint32_t x = 0; x < 10; ++x) rows += pic.row(y)[x] ? '#' : '.';
        rows += '/';
    }
    EXPECT_EQ(rows, "#........#/#........#/#........#/........../........../.##......./.##......./.##......./");

    // The index is kept until the shapes change.
    drawPage(impl, false);
    EXPECT_EQ(g_trace.size(), 3u);
    page->getShapesForChange().remove(1, 3);
    drawPage(impl, false);
    EXPECT_EQ(g_trace.size(), 3u);
}

TEST(JB2RowIndex, RefusesAbsurdPagesMadeByHand)
{
    AutoPtr<JB2Page> page = JB2Page::create(10, 0xFFFFFFFFu);
    expectThrow([&] { static_cast<JB2PageImpl&>(*page).getRowSource(); }, 38,
                "_Vtx_Internal_NS_::JB2PageImpl::buildRowIndex", "JB2Page: the row index would be too large!");
}

TEST(JB2RowIndex, EmptyPageDrawsNothing)
{
    AutoPtr<JB2Page> page = JB2Page::create(streamOf({}), nullptr);
    _Vtx_Internal_NS_::JB2RowSource source = static_cast<JB2PageImpl&>(*page).getRowSource();
    EXPECT_FALSE(source.forEachSpan(0, 0, 100, [](uint32_t, uint32_t, const Color&) { ADD_FAILURE(); }));
}

} // namespace
