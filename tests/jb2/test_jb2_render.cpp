// Fixture pages drawn through the page's drawing entry points against the reference decoder's
// renders: exact at the page's size, close (PSNR) at thumbnail sizes where the scalers differ.
#include <gtest/gtest.h>

#include <fstream>

#include "jb2_test_util.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;
using namespace jb2test;
using imagingtest::firstDifference;
using imagingtest::psnr;
using imagingtest::readPnm;

namespace {

struct FixturePage {
    std::string name;
    uint32_t width, height;
    friend void PrintTo(const FixturePage& p, std::ostream* os) { *os << p.name; }
};

// Lines of NAME WIDTH HEIGHT written by the fixture script.
std::vector<FixturePage> fixturePages(const char* list)
{
    std::vector<FixturePage> pages;
    std::ifstream in(fixtureDir() + list);
    FixturePage p;
    while (in >> p.name >> p.width >> p.height) pages.push_back(p);
    return pages;
}

// Draws over white into a picture of w x h (Gray or RGB); the whole of it unless a part is given.
Image render(JB2Page& page, uint32_t w, uint32_t h, bool rgb, Rect rect = {})
{
    if (rect == Rect{}) rect = Rect{0, 0, w, h};
    Image pic(rect.w, rect.h, rgb ? 3 : 1, 255);
    page.renderMask(pic.px.data(), pic.stride(), rgb ? Photometric::RGB : Photometric::Gray, rect, w, h, 0, 0);
    return pic;
}

class JB2Render : public ::testing::TestWithParam<FixturePage> {};

// Width and height 0 ask for the page's own size.
TEST_P(JB2Render, OwnSizeEqualsReferenceMask)
{
    const FixturePage& fx = GetParam();
    Image ours = render(*decodeFixture(fx.name, false), 0, 0, false, Rect{0, 0, fx.width, fx.height});
    Image mask = readPnm(fixtureDir() + fx.name + ".mask.pbm");
    for (auto& p : mask.px) p = p ? 0 : 255;
    EXPECT_EQ(firstDifference(ours, mask), "");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, JB2Render, ::testing::ValuesIn(fixturePages("pages.txt")),
                         [](const ::testing::TestParamInfo<FixturePage>& info) { return info.param.name; });

TEST(JB2Render, PartsEqualTheWhole)
{
    for (const char* name : {"cjb2_text_odd", "minidjvu_lossy_p5", "cpaldjvu"}) {
        AutoPtr<JB2Page> page = decodeFixture(name, false);
        const uint32_t w = page->getWidth(), h = page->getHeight();
        const Rect part{w / 3, h / 4, w / 2 + 1, h / 3 + 1};
        const Image whole = render(*page, w, h, true);
        EXPECT_EQ(firstDifference(render(*page, w, h, true, part), whole.crop(part.x, part.y, part.w, part.h)), "")
            << name;
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
        const std::string stem =
            fixtureDir() + fx.name + "." + std::to_string(fx.width) + "x" + std::to_string(fx.height);
        for (bool rgb : {false, true}) {
            const std::string ref = stem + (rgb ? ".ppm" : ".pgm");
            if (rgb && !fileExists(ref)) continue;
            EXPECT_GT(psnr(render(*decodeFixture(fx.name, rgb), fx.width, fx.height, rgb), readPnm(ref)), 22.0) << ref;
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
