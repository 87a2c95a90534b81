// The row index and the row source: runs and spans against plain pixel loops, clipping, the
// rules for shapes outside the page, and the notes those leave in the trace.
#include <gtest/gtest.h>

#include <random>

#include "djv_jb2rows.h"
#include "jb2_test_util.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;
using namespace jb2test;
using _Vtx_Internal_NS_::JB2PageImpl;

namespace {

bool bitAt(const uint8_t* row, uint32_t x) { return (row[x / 8] >> (7 - x % 8)) & 1; }

TEST(JB2Runs, EqualAPlainScanOfRandomRows)
{
    std::mt19937 rng(4);
    for (int i = 0; i < 3000; ++i) {
        const uint32_t width = 1 + rng() % 300, rowBytes = (width + 7) / 8;
        // Whatever follows the row (the next row of a bitmap) must not leak into its runs.
        std::vector<uint8_t> row(rowBytes + 8, 0);
        for (uint32_t k = rowBytes; k < row.size(); ++k) row[k] = uint8_t(rng() | 0x80);
        const unsigned mode = rng() % 3; // sparse dots, long runs, noise
        for (uint32_t x = 0; x < width; ++x)
            if (mode == 0 ? rng() % 40 == 0 : mode == 1 ? (x / (1 + rng() % 3 + 20)) % 2 : rng() % 2)
                row[x / 8] |= uint8_t(0x80 >> (x % 8));
        const uint32_t first = rng() % (width + 1), end = first + rng() % (width - first + 1);
        std::vector<std::pair<uint32_t, uint32_t>> runs, plain;
        bool any = _Vtx_Internal_NS_::forEachRun(row.data(), rowBytes, first, end,
                                                 [&](uint32_t b, uint32_t e) { runs.emplace_back(b, e); });
        for (uint32_t x = first; x < end;) {
            if (!bitAt(row.data(), x)) {
                ++x;
                continue;
            }
            const uint32_t b = x;
            while (x < end && bitAt(row.data(), x)) ++x;
            plain.emplace_back(b, x);
        }
        ASSERT_EQ(runs, plain) << "width " << width << " [" << first << ", " << end << ")";
        ASSERT_EQ(any, !plain.empty());
    }
}

// Draws [x0, x1) of every row in colour over white: through the row source, or pixel by pixel
// from the shapes with the index's rules written out plainly (shapes that do not fit between
// the top and the bottom row are left out, columns are clipped).
Image drawColumns(JB2Page& page, uint32_t x0, uint32_t x1, bool plain, uint32_t& setRows)
{
    Image pic(page.getWidth(), page.getHeight(), 3, 255);
    auto paint = [&](uint32_t x, uint32_t y, const Color& c) {
        uint8_t* p = pic.at(x, y);
        p[0] = c.red;
        p[1] = c.green;
        p[2] = c.blue;
    };
    setRows = 0;
    if (plain) {
        for (uint32_t i = 0; i < page.getShapes().size(); ++i) {
            const Shape& s = *page.getShapes()[i];
            const ShapeBitmap& bm = *s.getBitmap();
            if (s.getY() >= pic.h || uint64_t(s.getY()) + bm.getHeight() > pic.h) continue;
            for (uint32_t y = 0; y < bm.getHeight(); ++y)
                for (uint32_t x = 0; x < bm.getWidth(); ++x) {
                    const int64_t px = int64_t(int32_t(s.getX())) + x;
                    if (bm.getPixel(x, y) && px >= int64_t(x0) && px < int64_t(x1))
                        paint(uint32_t(px), s.getY() + y, s.getColor());
                }
        }
        return pic;
    }
    _Vtx_Internal_NS_::JB2RowSource source = static_cast<JB2PageImpl&>(page).getRowSource();
    for (uint32_t y = 0; y < pic.h; ++y)
        setRows += source.forEachSpan(y, x0, x1, [&](uint32_t b, uint32_t e, const Color& c) {
            EXPECT_LT(b, e);
            EXPECT_GE(b, x0);
            EXPECT_LE(e, x1);
            for (uint32_t x = b; x < e; ++x) paint(x, y, c);
        });
    return pic;
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
            const uint32_t sw = 1 + rng() % 90, sh = 1 + rng() % 30;
            const int32_t x = int32_t(rng() % (w + 120)) - 60, y = int32_t(rng() % (h + 40)) - 20;
            std::vector<uint8_t> px(size_t(sw) * sh);
            const unsigned density = rng() % 4 == 0 ? 2 : 50;
            for (auto& p : px) p = (rng() % 100) < density;
            shapes.append(Shape::create(sw, sh, int32_t(sw), px.data(), uint32_t(x), uint32_t(y), Normal));
            shapes[shapes.size() - 1]->setColor(Color{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0});
            if (i % 5 == 4) shapes.append(Shape::createMatched(shapes[shapes.size() - 1], rng() % w, rng() % h));
        }
        uint32_t x0 = 0, x1 = w, setRows = 0;
        if (round % 2) {
            x0 = rng() % w;
            x1 = x0 + 1 + rng() % (w - x0);
        }
        Image spans = drawColumns(*page, x0, x1, false, setRows);
        ASSERT_EQ(imagingtest::firstDifference(spans, drawColumns(*page, x0, x1, true, setRows)), "") << round;
        EXPECT_EQ(drawColumns(*page, x0, x0, false, setRows).px, std::vector<uint8_t>(size_t(w) * h * 3, 255));
        EXPECT_EQ(setRows, 0u); // an empty column range paints nothing
    }
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
    shapes.append(Shape::create(2, 3, 2, px, 1, 6, Normal));            // reaches row 8: left out
    shapes.append(Shape::create(2, 3, 2, px, 1, 8, Normal));            // starts below
    shapes.append(Shape::create(2, 3, 2, px, 1, uint32_t(-2), Normal)); // starts above
    shapes.append(Shape::create(2, 3, 2, px, uint32_t(-1), 0, Normal)); // half left of the page
    shapes.append(Shape::create(2, 3, 2, px, 9, 0, Normal));            // half right of it
    auto& impl = static_cast<JB2PageImpl&>(*page);
    Image pic = drawPage(impl, false);
    const std::vector<std::string> notes = {"Ignored: Shape 1 has invalid height (h=3)\n",
                                            "Ignored: Shape 2 has invalid position (y=8)\n",
                                            "Ignored: Shape 3 has invalid position (y=4294967294)\n"};
    EXPECT_EQ(g_trace, notes);
    std::string rows;
    for (uint32_t y = 0; y < 8; ++y) {
        for (uint32_t x = 0; x < 10; ++x) rows += pic.row(y)[x] ? '#' : '.';
        rows += '/';
    }
    EXPECT_EQ(rows, "#........#/#........#/#........#/........../........../.##......./.##......./.##......./");

    // The index is kept until the shapes change.
    drawPage(impl, false);
    page->getShapesForChange().remove(1, 3);
    drawPage(impl, false);
    EXPECT_EQ(g_trace, notes);
    _Vtx_Internal_NS_::setJB2TraceSink(old);
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
