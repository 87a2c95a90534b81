// Every fixture page decoded and drawn through the page's drawing entry points, against the
// reference decoder's renders: exact at the page's size, close (PSNR) at thumbnail sizes where
// the two scalers differ.
#include <gtest/gtest.h>

#include <cstring>

#include "djv_jb2.h"
#include "jb2_test_util.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;
using namespace jb2test;

namespace {

AutoPtr<JB2Page> decodeFixture(const std::string& name, bool colours)
{
    AutoPtr<JB2Dictionary> dictionary;
    if (fileExists(fixtureDir() + name + ".djbz"))
        dictionary = JB2Dictionary::create(streamOf(readFile(fixtureDir() + name + ".djbz")));
    AutoPtr<JB2Page> page = JB2Page::create(streamOf(readFile(fixtureDir() + name + ".sjbz")), dictionary);
    if (colours) page->addFGbz(streamOf(readFile(fixtureDir() + name + ".fgbz")));
    return page;
}

// Draws over white into a picture of w x h (Gray or RGB).
Image render(JB2Page& page, uint32_t w, uint32_t h, bool rgb, Rect rect = {})
{
    if (rect == Rect{}) rect = Rect{0, 0, w, h};
    Image pic(rect.w, rect.h, rgb ? 3 : 1, 255);
    page.renderMask(pic.px.data(), int32_t(rect.w * pic.bpp), rgb ? Photometric::RGB : Photometric::Gray, rect,
                    w, h, 0, 0);
    return pic;
}

// The reference mask (1 = black) as grey over white.
Image maskAsGrey(Image mask)
{
    for (auto& p : mask.px) p = p ? 0 : 255;
    return mask;
}

class JB2Render : public ::testing::TestWithParam<FixturePage> {};

TEST_P(JB2Render, OwnSizeEqualsReferenceMask)
{
    const FixturePage& fx = GetParam();
    AutoPtr<JB2Page> page = decodeFixture(fx.name, false);
    Image ours = render(*page, 0, 0, false, Rect{0, 0, fx.width, fx.height});
    EXPECT_EQ(firstDifference(ours, maskAsGrey(readPnm(fixtureDir() + fx.name + ".mask.pbm"))), "");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, JB2Render, ::testing::ValuesIn(fixturePages()),
                         [](const ::testing::TestParamInfo<FixturePage>& info) { return info.param.name; });

TEST(JB2Render, PartsEqualTheWhole)
{
    for (const char* name : {"cjb2_text_odd", "minidjvu_lossy_p5", "cpaldjvu"}) {
        AutoPtr<JB2Page> page = decodeFixture(name, false);
        const uint32_t w = page->getWidth(), h = page->getHeight();
        Image whole = render(*page, w, h, true);
        const Rect part{w / 3, h / 4, w / 2 + 1, h / 3 + 1};
        Image piece = render(*page, w, h, true, part);
        for (uint32_t y = 0; y < part.h; ++y)
            ASSERT_EQ(0, std::memcmp(piece.row(y), whole.row(part.y + y) + 3 * part.x, 3 * part.w)) << name << " " << y;
    }
}

TEST(JB2Render, ColouredPagesEqualReferenceForeground)
{
    for (const char* name : {"cpaldjvu", "zones"}) {
        AutoPtr<JB2Page> page = decodeFixture(name, true);
        Image ours = render(*page, page->getWidth(), page->getHeight(), true);
        EXPECT_EQ(firstDifference(ours, readPnm(fixtureDir() + name + ".fg.ppm")), "") << name;
    }
}

TEST(JB2Render, ScaledPagesStayCloseToTheReference)
{
    std::vector<FixturePage> scaled = fixturePages("scaled.txt");
    ASSERT_FALSE(scaled.empty());
    for (const FixturePage& fx : scaled) {
        const std::string stem = fixtureDir() + fx.name + "." + std::to_string(fx.width) + "x" +
                                 std::to_string(fx.height);
        AutoPtr<JB2Page> page = decodeFixture(fx.name, false);
        EXPECT_GT(psnr(render(*page, fx.width, fx.height, false), readPnm(stem + ".pgm")), 22.0) << fx.name;
        if (fileExists(stem + ".ppm")) {
            AutoPtr<JB2Page> coloured = decodeFixture(fx.name, true);
            EXPECT_GT(psnr(render(*coloured, fx.width, fx.height, true), readPnm(stem + ".ppm")), 22.0) << fx.name;
        }
    }
}

TEST(JB2Render, ForegroundImageColoursTheSetPixels)
{
    // A 4 x 2 foreground over an 8 x 4 mask: each foreground pixel serves a 2 x 2 block.
    AutoPtr<JB2Page> page = JB2Page::create(8, 4);
    std::vector<uint8_t> ones(8 * 4, 1);
    page->getShapesForChange().append(Shape::create(8, 4, 8, ones.data(), 0, 0, Normal));
    uint8_t fg[2][4];
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) fg[y][x] = uint8_t(10 * y + x);
    std::vector<uint8_t> out(8 * 4, 255);
    page->renderMaskForeground(out.data(), 8, Photometric::Gray, Rect{0, 0, 8, 4}, 0, 0, &fg[0][0], 4, 4, 2, 0, 0);
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 8; ++x) EXPECT_EQ(out[y * 8 + x], fg[y / 2][x / 2]) << x << "," << y;
}

} // namespace
