// Record decoding: every record type written by the test encoder and read back, the library
// rules shared between dictionary and page, and every decoding error.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "jb2_test_util.h"
#include "jb2_testwriter.h"

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

void expectShape(const Shape& shape, const Bits* bits, int32_t x, int32_t y)
{
    EXPECT_EQ(int32_t(shape.getX()), x);
    EXPECT_EQ(int32_t(shape.getY()), y);
    if (!bits) return;
    const ShapeBitmap* bm = shape.getBitmap();
    ASSERT_EQ(bm->getWidth(), bits->w);
    ASSERT_EQ(bm->getHeight(), bits->h);
    for (uint32_t j = 0; j < bits->h; ++j)
        for (uint32_t i = 0; i < bits->w; ++i) ASSERT_EQ(int(bm->getPixel(i, j)), bits->at(i, j)) << i << "," << j;
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
    w.newMark(1, a, {true, 10, -20});      // library 0
    w.newMark(3, b, {false, 3, 0});        // library 1: image-only marks join too
    w.refine(4, 0, a, a2, {false, 2, 1});  // library 2
    w.refine(6, 1, b, b2, {true, 0, -15}); // library 3
    w.copy(3, {false, 4, 0});
    w.nonMark(c, 150, 60, 200, 100);
    w.requiredDictOrReset(0);       // after the start: number coder reset only
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
    for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(s[i]->getColor(), Color()) << i;

    // Worked by hand from the location rules (page coordinates are 1-based, y up).
    expectShape(*s[0], &a, 9, 20);
    expectShape(*s[1], &b, 16, 23);
    expectShape(*s[2], &a2, 23, 19);
    EXPECT_EQ(s[2]->getReference().get(), s[0].get());
    expectShape(*s[3], &b2, 9, 41);
    EXPECT_EQ(s[3]->getReference().get(), s[1].get());
    // The copy lands its reference's black box where the location says: one column left of it.
    EXPECT_EQ(s[4]->getReference().get(), s[3].get());
    expectShape(*s[4], nullptr, 17, 41);
    EXPECT_EQ(s[4]->getWidth(), b2.w);
    expectShape(*s[5], &c, 150, 60);
    expectShape(*s[6], nullptr, 23, 39);
    EXPECT_EQ(s[7]->getReference().get(), s[6].get());
    // New line from the line's first shape (left 10, bottom 55): top 25, so the box's top row
    // is page row 75.
    const Box boxA = boxOf(a);
    expectShape(*s[7], nullptr, 9 - boxA.left, 75 - boxA.top);
}

TEST(JB2Records, SameLineBottomIsTheMedianOfTheLastThree)
{
    Bits dot(1, 1), bar(3, 2);
    dot.set(0, 0);
    std::fill(bar.px.begin(), bar.px.end(), 1);
    struct Step {
        Where where;
        int32_t x, y;
    } steps[] = {
        {{true, 5, -990}, 4, 990}, // bottom 10 on a 1000-row page
        {{false, 2, 40}, 6, 950},  // bottom 50: median(10, 50, 10) = 10
        {{false, 2, 2}, 8, 988},   // bottom 12: median(10, 50, 12) = 12
        {{false, 2, 50}, 10, 938}, // bottom 62 replaces the oldest: median(62, 50, 12) = 50
        {{false, 2, 0}, 12, 950},  // bottom 50
        {{true, -3, -5}, 1, 995},  // next line from the line's first shape: top 5, bottom 4
    };
    JB2TestWriter w;
    w.startOfImage(1000, 1000);
    for (const Step& step : steps) w.newMark(1, step.x == 1 ? bar : dot, step.where);
    w.end();
    AutoPtr<JB2Page> page = decodePage(w);
    ASSERT_EQ(page->getShapes().size(), 6u);
    for (uint32_t i = 0; i < 6; ++i) expectShape(*page->getShapes()[i], nullptr, steps[i].x, steps[i].y);
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
    expectShape(*ds[2], &g0r, 0, 0);
    expectShape(*ds[3], &g1r, int32_t(ds[3]->getX()), int32_t(ds[3]->getY()));

    JB2TestWriter p;
    p.library = 4;
    p.requiredDictOrReset(4);
    p.startOfImage(300, 200);
    p.copy(1, {true, 20, -30});      // g1 from the dictionary, box left 1
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
    expectShape(*s[0], nullptr, 18, 30);
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

TEST(JB2Records, RefinementsFromAWhiteShapeAndFarOutsideTheirReference)
{
    // A white reference has an empty box; a much larger refinement reads mostly outside it.
    const Bits white(4, 3), small = glyph(3, 2, 9), large = glyph(40, 30, 2);
    JB2TestWriter w;
    w.startOfImage(100, 100);
    w.newMark(1, white, {true, 1, -1});
    w.refine(4, 0, white, small, {false, 1, 0});
    w.refine(4, 1, small, large, {true, 0, -5});
    w.refine(4, 2, large, small, {true, 0, -40});
    w.end();
    AutoPtr<JB2Page> page = decodePage(w);
    const ShapeArray& s = page->getShapes();
    ASSERT_EQ(s.size(), 4u);
    for (uint32_t i = 1; i < 4; ++i) {
        const Bits& want = i == 2 ? large : small;
        EXPECT_EQ(s[i]->getWidth(), want.w);
        expectShape(*s[i], &want, int32_t(s[i]->getX()), int32_t(s[i]->getY()));
    }
}

TEST(JB2Records, EmptyPayloadsAndPagesWithoutStartRecord)
{
    AutoPtr<JB2Page> empty = JB2Page::create(streamOf({}), nullptr);
    EXPECT_EQ(empty->getWidth(), 0u);
    EXPECT_EQ(empty->getHeight(), 0u);
    EXPECT_EQ(empty->getShapes().size(), 0u);
    EXPECT_EQ(JB2Dictionary::create(streamOf({}))->getShapes().size(), 0u);

    // Without a start record the location state starts from zeros: y = 0 - 3 + ... lands above.
    const Bits a = glyph(3, 4, 1);
    JB2TestWriter w;
    w.newMark(1, a, {true, 5, 3});
    w.end();
    AutoPtr<JB2Page> page = decodePage(w);
    EXPECT_EQ(page->getWidth(), 0u);
    ASSERT_EQ(page->getShapes().size(), 1u);
    expectShape(*page->getShapes()[0], &a, 4, -3);
}

// Every decoding error, with the record that names it; sizes from the file fail before any
// allocation.
TEST(JB2Records, Errors)
{
    // Started: a page whose start record (10 x 10) comes first.
    enum Target { Dict, Page, Started, PageOverOneShape };
    struct Case {
        Target target;
        std::function<void(JB2TestWriter&)> write;
        int code;
        const char* function;
        const char* text;
    };
    const Bits a = glyph(3, 3, 1);
    Bits big(1000, 1000);
    big.set(0, 0);
    big.set(999, 999);
    const char* outOfRange = "JB2Decoder: Shape index out of range!";
    const char* mismatch = "JB2Decoder: Shape count mismatch!";
    const Case cases[] = {
        {Dict, [&](JB2TestWriter& w) { w.newMark(1, a); }, 20, "decodeNewMark",
         "JB2Decoder: NewMark found in the dictionary!"},
        {Dict, [&](JB2TestWriter& w) { w.newMark(3, a); }, 20, "decodeNewMark",
         "JB2Decoder: NewMark found in the dictionary!"},
        {Started, [&](JB2TestWriter& w) { w.newMark(2, a); }, 20, "decodeNewMarkLibraryOnly",
         "JB2Decoder: NewMarkLibraryOnly found on page!"},
        // The page check comes before the index, which would fail too.
        {Page, [](JB2TestWriter& w) { w.type(5); }, 20, "decodeMatchedRefineLibraryOnly",
         "JB2Decoder: MatchedRefineLibraryOnly found on page!"},
        {Dict, [](JB2TestWriter& w) { w.type(7); }, 20, "decodeMatchedCopy",
         "JB2Decoder: MatchedCopy found on the dictionary!"},
        {Dict, [](JB2TestWriter& w) { w.type(8); }, 20, "decodeNonMarkData",
         "JB2Decoder: NonMarkData found on the dictionary!"},
        // Only an empty library lets a match index (which then costs no bit) name nothing.
        {Started,
         [](JB2TestWriter& w) {
             w.copy(0, {true, 0, 0});
         },
         20, "decodeMatchedCopy", outOfRange},
        {Started, [](JB2TestWriter& w) { w.type(4); }, 20, "decodeMatchedRefine", outOfRange},
        {Started, [](JB2TestWriter& w) { w.type(6); }, 20, "decodeMatchedRefine", outOfRange},
        {Dict, [](JB2TestWriter& w) { w.type(5); }, 20, "decodeMatchedRefineLibraryOnly", outOfRange},
        // A count without a dictionary; a dictionary counting its own shapes; a wrong count.
        {Page, [](JB2TestWriter& w) { w.requiredDictOrReset(1); }, 20, "decodeRequiredDictOrReset", mismatch},
        {Dict, [&](JB2TestWriter& w) { w.newMark(2, a), w.requiredDictOrReset(2); }, 20, "decodeRequiredDictOrReset",
         mismatch},
        {PageOverOneShape, [](JB2TestWriter& w) { w.requiredDictOrReset(0); }, 20, "decodeRequiredDictOrReset",
         mismatch},
        {Page,
         [](JB2TestWriter& w) {
             w.startOfImage(262142, 262142);
             w.type(1);
             w.number(0, 262142, 262142, RootSymbolWidth);
             w.number(0, 262142, 262142, RootSymbolHeight);
         },
         38, "decodeNewMark", "JB2Decoder: shape too large!"},
        // Size differences that make a refinement negative.
        {Started,
         [&](JB2TestWriter& w) {
             w.newMark(1, a);
             w.type(4);
             w.number(0, 0, 0, RootMatchIndex);
             w.number(-262143, 262142, -100, RootRefineWidth);
             w.number(-262143, 262142, 0, RootRefineHeight);
         },
         20, "decodeMatchedRefine", "JB2Decoder: negative shape size!"},
        // Copies of a large shape over and over: capped by the placed area.
        {Page,
         [&](JB2TestWriter& w) {
             w.startOfImage(1000, 1000);
             w.newMark(1, big);
             for (int i = 0; i < 9000; ++i) w.copy(0, {false, -1000, 0});
         },
         38, "decodeMatchedCopy", "JB2Decoder: the image places too many pixels!"},
    };
    AutoPtr<JB2Dictionary> oneShape = JB2Dictionary::create();
    oneShape->getShapesForChange().append(Shape::create(a.w, a.h, int32_t(a.w), a.px.data(), 0, 0, Normal));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        JB2TestWriter w;
        w.dictionary = c.target == Dict;
        if (c.target == Started) w.startOfImage(10, 10);
        c.write(w);
        const std::vector<uint8_t> bytes = w.finish();
        expectThrow(
            [&] {
                if (c.target == Dict)
                    JB2Dictionary::create(streamOf(bytes));
                else
                    JB2Page::create(streamOf(bytes), c.target == PageOverOneShape ? oneShape : nullptr);
            },
            c.code, std::string("_Vtx_Internal_NS_::JB2Decompressor::") + c.function, c.text);
    }
}

} // namespace
