// Bitmaps kept as runs: the runs against the bitmap's own pixels, when runs are refused, and the
// shapes that hold them.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "djv_jb2runs.h"
#include "jb2_test_util.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;
using jb2test::bitmapOf;
using jb2test::pixelsOf;

namespace {

// Rows of long runs (the kind that pays), each run's colour kept with probability 1 - 1/period.
ShapeBitmap runsBitmap(std::mt19937& rng, uint32_t w, uint32_t h, uint32_t period)
{
    std::vector<uint8_t> px(size_t(w) * h);
    for (uint32_t y = 0; y < h; ++y) {
        uint8_t v = rng() % 2;
        for (uint32_t x = 0; x < w; ++x) {
            if (rng() % period == 0) v ^= 1;
            px[size_t(y) * w + x] = v;
        }
    }
    return bitmapOf(w, h, px);
}

} // namespace

TEST(ShapeRuns, RunsAreTheBitmapsRowsWithinAnyColumns)
{
    std::mt19937 rng(5);
    int made = 0;
    for (uint32_t w : {200u, 256u, 300u, 1000u, 4096u}) {
        const uint32_t h = 1 + (ShapeRuns::kMinBytes * 8 + w - 1) / w + rng() % 40;
        const ShapeBitmap bitmap = runsBitmap(rng, w, h, 200);
        ShapeRuns runs;
        ASSERT_TRUE(ShapeRuns::make(bitmap, runs)) << w;
        ++made;
        EXPECT_LE(runs.getBytes() * 2, uint64_t(bitmap.getRowBytes()) * h);
        EXPECT_EQ(pixelsOf(runs.toBitmap()), pixelsOf(bitmap)) << w;
        for (int k = 0; k < 50; ++k) {
            const uint32_t y = rng() % h, from = rng() % w, to = from + 1 + rng() % (w - from);
            std::vector<uint8_t> got(w), want(w);
            runs.forEachRun(y, from, to, [&](uint32_t b, uint32_t e) {
                ASSERT_LT(b, e);
                for (uint32_t x = b; x < e; ++x) got[x] = 1;
            });
            for (uint32_t x = from; x < to; ++x) want[x] = bitmap.getPixel(x, y);
            ASSERT_EQ(got, want) << w << " row " << y << " [" << from << ", " << to << ")";
        }
    }
    EXPECT_EQ(made, 5);
}

TEST(ShapeRuns, RefusedWhenTheyDoNotPay)
{
    std::mt19937 rng(6);
    ShapeRuns runs;
    EXPECT_FALSE(ShapeRuns::make(runsBitmap(rng, 500, 60, 2), runs));  // noise
    EXPECT_FALSE(ShapeRuns::make(runsBitmap(rng, 64, 100, 200), runs)); // under kMinBytes
    EXPECT_FALSE(ShapeRuns::make(runsBitmap(rng, 8, 2000, 200), runs)); // the row starts alone cost more
    EXPECT_FALSE(ShapeRuns::make(ShapeBitmap(70000, 1), runs));        // wider than a run column
    EXPECT_TRUE(ShapeRuns::make(ShapeBitmap(8000, 2), runs));          // white
    EXPECT_EQ(pixelsOf(runs.toBitmap()), pixelsOf(ShapeBitmap(8000, 2)));
}

TEST(ShapeRuns, CompactShapesAnswerAsBeforeUntilChanged)
{
    std::mt19937 rng(7);
    const ShapeBitmap bitmap = runsBitmap(rng, 400, 50, 200), other = runsBitmap(rng, 10, 10, 3);
    AutoPtr<Shape> shape = Shape::create(bitmap, 3, 4, Normal);
    AutoPtr<Shape> copy = Shape::createMatched(shape, 9, 9);
    shape->compactBitmap();
    ASSERT_NE(shape->getPixels().runs, nullptr);
    EXPECT_EQ(shape->getPixels().bitmap, nullptr);
    EXPECT_EQ(copy->getPixels().runs, shape->getPixels().runs);
    EXPECT_EQ(shape->getRect(), (Rect{3, 4, 400, 50}));
    EXPECT_EQ(copy->getWidth(), 400u);
    EXPECT_EQ(pixelsOf(*copy->getBitmap()), pixelsOf(bitmap));
    EXPECT_EQ(shape->getBitmap(), copy->getBitmap()); // unpacked once, kept

    shape->replaceBitmap(other);
    EXPECT_EQ(shape->getPixels().runs, nullptr);
    EXPECT_EQ(pixelsOf(*shape->getPixels().bitmap), pixelsOf(other));
    shape->compactBitmap(); // too small to pay
    EXPECT_EQ(shape->getPixels().runs, nullptr);

    AutoPtr<Shape> big = Shape::create(bitmap, 0, 0, Normal);
    big->compactBitmap();
    big->setMatch(shape);
    EXPECT_EQ(big->getPixels().bitmap, shape->getPixels().bitmap);
    EXPECT_EQ(big->getHeight(), 10u);
}
