// Record decoding: page records written by the test encoder and read back, where shapes land,
// the library of a hand-made dictionary, and every decoding error.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <tuple>

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

using Placed = std::vector<std::tuple<int, int32_t, int32_t>>;

// Kind and top-left corner of every shape, in record order.
Placed placed(const JB2ShapeStore& store)
{
    Placed out;
    const ShapeArray& s = store.getShapes();
    for (uint32_t i = 0; i < s.size(); ++i)
        out.emplace_back(int(s[i]->getType()), int32_t(s[i]->getX()), int32_t(s[i]->getY()));
    return out;
}

TEST(JB2Records, PageRecordsLandWhereTheLocationsSay)
{
    const Bits a = glyph(5, 7, 0), c = glyph(9, 3, 3); // a's black box is the whole bitmap
    Bits b(6, 5);                                      // a diagonal: its box starts at column 1
    for (uint32_t y = 0; y < 5; ++y) b.set(1 + y, y);
    JB2TestWriter w;
    w.startOfImage(200, 100);
    w.comment({1, 2, 3, 250});
    w.newMark(1, a, {true, 10, -20}); // library 0
    w.newMark(3, b, {false, 3, 0});   // library 1: image-only marks join too
    w.copy(1, {false, 4, 0});         // b's box goes there, so its bitmap one column further left
    w.nonMark(c, 150, 60, 200, 100);
    w.requiredDictOrReset(0);       // after the start: a number coder reset only
    w.newMark(1, a, {false, 1, 0}); // library 2, after the copy's box (not its bitmap)
    w.copy(2, {true, 0, -30});
    w.end();
    AutoPtr<JB2Page> page = JB2Page::create(streamOf(w.finish()), nullptr);
    // Worked by hand: the format counts from 1 with y upwards, shapes keep top-down corners.
    const Placed want = {{Normal, 9, 20},     {Normal, 16, 22}, {Matched, 24, 22},
                         {NonMark, 150, 60}, {Normal, 30, 20}, {Matched, 9, 56}};
    EXPECT_EQ(placed(*page), want);
    EXPECT_EQ(page->getShapes()[2]->getReference().get(), page->getShapes()[1].get());
    EXPECT_EQ(page->getShapes()[5]->getReference().get(), page->getShapes()[4].get());
}

TEST(JB2Records, SameLineBottomIsTheMedianOfTheLastThree)
{
    Bits dot(1, 1), bar(3, 2);
    dot.set(0, 0);
    std::fill(bar.px.begin(), bar.px.end(), 1);
    const Where where[] = {{true, 5, -990}, {false, 2, 40}, {false, 2, 2},
                           {false, 2, 50},  {false, 2, 0},  {true, -3, -5}};
    JB2TestWriter w;
    w.startOfImage(1000, 1000);
    for (const Where& at : where) w.newMark(1, at.dx < 0 ? bar : dot, at);
    w.end();
    // Bottoms 10; 50 (median of 10, 50, 10 is 10); 12 (median 12); 62 replacing the oldest
    // (median of 62, 50, 12 is 50); 50. The next line starts from the line's first shape.
    const Placed want = {{Normal, 4, 990},  {Normal, 6, 950},  {Normal, 8, 988},
                         {Normal, 10, 938}, {Normal, 12, 950}, {Normal, 1, 995}};
    EXPECT_EQ(placed(*JB2Page::create(streamOf(w.finish()), nullptr)), want);
}

TEST(JB2Records, HandMadeDictionaryMatchesAndNonMarksAreNoLibraryEntries)
{
    const Bits g = glyph(4, 6, 1);
    AutoPtr<JB2Dictionary> dict = JB2Dictionary::create();
    ShapeArray& ds = dict->getShapesForChange();
    ds.append(Shape::create(g.w, g.h, int32_t(g.w), g.px.data(), 0, 0, Normal));
    ds.append(Shape::create(g.w, g.h, int32_t(g.w), g.px.data(), 0, 0, NonMark));
    ds.append(Shape::createMatched(ds[0], 0, 0));
    ds.append(Shape::createRefined(ds[0], g.w, g.h, int32_t(g.w), g.px.data(), 0, 0));

    JB2TestWriter p;
    p.library = 2; // shapes 0 and 3 only
    p.requiredDictOrReset(4);
    p.startOfImage(50, 50);
    p.copy(1, {true, 1, -1});
    p.end();
    AutoPtr<JB2Page> page = JB2Page::create(streamOf(p.finish()), dict);
    ASSERT_EQ(page->getShapes().size(), 1u);
    EXPECT_EQ(page->getShapes()[0]->getReference().get(), ds[3].get());
}

// Every decoding error, with the record that names it; sizes from the file fail before any
// allocation.
TEST(JB2Records, Errors)
{
    // Started: a page whose start record (10 x 10) comes first.
    enum Target { Dict, Page, Started };
    struct Case {
        Target target;
        std::function<void(JB2TestWriter&)> write;
        const char* function;
        const char* text;
        int code = 20;
    };
    const Bits a = glyph(3, 3, 1);
    Bits big(1000, 1000);
    big.set(0, 0);
    big.set(999, 999);
    // A page and the size of one new mark's bitmap, without the bitmap.
    auto squareMark = [](int32_t page, int32_t side) {
        return [=](JB2TestWriter& w) {
            w.startOfImage(page, page);
            w.type(1);
            w.number(0, 262142, side, RootSymbolWidth);
            w.number(0, 262142, side, RootSymbolHeight);
        };
    };
    const char* outOfRange = "JB2Decoder: Shape index out of range!";
    const char* mismatch = "JB2Decoder: Shape count mismatch!";
    const Case cases[] = {
        {Dict, [&](JB2TestWriter& w) { w.newMark(3, a); }, "decodeNewMark",
         "JB2Decoder: NewMark found in the dictionary!"},
        {Started, [&](JB2TestWriter& w) { w.newMark(2, a); }, "decodeNewMarkLibraryOnly",
         "JB2Decoder: NewMarkLibraryOnly found on page!"},
        // The page check comes before the index, which would fail too.
        {Page, [](JB2TestWriter& w) { w.type(5); }, "decodeMatchedRefineLibraryOnly",
         "JB2Decoder: MatchedRefineLibraryOnly found on page!"},
        {Dict, [](JB2TestWriter& w) { w.type(7); }, "decodeMatchedCopy",
         "JB2Decoder: MatchedCopy found on the dictionary!"},
        {Dict, [](JB2TestWriter& w) { w.type(8); }, "decodeNonMarkData",
         "JB2Decoder: NonMarkData found on the dictionary!"},
        // Only an empty library lets a match index (which then costs no bit) name nothing.
        {Started, [](JB2TestWriter& w) { w.copy(0, {true, 0, 0}); }, "decodeMatchedCopy", outOfRange},
        {Started, [](JB2TestWriter& w) { w.type(4); }, "decodeMatchedRefine", outOfRange},
        {Dict, [](JB2TestWriter& w) { w.type(5); }, "decodeMatchedRefineLibraryOnly", outOfRange},
        // A count without a dictionary; a dictionary counting its own shapes.
        {Page, [](JB2TestWriter& w) { w.requiredDictOrReset(1); }, "decodeRequiredDictOrReset", mismatch},
        {Dict, [&](JB2TestWriter& w) { w.newMark(2, a), w.requiredDictOrReset(2); }, "decodeRequiredDictOrReset",
         mismatch},
        {Page, squareMark(262142, 262142), "decodeNewMark", "JB2Decoder: shape too large!", 38},
        // A blank shape of 25 Mpixels from a few bytes: within the fixed limits, past what the
        // payload's length allows.
        {Page, squareMark(8000, 5000), "decodeNewMark", "JB2Decoder: the image decodes too many pixels!", 38},
        // Empty comments cost next to no input each: the record count is bounded by the length.
        {Started,
         [](JB2TestWriter& w) {
             for (int i = 0; i < 200000; ++i) w.type(10), w.number(0, 262142, 0, RootCommentLength);
         },
         "decodeRecords", "JB2Decoder: too many records!", 38},
        // Size differences that make a refinement negative.
        {Started,
         [&](JB2TestWriter& w) {
             w.newMark(1, a);
             w.type(4);
             w.number(0, 0, 0, RootMatchIndex);
             w.number(-262143, 262142, -100, RootRefineWidth);
             w.number(-262143, 262142, 0, RootRefineHeight);
         },
         "decodeMatchedRefine", "JB2Decoder: negative shape size!"},
        // Copies of a large shape over and over: capped by the placed area.
        {Page,
         [&](JB2TestWriter& w) {
             w.startOfImage(1000, 1000);
             w.newMark(1, big);
             for (int i = 0; i < 9000; ++i) w.copy(0, {false, -1000, 0});
         },
         "decodeMatchedCopy", "JB2Decoder: the image places too many pixels!", 38},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        JB2TestWriter w;
        if (c.target == Started) w.startOfImage(10, 10);
        c.write(w);
        const std::vector<uint8_t> bytes = w.finish();
        expectThrow(
            [&] {
                if (c.target == Dict)
                    JB2Dictionary::create(streamOf(bytes));
                else
                    JB2Page::create(streamOf(bytes), nullptr);
            },
            c.code, std::string("_Vtx_Internal_NS_::JB2Decompressor::") + c.function, c.text);
    }
}

} // namespace
