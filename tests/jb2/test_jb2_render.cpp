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
    EXPECT_EQ(firstDifference(ours, imagingtest::greyOf(readPnm(fixtureDir() + fx.name + ".mask.pbm"))), "");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, JB2Render, ::testing::ValuesIn(fixturePages("pages.txt")),
                         [](const ::testing::TestParamInfo<FixturePage>& info) { return info.param.name; });

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

} // namespace
