// FGbz: palettes, per-shape indices behind BZZ, and every way the payload can be refused.
#include <gtest/gtest.h>

#include "bzz_testwriter.h"
#include "djv_jb2.h"
#include "jb2_test_util.h"
#include "vtx_exception.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;
using namespace jb2test;

namespace {

const std::string kDecode = "Vantorix::DjVu::JB2::Compressor::decodeFGbz";

// A payload: version, palette (b, g, r triples), count, then the indices compressed.
std::vector<uint8_t> fgbz(uint8_t version, const std::vector<Color>& palette, uint32_t count,
                          const std::vector<uint16_t>& indices)
{
    std::vector<uint8_t> out = {version, uint8_t(palette.size() >> 8), uint8_t(palette.size())};
    for (const Color& c : palette) out.insert(out.end(), {c.blue, c.green, c.red});
    out.insert(out.end(), {uint8_t(count >> 16), uint8_t(count >> 8), uint8_t(count)});
    std::vector<uint8_t> raw;
    for (uint16_t i : indices) raw.insert(raw.end(), {uint8_t(i >> 8), uint8_t(i)});
    std::vector<uint8_t> packed = zptest::BzzTestWriter::compress(raw, 0, 4096);
    out.insert(out.end(), packed.begin(), packed.end());
    return out;
}

// A page of n one-pixel shapes in a row: Normal, NonMark and Matched ones all count.
AutoPtr<JB2Page> pageOf(uint32_t n)
{
    AutoPtr<JB2Page> page = JB2Page::create(16, 2);
    ShapeArray& shapes = page->getShapesForChange();
    const uint8_t px[1] = {1};
    for (uint32_t i = 0; i < n; ++i) {
        if (i % 3 == 2)
            shapes.append(Shape::createMatched(shapes[0], i, 0));
        else
            shapes.append(Shape::create(1, 1, 1, px, i, 0, i % 3 ? NonMark : Normal));
    }
    return page;
}

const Color kRed{0, 0, 255, 0}, kTeal{0x80, 0x80, 0, 0}, kOdd{0x10, 0x20, 0x30, 0};

TEST(JB2FGbz, ColoursEveryShapeInRecordOrder)
{
    for (uint8_t version : {uint8_t(0x80), uint8_t(0x00)}) { // the flag bit changes nothing
        AutoPtr<JB2Page> page = pageOf(4);
        page->addFGbz(streamOf(fgbz(version, {kRed, kOdd, kTeal}, 4, {1, 0, 2, 1})));
        EXPECT_TRUE(page->hasFGbz());
        const ShapeArray& s = page->getShapes();
        EXPECT_EQ(s[0]->getColor(), kOdd);
        EXPECT_EQ(s[1]->getColor(), kRed);
        EXPECT_EQ(s[2]->getColor(), kTeal); // a Matched shape has a colour of its own
        EXPECT_EQ(s[3]->getColor(), kOdd);
        EXPECT_EQ(kOdd, (Color{0x10, 0x20, 0x30, 0})); // file order is blue, green, red
    }
}

TEST(JB2FGbz, ColoursReachTheRowIndexBuiltBefore)
{
    AutoPtr<JB2Page> page = pageOf(2);
    auto& impl = static_cast<_Vtx_Internal_NS_::JB2PageImpl&>(*page);
    EXPECT_EQ(drawPage(impl, true).row(0)[0], 0); // black before
    page->addFGbz(streamOf(fgbz(0, {kRed}, 2, {0, 0})));
    Image pic = drawPage(impl, true);
    EXPECT_EQ(pic.row(0)[0], 255);
    EXPECT_EQ(pic.row(0)[1], 0);
}

TEST(JB2FGbz, EmptyPaletteServesOnlyAnEmptyPage)
{
    AutoPtr<JB2Page> empty = pageOf(0);
    empty->addFGbz(streamOf(fgbz(0, {}, 0, {})));
    EXPECT_TRUE(empty->hasFGbz());
    AutoPtr<JB2Page> page = pageOf(1);
    expectThrow([&] { page->addFGbz(streamOf(fgbz(0, {}, 1, {0}))); }, 20, kDecode,
                "JB2Decoder::decodeFGbz : Palette index out of range!");
    EXPECT_FALSE(page->hasFGbz());
}

TEST(JB2FGbz, RefusedPayloads)
{
    AutoPtr<JB2Page> page = pageOf(3);
    expectThrow([&] { page->addFGbz(streamOf(fgbz(0x81, {kRed}, 3, {0, 0, 0}))); }, 20, kDecode,
                "JB2Decoder: Unknown FGbz version.");
    expectThrow([&] { page->addFGbz(streamOf(fgbz(0, {kRed}, 2, {0, 0}))); }, 20, kDecode,
                "JB2Decoder::decodeFGbz : Shape count mismatch to the one of Sjbz!");
    // A bad index stops the colouring there; the shapes before keep their colour.
    expectThrow([&] { page->addFGbz(streamOf(fgbz(0, {kRed, kTeal}, 3, {1, 2, 0}))); }, 20, kDecode,
                "JB2Decoder::decodeFGbz : Palette index out of range!");
    EXPECT_EQ(page->getShapes()[0]->getColor(), kTeal);
    EXPECT_EQ(page->getShapes()[1]->getColor(), Color());
    EXPECT_FALSE(page->hasFGbz());

    // Short payloads fail in the exact reads or in the decompressor.
    std::vector<uint8_t> good = fgbz(0, {kRed, kTeal}, 3, {1, 1, 0});
    for (size_t cut : {size_t(0), size_t(2), size_t(5), size_t(10), size_t(12)})
        EXPECT_THROW(page->addFGbz(streamOf(std::vector<uint8_t>(good.begin(), good.begin() + long(cut)))), Exception)
            << cut;
    EXPECT_FALSE(page->hasFGbz());

    page->addFGbz(streamOf(good));
    EXPECT_TRUE(page->hasFGbz());
    expectThrow([&] { page->addFGbz(streamOf(fgbz(0, {kRed}, 3, {0, 0, 0}))); }, 26,
                "_Vtx_Internal_NS_::JB2PageImpl::addFGbz", "FGbz already loaded!");
    EXPECT_EQ(page->getShapes()[0]->getColor(), kTeal); // unchanged
}

} // namespace
