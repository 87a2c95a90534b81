// buildThumbnail: the size rule, the bottom-up 32-bit layout, and a plain render's pixels.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "djv_document.h"
#include "imaging_testutil.h"
#include "nimbrel_thumbnail.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using Nimbrel::ThumbnailSize;
using Nimbrel::thumbnailSize;

namespace {

const std::string kDir = VTX_FIXTURE_DIR "/container/";

AutoPtr<Page> firstPage(const std::string& name, AutoPtr<Document>& keep)
{
    keep = Document::create(String(kDir + name));
    return keep->getPages()[0];
}

struct Thumbnail {
    ThumbnailSize size;
    std::vector<uint8_t> bits; // bottom-up rows of blue, green, red, 0
    int allocations = 0;
};

Thumbnail thumbnail(Page& page, uint32_t cx)
{
    Thumbnail t;
    t.size = Nimbrel::buildThumbnail(page, cx, [&t](uint32_t w, uint32_t h) {
        ++t.allocations;
        t.bits.assign(size_t(w) * h * 4, 0);
        return t.bits.data();
    });
    return t;
}

// The page rendered top-down in BGR at w x h, the plain way.
imagingtest::Image plainRender(Page& page, uint32_t w, uint32_t h)
{
    imagingtest::Image im(w, h, 3);
    page.render(im.px.data(), im.stride(), Photometric::BGR, Rect{0, 0, w, h}, w, h, Page::layerAll, 0);
    return im;
}

// A thumbnail read back as a top-down BGR picture; also checks every fourth byte.
imagingtest::Image topDown(const Thumbnail& t)
{
    const uint32_t w = t.size.width, h = t.size.height;
    imagingtest::Image im(w, h, 3);
    size_t nonzero = 0;
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* row = t.bits.data() + size_t(h - 1 - y) * w * 4;
        for (uint32_t x = 0; x < w; ++x) {
            std::copy(row + 4 * x, row + 4 * x + 3, im.at(x, y));
            nonzero += row[4 * x + 3] != 0;
        }
    }
    EXPECT_EQ(nonzero, 0u) << "fourth bytes must be 0";
    return im;
}

} // namespace

TEST(ThumbnailSize, LongerSideBecomesCxAndTheOtherTruncates)
{
    struct Case {
        uint32_t W, H, cx, w, h; // h 0: refused with code w
    } cases[] = {
        {2000, 1000, 256, 256, 128}, {1000, 2000, 256, 128, 256}, {1000, 1000, 256, 256, 256},
        {1700, 2200, 96, 74, 96},    {2200, 1700, 96, 96, 74},    {1, 1, 4000, 4000, 4000},
        {65535, 1, 65535, 65535, 1}, {2, 1, (1u << 29) - 1, (1u << 29) - 1, ((1u << 29) - 1) / 2},
        // Unsigned 32-bit products wrap, as the shell's provider computes them.
        {65535, 60000, 100000, 100000, 26017},
        {3, 2, 1, 7, 0}, {100, 100, 0, 7, 0}, {0, 0, 256, 20, 0}, {0, 10, 256, 20, 0},
        {1000, 3, 256, 7, 0}, {3, 1000, 256, 7, 0}, // the short side truncates to 0
        {2, 1, 1u << 29, 7, 0},                     // 4 * width must fit a signed stride
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.W << "x" << c.H << " at " << c.cx);
        if (c.h == 0)
            imagingtest::expectThrow([&] { thumbnailSize(c.W, c.H, c.cx); }, int32_t(c.w), "Vantorix::Nimbrel::thumbnailSize",
                                     c.w == 7 ? "errInvalidParam" : "errDataBroken");
        else
            EXPECT_EQ(thumbnailSize(c.W, c.H, c.cx), (ThumbnailSize{c.w, c.h}));
    }
}

TEST(BuildThumbnail, BottomUpWidenedPixelsOfAPlainRender)
{
    for (const char* name : {"photo.djvu", "text300.djvu", "gray.djvu", "rot90.djvu", "text_odd.djvu"}) {
        for (uint32_t cx : {1000u, 256u, 97u, 7u}) {
            SCOPED_TRACE(testing::Message() << name << " at " << cx);
            AutoPtr<Document> doc;
            AutoPtr<Page> page = firstPage(name, doc);
            Thumbnail t = thumbnail(*page, cx);
            ASSERT_EQ(t.allocations, 1);
            EXPECT_EQ(t.size, thumbnailSize(page->getWidth(), page->getHeight(), cx));
            EXPECT_EQ(imagingtest::firstDifference(topDown(t), plainRender(*page, t.size.width, t.size.height)), "");
        }
    }
}

TEST(BuildThumbnail, FailsBeforeRenderingAndReportsAMissingBitmap)
{
    AutoPtr<Document> doc;
    AutoPtr<Page> page = firstPage("text_odd.djvu", doc);
    int calls = 0;
    auto counting = [&calls](uint32_t, uint32_t) -> uint8_t* { return ++calls, nullptr; };
    // 1001 x 777 at 1: the short side truncates to 0; nothing is allocated.
    imagingtest::expectThrow([&] { Nimbrel::buildThumbnail(*page, 1, counting); }, 7,
                             "Vantorix::Nimbrel::thumbnailSize", "errInvalidParam");
    imagingtest::expectThrow([&] { Nimbrel::buildThumbnail(*page, 0, counting); }, 7,
                             "Vantorix::Nimbrel::thumbnailSize", "errInvalidParam");
    EXPECT_EQ(calls, 0);
    imagingtest::expectThrow([&] { Nimbrel::buildThumbnail(*page, 64, counting); }, 1,
                             "Vantorix::Nimbrel::buildThumbnail", "errOutOfMemory");
    EXPECT_EQ(calls, 1);
}

TEST(BuildThumbnail, WideningInPlaceEqualsACopy)
{
    std::mt19937 rng(3);
    for (uint32_t w : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 12u, 17u, 256u, 257u, 258u, 259u}) {
        const uint32_t h = 3;
        std::vector<uint8_t> bits(size_t(w) * h * 4);
        for (auto& b : bits) b = uint8_t(rng());
        std::vector<uint8_t> want(bits.size());
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                const uint8_t* s = bits.data() + size_t(y) * w * 4 + 3 * x;
                uint8_t* d = want.data() + size_t(y) * w * 4 + 4 * x;
                d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 0;
            }
        Nimbrel::widenRows(bits.data(), w, h);
        EXPECT_EQ(bits, want) << "width " << w;
    }
}
