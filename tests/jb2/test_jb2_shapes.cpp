// Shapes, their bitmaps and the bit helpers behind them.
#include <gtest/gtest.h>

#include <random>

#include "djv_jb2.h"
#include "djv_jb2shapeimpls.h"
#include "jb2_testwriter.h"
#include "jb2_test_util.h"
#include "vtx_exception.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;
using namespace jb2test;

namespace {

ShapeBitmap toBitmap(const Bits& b)
{
    AutoPtr<Shape> s = Shape::create(b.w, b.h, int32_t(b.w), b.px.data(), 0, 0, Normal);
    return *s->getBitmap();
}

Bits randomBits(std::mt19937& rng, uint32_t w, uint32_t h, unsigned density)
{
    Bits b(w, h);
    for (auto& p : b.px) p = (rng() % 100) < density;
    return b;
}

template <class F>
void expectFailure(F&& f, const std::string& function, const std::string& text)
{
    expectThrow(std::forward<F>(f), 26, function, text);
}

TEST(JB2BoundingBox, KnownCases)
{
    EXPECT_EQ(computeBoundingBox(toBitmap(Bits(13, 5))), (BoundingBox{13, 5, 0, 0}));
    EXPECT_EQ(computeBoundingBox(ShapeBitmap(0, 0)), (BoundingBox{0, 0, 0, 0}));
    Bits one(13, 5);
    one.set(9, 3);
    EXPECT_EQ(computeBoundingBox(toBitmap(one)), (BoundingBox{9, 3, 1, 1}));
    Bits corners(16, 4);
    corners.set(0, 1);
    corners.set(15, 2);
    EXPECT_EQ(computeBoundingBox(toBitmap(corners)), (BoundingBox{0, 1, 16, 2}));
    Bits last(17, 1);
    last.set(16, 0);
    EXPECT_EQ(computeBoundingBox(toBitmap(last)), (BoundingBox{16, 0, 1, 1}));
}

TEST(JB2BoundingBox, EqualsAPlainScanOnRandomBitmaps)
{
    std::mt19937 rng(1);
    for (int i = 0; i < 300; ++i) {
        Bits b = randomBits(rng, 1 + rng() % 70, 1 + rng() % 20, i % 3 == 0 ? 1 : 10);
        Box plain = boxOf(b);
        EXPECT_EQ(computeBoundingBox(toBitmap(b)), (BoundingBox{plain.left, plain.top, plain.width, plain.height}));
    }
}

TEST(JB2BitRows, PackAndUnpackEqualPlainLoops)
{
    std::mt19937 rng(2);
    for (int i = 0; i < 500; ++i) {
        uint32_t w = 1 + rng() % 150;
        std::vector<uint8_t> bytes(w + 8, 0);
        for (uint32_t x = 0; x < w; ++x) bytes[x] = rng() & 1;
        std::vector<uint8_t> packed((w + 7) / 8, 0xAA);
        packRow01(bytes.data(), w, packed.data());
        for (uint32_t x = 0; x < w; ++x) ASSERT_EQ((packed[x / 8] >> (7 - x % 8)) & 1, bytes[x]);
        for (uint32_t x = w; x < packed.size() * 8; ++x) ASSERT_EQ((packed[x / 8] >> (7 - x % 8)) & 1, 0);

        uint32_t first = rng() % w, count = rng() % (w - first + 1);
        std::vector<uint8_t> out(count + 1, 7);
        unpackRow01(packed.data(), first, count, out.data());
        for (uint32_t k = 0; k < count; ++k) ASSERT_EQ(out[k], bytes[first + k]);
        EXPECT_EQ(out[count], 7);
    }
}

TEST(JB2Shape, FactoriesPackAndCopy)
{
    // Non-zero bytes are black; a negative stride walks a bottom-up buffer.
    const uint8_t rows[2][3] = {{0, 5, 0}, {255, 0, 1}};
    AutoPtr<Shape> up = Shape::create(3, 2, 3, &rows[0][0], 7, 9, NonMark);
    AutoPtr<Shape> down = Shape::create(3, 2, -3, &rows[1][0], 0, 0, Normal);
    EXPECT_EQ(up->getType(), NonMark);
    EXPECT_EQ(up->getRect(), (Rect{7, 9, 3, 2}));
    EXPECT_EQ(up->getBitmap()->getRow(0)[0], 0x40);
    EXPECT_EQ(up->getBitmap()->getRow(1)[0], 0xA0);
    EXPECT_EQ(down->getBitmap()->getRow(0)[0], 0xA0);
    EXPECT_EQ(up->getColor(), Color());

    ShapeBitmap source = *up->getBitmap();
    AutoPtr<Shape> copied = Shape::create(source, 1, 2, Normal);
    AutoPtr<Shape> refined = Shape::createRefined(copied, source, 3, 4);
    source = ShapeBitmap(1, 1);
    EXPECT_EQ(copied->getWidth(), 3u);
    EXPECT_EQ(refined->getType(), Refined);
    EXPECT_EQ(refined->getReference().get(), copied.get());
    EXPECT_EQ(refined->getBitmap()->getRow(1)[0], 0xA0);

    // A match shows its reference.
    AutoPtr<Shape> matched = Shape::createMatched(refined, 30, 40);
    EXPECT_EQ(matched->getBitmap(), refined->getBitmap());
    EXPECT_EQ(matched->getRect(), (Rect{30, 40, 3, 2}));
    matched->setPosition(1, 2);
    matched->setColor(Color{1, 2, 3, 0});
    EXPECT_EQ(matched->getRect(), (Rect{1, 2, 3, 2}));
    EXPECT_EQ(matched->getColor(), (Color{1, 2, 3, 0}));
}

TEST(JB2Shape, FactoryAndChangeErrors)
{
    const uint8_t px[1] = {1};
    const std::string create = "Vantorix::DjVu::JB2::Shape::create";
    const char* onlyNormal = "This function si only for Normal and NonMark Shape!";
    expectFailure([&] { Shape::create(1, 1, 1, px, 0, 0, Matched); }, create, onlyNormal);
    expectFailure([&] { Shape::create(ShapeBitmap(1, 1), 0, 0, Refined); }, create, onlyNormal);

    AutoPtr<Shape> normal = Shape::create(1, 1, 1, px, 0, 0, Normal);
    AutoPtr<Shape> matched = Shape::createMatched(normal, 0, 0);
    const char* notMatched = "Refinement target should not be matched shape!";
    expectFailure([&] { Shape::createMatched(matched, 0, 0); }, create, notMatched);
    expectFailure([&] { Shape::createRefined(nullptr, ShapeBitmap(1, 1), 0, 0); }, create, notMatched);

    const std::string impl = "Vantorix::DjVu::JB2::ShapeImpl::";
    AutoPtr<Shape> other = Shape::create(1, 1, 1, px, 0, 0, Normal);
    expectFailure([&] { other->setRefinement(matched); }, impl + "setRefinement", notMatched);
    expectFailure([&] { other->setMatch(nullptr); }, impl + "setMatch", notMatched);
    expectFailure([&] { matched->setRefinement(normal); }, impl + "setRefinement",
                  "Could not refine due to lack of bitmap!");
    expectFailure([&] { matched->setMatch(normal); }, impl + "setMatch", "Could not match due to lack of bitmap!");
    expectFailure([&] { matched->replaceBitmap(ShapeBitmap(2, 2)); }, impl + "replaceBitmap",
                  "Could not replace the bitmap");
}

TEST(JB2Shape, RefineMatchAndReplaceChangeTheShape)
{
    const uint8_t px[4] = {1, 0, 0, 1};
    AutoPtr<Shape> base = Shape::create(2, 2, 2, px, 0, 0, Normal);
    AutoPtr<Shape> s = Shape::create(1, 1, 1, px, 5, 6, Normal);
    s->setRefinement(base);
    EXPECT_EQ(s->getType(), Refined);
    EXPECT_EQ(s->getReference().get(), base.get());
    EXPECT_EQ(s->getWidth(), 1u);
    s->replaceBitmap(ShapeBitmap(9, 4));
    EXPECT_EQ(s->getWidth(), 9u);
    s->setMatch(base);
    EXPECT_EQ(s->getType(), Matched);
    EXPECT_EQ(s->getBitmap(), base->getBitmap());
    EXPECT_EQ(s->getRect(), (Rect{5, 6, 2, 2}));
    // The reference is counted: it outlives the caller's pointer.
    ShapeBitmap expected = *base->getBitmap();
    base = nullptr;
    EXPECT_EQ(s->getBitmap()->getBytes()[0], expected.getBytes()[0]);
}

} // namespace
