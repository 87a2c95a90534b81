#include <gtest/gtest.h>

#include "djv_iw44.h"
#include "iw44_testfiles.h"
#include "vtx_exception.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace iw44test;

namespace {

struct Case {
    const char* name;
    bool grey;
};

class Differential : public ::testing::TestWithParam<Case> {};

// Every c44 fixture, all of its chunks decoded and rendered at full size, equals ddjvu's
// rendering of the background byte for byte.
TEST_P(Differential, FullSizeEqualsReference)
{
    const Case c = GetParam();
    Pnm want = readPnm(fixture(std::string(c.name) + (c.grey ? ".pgm" : ".ppm")));
    ASSERT_FALSE(want.pixels.empty());
    auto decoder = decodeAll(djvuChunks(fixture(std::string(c.name) + ".djvu")));
    ASSERT_EQ(decoder->getWidth(), want.width);
    ASSERT_EQ(decoder->getHeight(), want.height);
    Bytes got(want.pixels.size());
    decoder->render(got.data(), int32_t(want.width * want.channels), c.grey ? Photometric::Gray : Photometric::RGB, 1,
                    nullptr);
    EXPECT_EQ(firstDifference(got, want.pixels, want.width, want.channels), "");
}

INSTANTIATE_TEST_SUITE_P(C44, Differential,
                         ::testing::Values(Case{"photo", false}, Case{"photo_grey", true}, Case{"photo_half", false},
                                           Case{"photo_delay3", false}, Case{"photo_full", false},
                                           Case{"photo_nocrcb", true}, Case{"photo_slice20", false},
                                           Case{"photo_deep", false}, Case{"a4", false}, Case{"detail", false},
                                           Case{"detail_deep", false}, Case{"detail_grey", true},
                                           Case{"c157x113", false}, Case{"c129x70", false}, Case{"c1x1", false},
                                           Case{"c300x7", false}, Case{"c7x300", false}, Case{"g157x113", true},
                                           Case{"page", false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
