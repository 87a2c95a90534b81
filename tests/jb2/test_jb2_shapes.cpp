// Shapes, their bitmaps and the bit helpers behind them.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "djv_jb2shapeimpls.h"
#include "jb2_test_util.h"
#include "jb2_testwriter.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace jb2test;

namespace {

// Random bitmaps, white ones among them, against a plain scan.
TEST(JB2BoundingBox, EqualsAPlainScan)
{
    EXPECT_EQ(computeBoundingBox(ShapeBitmap(0, 0)), (BoundingBox{0, 0, 0, 0}));
    std::mt19937 rng(1);
    for (int i = 0; i < 300; ++i) {
        Bits b(1 + rng() % 70, 1 + rng() % 20);
        for (auto& p : b.px) p = (rng() % 100) < (i % 3 == 0 ? 1u : 10u);
        int32_t left = int32_t(b.w), right = -1, top = int32_t(b.h), bottom = -1;
        for (uint32_t y = 0; y < b.h; ++y)
            for (uint32_t x = 0; x < b.w; ++x)
                if (b.at(x, y)) {
                    left = std::min(left, int32_t(x)), right = std::max(right, int32_t(x));
                    top = std::min(top, int32_t(y)), bottom = int32_t(y);
                }
        const int32_t width = right < 0 ? 0 : right - left + 1, height = right < 0 ? 0 : bottom - top + 1;
        EXPECT_EQ(computeBoundingBox(bitmapOf(b.w, b.h, b.px)), (BoundingBox{left, top, width, height}));
    }
}

TEST(JB2Shape, FactoriesAndChanges)
{
    // Non-zero bytes are black; a negative stride walks a bottom-up buffer.
    const uint8_t rows[2][3] = {{0, 6, 0}, {255, 0, 1}};
    AutoPtr<Shape> up = Shape::create(3, 2, 3, &rows[0][0], 7, 9, NonMark);
    EXPECT_EQ(up->getBitmap()->getRow(0)[0], 0x40);
    EXPECT_EQ(Shape::create(3, 2, -3, &rows[1][0], 0, 0, Normal)->getBitmap()->getRow(0)[0], 0xA0);

    // A match takes its reference's size, and keeps the reference alive past the caller's pointer.
    AutoPtr<Shape> refined = Shape::createRefined(up, *up->getBitmap(), 3, 4);
    AutoPtr<Shape> s = Shape::create(1, 1, 1, &rows[0][0], 5, 6, Normal);
    s->setMatch(refined);
    EXPECT_EQ(s->getType(), Matched);
    EXPECT_EQ(s->getRect(), (Rect{5, 6, 3, 2}));
    refined = nullptr;
    EXPECT_EQ(s->getBitmap()->getRow(1)[0], 0xA0);
}

TEST(JB2Shape, FactoryAndChangeErrors)
{
    const uint8_t px[1] = {1};
    AutoPtr<Shape> normal = Shape::create(1, 1, 1, px, 0, 0, Normal);
    AutoPtr<Shape> matched = Shape::createMatched(normal, 0, 0);
    const std::string create = "Vantorix::DjVu::JB2::Shape::create", impl = "Vantorix::DjVu::JB2::ShapeImpl::";
    const char* onlyNormal = "This function si only for Normal and NonMark Shape!";
    const char* notMatched = "Refinement target should not be matched shape!";
    const struct {
        std::function<void()> call;
        std::string function;
        const char* text;
    } cases[] = {
        {[&] { Shape::create(1, 1, 1, px, 0, 0, Matched); }, create, onlyNormal},
        {[&] { Shape::create(ShapeBitmap(1, 1), 0, 0, Refined); }, create, onlyNormal},
        {[&] { Shape::createMatched(matched, 0, 0); }, create, notMatched},
        {[&] { Shape::createRefined(nullptr, ShapeBitmap(1, 1), 0, 0); }, create, notMatched},
        {[&] { Shape::create(1, 1, 1, px, 0, 0, Normal)->setRefinement(matched); }, impl + "setRefinement", notMatched},
        {[&] { Shape::create(1, 1, 1, px, 0, 0, Normal)->setMatch(nullptr); }, impl + "setMatch", notMatched},
        {[&] { matched->setRefinement(normal); }, impl + "setRefinement", "Could not refine due to lack of bitmap!"},
        {[&] { matched->setMatch(normal); }, impl + "setMatch", "Could not match due to lack of bitmap!"},
        {[&] { matched->replaceBitmap(ShapeBitmap(2, 2)); }, impl + "replaceBitmap", "Could not replace the bitmap"},
    };
    for (const auto& c : cases) expectThrow(c.call, 26, c.function, c.text);
}

} // namespace
