// FGbz: palettes, per-shape indices behind BZZ, and every way the payload can be refused.
#include <gtest/gtest.h>

#include "bzz_testwriter.h"
#include "jb2_test_util.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;
using namespace jb2test;

namespace {

// A payload: version, palette (b, g, r triples), count, then the indices compressed.
std::vector<uint8_t> fgbz(uint8_t version, const std::vector<Color>& palette, uint32_t count,
                          const std::vector<uint16_t>& indices)
{
    std::vector<uint8_t> out = {version, uint8_t(palette.size() >> 8), uint8_t(palette.size())}, raw;
    for (const Color& c : palette) out.insert(out.end(), {c.blue, c.green, c.red});
    out.insert(out.end(), {uint8_t(count >> 16), uint8_t(count >> 8), uint8_t(count)});
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
    for (uint32_t i = 0; i < n; ++i)
        shapes.append(i % 3 == 2 ? Shape::createMatched(shapes[0], i, 0)
                                 : Shape::create(1, 1, 1, px, i, 0, i % 3 ? NonMark : Normal));
    return page;
}

const Color kRed{0, 0, 255, 0}, kTeal{0x80, 0x80, 0, 0}, kOdd{0x10, 0x20, 0x30, 0};

TEST(JB2FGbz, ColoursEveryShapeInRecordOrder)
{
    for (uint8_t version : {uint8_t(0x80), uint8_t(0x00)}) { // the flag bit changes nothing
        AutoPtr<JB2Page> page = pageOf(4);
        auto& impl = static_cast<_Vtx_Internal_NS_::JB2PageImpl&>(*page);
        drawPage(impl, true); // builds the row index before the colours come
        page->addFGbz(streamOf(fgbz(version, {kRed, kOdd, kTeal}, 4, {1, 0, 2, 1})));
        EXPECT_TRUE(page->hasFGbz());
        const Color want[] = {kOdd, kRed, kTeal, kOdd}; // a Matched shape has a colour of its own
        for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(page->getShapes()[i]->getColor(), want[i]) << i;
        EXPECT_EQ(drawPage(impl, true).row(0)[3], 255); // red: the index was rebuilt
    }
}

TEST(JB2FGbz, RefusedPayloads)
{
    const char* badIndex = "JB2Decoder::decodeFGbz : Palette index out of range!";
    const char* badVersion = "JB2Decoder: Unknown FGbz version.";
    AutoPtr<JB2Page> page = pageOf(3);
    const std::pair<std::vector<uint8_t>, const char*> cases[] = {
        {fgbz(0x81, {kRed}, 3, {0, 0, 0}), badVersion},
        {fgbz(0x40, {kRed}, 3, {0, 0, 0}), badVersion},
        {fgbz(0, {kRed}, 2, {0, 0}), "JB2Decoder::decodeFGbz : Shape count mismatch to the one of Sjbz!"},
        {fgbz(0, {}, 3, {0, 0, 0}), badIndex},
        {fgbz(0, {kRed, kTeal}, 3, {1, 2, 0}), badIndex}, // stops there: shape 0 keeps its colour
    };
    for (const auto& c : cases)
        expectThrow([&] { page->addFGbz(streamOf(c.first)); }, 20, "Vantorix::DjVu::JB2::Compressor::decodeFGbz",
                    c.second);
    EXPECT_EQ(page->getShapes()[0]->getColor(), kTeal);
    EXPECT_EQ(page->getShapes()[1]->getColor(), Color());
    EXPECT_FALSE(page->hasFGbz());

    // Short payloads fail in the exact reads or in the decompressor.
    std::vector<uint8_t> good = fgbz(0, {kRed, kTeal}, 3, {1, 1, 0});
    for (long cut : {0, 2, 5, 10, 12})
        EXPECT_THROW(page->addFGbz(streamOf(std::vector<uint8_t>(good.begin(), good.begin() + cut))), Exception) << cut;
    EXPECT_FALSE(page->hasFGbz());

    page->addFGbz(streamOf(good));
    const std::vector<uint8_t> red = fgbz(0, {kRed}, 3, {0, 0, 0});
    expectThrow([&] { page->addFGbz(streamOf(red)); }, 26, "_Vtx_Internal_NS_::JB2PageImpl::addFGbz",
                "FGbz already loaded!");
    EXPECT_EQ(page->getShapes()[0]->getColor(), kTeal); // unchanged
}

} // namespace
