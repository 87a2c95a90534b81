// Masks decoded here against the reference decoder's renders of the same files.
#include <gtest/gtest.h>

#include "jb2_test_util.h"
#include "vtx_exception.h"

using namespace Vantorix;
using namespace Vantorix::DjVu::JB2;
using namespace jb2test;

namespace {

AutoPtr<JB2Page> decodeFixture(const std::string& name)
{
    AutoPtr<JB2Dictionary> dictionary;
    if (fileExists(fixtureDir() + name + ".djbz"))
        dictionary = JB2Dictionary::create(streamOf(readFile(fixtureDir() + name + ".djbz")));
    return JB2Page::create(streamOf(readFile(fixtureDir() + name + ".sjbz")), dictionary);
}

class JB2Fixture : public ::testing::TestWithParam<FixturePage> {};
class JB2ColourFixture : public ::testing::TestWithParam<FixturePage> {};

std::vector<FixturePage> colourPages()
{
    std::vector<FixturePage> pages;
    for (const FixturePage& p : fixturePages())
        if (fileExists(fixtureDir() + p.name + ".fgbz")) pages.push_back(p);
    return pages;
}

std::string pageName(const ::testing::TestParamInfo<FixturePage>& info) { return info.param.name; }

TEST_P(JB2Fixture, MaskEqualsReferenceRender)
{
    const FixturePage& fx = GetParam();
    AutoPtr<JB2Page> page = decodeFixture(fx.name);
    ASSERT_EQ(page->getWidth(), fx.width);
    ASSERT_EQ(page->getHeight(), fx.height);
    Picture ours = drawPage(static_cast<_Vtx_Internal_NS_::JB2PageImpl&>(*page), false);
    Picture theirs = readNetpbm(fixtureDir() + fx.name + ".mask.pbm");
    EXPECT_EQ(firstDifference(ours, theirs), "") << fx.name;
}

TEST_P(JB2ColourFixture, ColouredMaskEqualsReferenceForeground)
{
    const FixturePage& fx = GetParam();
    AutoPtr<JB2Page> page = decodeFixture(fx.name);
    page->addFGbz(streamOf(readFile(fixtureDir() + fx.name + ".fgbz")));
    EXPECT_TRUE(page->hasFGbz());
    Picture ours = drawPage(static_cast<_Vtx_Internal_NS_::JB2PageImpl&>(*page), true);
    Picture theirs = readNetpbm(fixtureDir() + fx.name + ".fg.ppm");
    EXPECT_EQ(firstDifference(ours, theirs), "") << fx.name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, JB2Fixture, ::testing::ValuesIn(fixturePages()), pageName);
INSTANTIATE_TEST_SUITE_P(Fixtures, JB2ColourFixture, ::testing::ValuesIn(colourPages()), pageName);

TEST(JB2Fixtures, CoverEveryKindOfFile)
{
    std::vector<FixturePage> pages = fixturePages();
    auto has = [&](const std::string& prefix) {
        for (const FixturePage& p : pages)
            if (p.name.rfind(prefix, 0) == 0) return true;
        return false;
    };
    EXPECT_TRUE(has("cjb2_text300_lossy"));
    EXPECT_TRUE(has("cjb2_text600"));
    EXPECT_TRUE(has("minidjvu_lossy_p"));
    EXPECT_TRUE(has("cpaldjvu"));
    EXPECT_TRUE(has("zones"));
}

} // namespace
