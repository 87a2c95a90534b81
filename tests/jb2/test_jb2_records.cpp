// Record decoding: every record type written by the test encoder and read back, the library
// rules shared between dictionary and page, and every decoding error.
#include <gtest/gtest.h>

#include "djv_jb2.h"
#include "jb2_testwriter.h"
#include "jb2_test_util.h"
#include "vtx_exception.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;
using namespace jb2test;

namespace {

Bits glyph(uint32_t w, uint32_t h, uint32_t seed)
{
    Bits b(w, h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) b.set(x, y, ((x * 7 + y * 3 + seed) % 5) < 2);
    return b;
}

// Same picture with a white first column (its box starts at left 1).
Bits withWhiteColumn(const Bits& b)
{
    Bits out(b.w + 1, b.h);
    for (uint32_t y = 0; y < b.h; ++y)
        for (uint32_t x = 0; x < b.w; ++x) out.set(x + 1, y, b.at(x, y));
    return out;
}

void expectBitmap(const Shape& shape, const Bits& bits)
{
    const ShapeBitmap* bm = shape.getBitmap();
    ASSERT_EQ(bm->getWidth(), bits.w);
    ASSERT_EQ(bm->getHeight(), bits.h);
    for (uint32_t y = 0; y < bits.h; ++y)
        for (uint32_t x = 0; x < bits.w; ++x) ASSERT_EQ(int(bm->getPixel(x, y)), bits.at(x, y)) << x << "," << y;
}

void expectAt(const Shape& shape, int32_t x, int32_t y)
{
    EXPECT_EQ(int32_t(shape.getX()), x);
    EXPECT_EQ(int32_t(shape.getY()), y);
}

AutoPtr<JB2Page> decodePage(JB2TestWriter& w, const AutoPtr<JB2Dictionary>& dict = nullptr)
{
    return JB2Page::create(streamOf(w.finish()), dict);
}

TEST(JB2Records, EveryPageRecordTypeRoundTrips)
{
    const Bits a = glyph(5, 7, 0), b = glyph(6, 4, 1), a2 = glyph(6, 7, 2), c = glyph(9, 3, 3);
    const Bits b2 = withWhiteColumn(glyph(5, 5, 4)); // box (1, 0, 5, 5)
    JB2TestWriter w;
    w.startOfImage(200, 100);
    w.comment({1, 2, 3, 250});
    w.newMark(1, a, {true, 10, -20});    // library 0
    w.newMark(3, b, {false, 3, 0});      // library 1: image-only marks join too
    w.refine(4, 0, a, a2, {false, 2, 1}); // library 2
    w.refine(6, 1, b, b2, {true, 0, -15}); // library 3
    w.copy(3, {false, 4, 0});
    w.nonMark(c, 150, 60, 200, 100);
    w.requiredDictOrReset(0); // after the start: number coder reset only
    w.newMark(1, a, {false, 1, 0}); // library 4
    w.copy(4, {true, 0, -30});
    w.end();
    AutoPtr<JB2Page> page = decodePage(w);

    EXPECT_EQ(page->getWidth(), 200u);
    EXPECT_EQ(page->getHeight(), 100u);
    const ShapeArray& s = page->getShapes();
    ASSERT_EQ(s.size(), 8u);
    const ShapeType types[] = {Normal, Normal, Refined, Refined, Matched, NonMark, Normal, Matched};
    for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(s[i]->getType(), types[i]) << i;

    // Worked by hand from the location rules (page coordinates are 1-based, y up).
    expectBitmap(*s[0], a);
    expectAt(*s[0], 9, 20);
    expectBitmap(*s[1], b);
    expectAt(*s[1], 16, 23);
    expectBitmap(*s[2], a2);
    expectAt(*s[2], 23, 19);
    EXPECT_EQ(s[2]->getReference().get(), s[0].get());
    expectBitmap(*s[3], b2);
    expectAt(*s[3], 9, 41);
    EXPECT_EQ(s[3]->getReference().get(), s[1].get());
    // The copy lands its reference's black box where the location says: one column left of it.
    EXPECT_EQ(s[4]->getReference().get(), s[3].get());
    expectAt(*s[4], 17, 41);
    EXPECT_EQ(s[4]->getWidth(), b2.w);
    expectBitmap(*s[5], c);
    expectAt(*s[5], 150, 60);
    expectAt(*s[6], 23, 39);
    EXPECT_EQ(s[7]->getReference().get(), s[6].get());
    // New line from the line's first shape (left 10, bottom 55): top 25, so the box's top row
    // is page row 75.
    const Box boxA = boxOf(a);
    expectAt(*s[7], 9 - boxA.left, 75 - boxA.top);
    for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(s[i]->getColor(), Color()) << i;
}

TEST(JB2Records, DictionaryShapesServeThePageAsLibraryPartA)
{
    const Bits g0 = glyph(4, 6, 5), g1 = withWhiteColumn(glyph(7, 5, 6)), g0r = glyph(5, 6, 7), g1r = glyph(8, 5, 8);
    JB2TestWriter d;
    d.dictionary = true;
    d.requiredDictOrReset(0); // a dictionary compares with its own shapes so far
    d.startOfImage(0, 0);     // read and ignored in a dictionary
    d.newMark(2, g0);
    d.newMark(2, g1);
    d.refine(5, 0, g0, g0r);
    d.refine(4, 1, g1, g1r, {true, 0, 0});
    d.requiredDictOrReset(4);
    d.end();
    AutoPtr<JB2Dictionary> dict = JB2Dictionary::create(streamOf(d.finish()));
    const ShapeArray& ds = dict->getShapes();
    ASSERT_EQ(ds.size(), 4u);
    EXPECT_EQ(ds[2]->getType(), Refined);
    EXPECT_EQ(ds[2]->getReference().get(), ds[0].get());
    expectBitmap(*ds[2], g0r);
    expectAt(*ds[2], 0, 0);
    expectBitmap(*ds[3], g1r);

    JB2TestWriter p;
    p.library = 4;
    p.requiredDictOrReset(4);
    p.startOfImage(300, 200);
    p.copy(1, {true, 20, -30}); // g1 from the dictionary, box left 1
    p.newMark(1, g0, {false, 2, 0}); // library 4 (part B)
    p.refine(4, 2, g0r, g0, {false, 2, 0});
    p.copy(4, {false, 2, 0});
    p.end();
    AutoPtr<JB2Page> page = decodePage(p, dict);
    const ShapeArray& s = page->getShapes();
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[0]->getReference().get(), ds[1].get());
    // Box 5 wide at column 20 (x 19) whose left edge is the bitmap's second column; top row
    // 170 from the bottom, so 30 from the top.
    expectAt(*s[0], 18, 30);
    EXPECT_EQ(s[2]->getReference().get(), ds[2].get());
    EXPECT_EQ(s[3]->getReference().get(), s[1].get());
    EXPECT_EQ(page->getDictionary().get(), dict.get());
}

TEST(JB2Records, DictionaryMatchesAndNonMarksCountButAreNoLibraryEntries)
{
    const Bits g0 = glyph(4, 6, 1), g1 = glyph(6, 6, 2);
    AutoPtr<JB2Dictionary> dict = JB2Dictionary::create();
    ShapeArray& ds = dict->getShapesForChange();
    ds.append(Shape::create(g0.w, g0.h, int32_t(g0.w), g0.px.data(), 0, 0, Normal));
    ds.append(Shape::create(g1.w, g1.h, int32_t(g1.w), g1.px.data(), 0, 0, NonMark));
    ds.append(Shape::createMatched(ds[0], 0, 0));
    ds.append(Shape::createRefined(ds[0], g1.w, g1.h, int32_t(g1.w), g1.px.data(), 0, 0));

    JB2TestWriter p;
    p.library = 2; // shapes 0 and 3 only
    p.requiredDictOrReset(4);
    p.startOfImage(50, 50);
    p.copy(1, {true, 1, -1});
    p.end();
    AutoPtr<JB2Page> page = decodePage(p, dict);
    ASSERT_EQ(page->getShapes().size(), 1u);
    EXPECT_EQ(page->getShapes()[0]->getReference().get(), ds[3].get());
}

TEST(JB2Records, RefinementOfAWhiteShapeStartsFromAnEmptyBox)
{
    const Bits white(4, 3), grown = glyph(3, 2, 9);
    JB2TestWriter w;
    w.startOfImage(20, 20);
    w.newMark(1, white, {true, 1, -1});
    w.refine(4, 0, white, grown, {false, 1, 0}); // differences 3 and 2 over a 0 x 0 box
    w.end();
    AutoPtr<JB2Page> page = decodePage(w);
    ASSERT_EQ(page->getShapes().size(), 2u);
    expectBitmap(*page->getShapes()[1], grown);
}

TEST(JB2Records, RefinementReachesFarOutsideItsReference)
{
    // A much larger refinement: most of the template reads fall outside the reference.
    const Bits small = glyph(3, 3, 1), large = glyph(40, 30, 2);
    JB2TestWriter w;
    w.startOfImage(100, 100);
    w.newMark(1, small, {true, 1, -1});
    w.refine(4, 0, small, large, {true, 0, -5});
    w.refine(4, 1, large, small, {true, 0, -40});
    w.end();
    AutoPtr<JB2Page> page = decodePage(w);
    ASSERT_EQ(page->getShapes().size(), 3u);
    expectBitmap(*page->getShapes()[1], large);
    expectBitmap(*page->getShapes()[2], small);
}

TEST(JB2Records, EmptyPayloadGivesAnEmptyPage)
{
    AutoPtr<JB2Page> page = JB2Page::create(streamOf({}), nullptr);
    EXPECT_EQ(page->getWidth(), 0u);
    EXPECT_EQ(page->getHeight(), 0u);
    EXPECT_EQ(page->getShapes().size(), 0u);
    EXPECT_EQ(JB2Dictionary::create(streamOf({}))->getShapes().size(), 0u);
}

TEST(JB2Records, PageWithoutStartRecordUsesTheZeroedState)
{
    const Bits a = glyph(3, 4, 1);
    JB2TestWriter w;
    w.newMark(1, a, {true, 5, 3});
    w.end();
    AutoPtr<JB2Page> page = decodePage(w);
    EXPECT_EQ(page->getWidth(), 0u);
    ASSERT_EQ(page->getShapes().size(), 1u);
    expectAt(*page->getShapes()[0], 4, -3);
}

TEST(JB2Records, ErrorsNameTheirRecord)
{
    const std::string fn = "_Vtx_Internal_NS_::JB2Decompressor::";
    const Bits a = glyph(3, 3, 1);
    auto dictionary = [](JB2TestWriter& w) { JB2Dictionary::create(streamOf(w.finish())); };
    auto page = [](JB2TestWriter& w) { JB2Page::create(streamOf(w.finish()), nullptr); };
    {
        JB2TestWriter w;
        w.newMark(1, a);
        expectThrow([&] { dictionary(w); }, 20, fn + "decodeNewMark", "JB2Decoder: NewMark found in the dictionary!");
    }
    {
        JB2TestWriter w;
        w.newMark(3, a);
        expectThrow([&] { dictionary(w); }, 20, fn + "decodeNewMark", "JB2Decoder: NewMark found in the dictionary!");
    }
    {
        JB2TestWriter w;
        w.startOfImage(10, 10);
        w.newMark(2, a);
        expectThrow([&] { page(w); }, 20, fn + "decodeNewMarkLibraryOnly",
                    "JB2Decoder: NewMarkLibraryOnly found on page!");
    }
    {
        JB2TestWriter w; // the page check comes before the index, which would fail too
        w.type(5);
        expectThrow([&] { page(w); }, 20, fn + "decodeMatchedRefineLibraryOnly",
                    "JB2Decoder: MatchedRefineLibraryOnly found on page!");
    }
    {
        JB2TestWriter w;
        w.type(7);
        expectThrow([&] { dictionary(w); }, 20, fn + "decodeMatchedCopy",
                    "JB2Decoder: MatchedCopy found on the dictionary!");
    }
    {
        JB2TestWriter w;
        w.type(8);
        expectThrow([&] { dictionary(w); }, 20, fn + "decodeNonMarkData",
                    "JB2Decoder: NonMarkData found on the dictionary!");
    }
    {
        JB2TestWriter w; // empty library: the index costs no bit and names nothing
        w.startOfImage(10, 10);
        w.copy(0, {true, 0, 0});
        expectThrow([&] { page(w); }, 20, fn + "decodeMatchedCopy", "JB2Decoder: Shape index out of range!");
    }
    // Only an empty library lets a match index name nothing: otherwise its range keeps it in.
    for (int t : {4, 6}) {
        JB2TestWriter w;
        w.startOfImage(10, 10);
        w.type(t);
        expectThrow([&] { page(w); }, 20, fn + "decodeMatchedRefine", "JB2Decoder: Shape index out of range!");
    }
    {
        JB2TestWriter w;
        w.type(5);
        expectThrow([&] { dictionary(w); }, 20, fn + "decodeMatchedRefineLibraryOnly",
                    "JB2Decoder: Shape index out of range!");
    }
    {
        JB2TestWriter w; // a count without a dictionary
        w.requiredDictOrReset(1);
        expectThrow([&] { page(w); }, 20, fn + "decodeRequiredDictOrReset", "JB2Decoder: Shape count mismatch!");
    }
    {
        JB2TestWriter w; // a dictionary counts its own shapes so far
        w.newMark(2, a);
        w.requiredDictOrReset(2);
        expectThrow([&] { dictionary(w); }, 20, fn + "decodeRequiredDictOrReset", "JB2Decoder: Shape count mismatch!");
    }
    {
        JB2TestWriter d;
        d.dictionary = true;
        d.newMark(2, a);
        d.end();
        AutoPtr<JB2Dictionary> dict = JB2Dictionary::create(streamOf(d.finish()));
        JB2TestWriter w;
        w.requiredDictOrReset(0);
        expectThrow([&] { JB2Page::create(streamOf(w.finish()), dict); }, 20, fn + "decodeRequiredDictOrReset",
                    "JB2Decoder: Shape count mismatch!");
    }
}

TEST(JB2Records, HostileSizesFailBeforeAllocating)
{
    const std::string fn = "_Vtx_Internal_NS_::JB2Decompressor::";
    {
        JB2TestWriter w;
        w.startOfImage(262142, 262142);
        w.type(1);
        w.number(0, 262142, 262142, RootSymbolWidth);
        w.number(0, 262142, 262142, RootSymbolHeight);
        expectThrow([&] { decodePage(w); }, 38, fn + "decodeNewMark", "JB2Decoder: shape too large!");
    }
    {
        JB2TestWriter w; // a refinement whose size differences make it negative
        const Bits a = glyph(3, 3, 1);
        w.startOfImage(10, 10);
        w.newMark(1, a);
        w.type(4);
        w.number(0, 0, 0, RootMatchIndex);
        w.number(-262143, 262142, -100, RootRefineWidth);
        w.number(-262143, 262142, 0, RootRefineHeight);
        expectThrow([&] { decodePage(w); }, 20, fn + "decodeMatchedRefine", "JB2Decoder: negative shape size!");
    }
    {
        JB2TestWriter w; // copies of a large shape over and over: capped by the placed area
        Bits big(1000, 1000);
        big.set(0, 0);
        big.set(999, 999);
        w.startOfImage(1000, 1000);
        w.newMark(1, big);
        for (int i = 0; i < 9000; ++i) w.copy(0, {false, -1000, 0});
        expectThrow([&] { decodePage(w); }, 38, fn + "decodeMatchedCopy",
                    "JB2Decoder: the image places too many pixels!");
    }
}

} // namespace
