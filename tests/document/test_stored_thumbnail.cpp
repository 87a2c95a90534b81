// Stored thumbnails: the document gives each page the TH44 image of its thumbnail components,
// which renderThumbnail draws; compared with the reference decoder's picture of the page at the
// thumbnail's size, and with the stored image decoded alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "container_test_util.h"
#include "djv_document.h"
#include "imaging_testutil.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using imagingtest::Image;
namespace fs = std::filesystem;

namespace {

const std::string kStored = VTX_FIXTURE_DIR "/stored/";

struct StoredSize {
    uint32_t w, h;
};

// sizes.txt: PAGE W H per page.
std::vector<StoredSize> storedSizes()
{
    std::vector<StoredSize> sizes;
    std::ifstream in(kStored + "sizes.txt");
    for (uint32_t page, w, h; in >> page >> w >> h;) sizes.push_back({w, h});
    return sizes;
}

Image thumbnailOf(Page& page, uint32_t w, uint32_t h, bool wholePage = false)
{
    Image out(w, h, 3, 77);
    const bool drawn = page.renderThumbnail(out.px.data(), out.stride(), Photometric::RGB, Rect{0, 0, w, h}, w, h, 0,
                                            wholePage);
    EXPECT_EQ(drawn, wholePage || bool(page.getThumbnailChunk())) << "the answer of renderThumbnail";
    return out;
}

} // namespace

TEST(StoredThumbnail, EveryPageDrawsItsOwnStoredImage)
{
    const std::vector<StoredSize> sizes = storedSizes();
    ASSERT_EQ(sizes.size(), 3u);
    for (const char* name : {"thumbs.djvu", "thumbs_indirect/index.djvu"}) {
        SCOPED_TRACE(name);
        AutoPtr<Document> doc = Document::create(String(kStored + name));
        ASSERT_EQ(doc->getPages().getSize(), 3u);
        for (uint32_t i = 0; i < 3; ++i) {
            SCOPED_TRACE(i + 1);
            Page& page = *doc->getPages()[i];
            ASSERT_TRUE(page.getThumbnailChunk());
            EXPECT_EQ(page.getThumbnailChunk()->getId(), "TH44");
            const auto [w, h] = sizes[i];
            const std::string n = std::to_string(i + 1);
            // At its own size: exactly the stored image as a page of its own.
            Image own = thumbnailOf(page, w, h);
            EXPECT_EQ(imagingtest::firstDifference(own, imagingtest::readPnm(kStored + "alone." + n + ".ppm")), "");
            // Close to the whole page at that size; far from another page's.
            const double same = imagingtest::psnr(own, imagingtest::readPnm(kStored + "page." + n + ".ppm"));
            EXPECT_GE(same, 22.0);
            const std::string other = std::to_string((i + 1) % 3 + 1);
            if (sizes[(i + 1) % 3].w == w && sizes[(i + 1) % 3].h == h) {
                EXPECT_LT(imagingtest::psnr(own, imagingtest::readPnm(kStored + "page." + other + ".ppm")), same - 6);
            }
        }
    }
}

TEST(StoredThumbnail, WithoutOneThePageIsDrawnOnlyWhenAllowed)
{
    AutoPtr<Document> doc = Document::create(String(VTX_FIXTURE_DIR "/container/photo.djvu"));
    Page& page = *doc->getPages()[0];
    EXPECT_FALSE(page.getThumbnailChunk());
    Image untouched = thumbnailOf(page, 64, 48);
    EXPECT_EQ(untouched.px, std::vector<uint8_t>(untouched.px.size(), 77));
    Image whole(64, 48, 3);
    page.render(whole.px.data(), whole.stride(), Photometric::RGB, Rect{0, 0, 64, 48}, 64, 48, Page::layerAll, 0);
    EXPECT_EQ(imagingtest::firstDifference(thumbnailOf(page, 64, 48, true), whole), "");

    // A thumbnail set by hand is drawn from then on, scaled to the size asked for.
    AutoPtr<Document> stored = Document::create(String(kStored + "thumbs.djvu"));
    page.setThumbnailChunk(stored->getPages()[0]->getThumbnailChunk());
    Image set = thumbnailOf(page, 64, 48, true);
    EXPECT_EQ(imagingtest::firstDifference(set, thumbnailOf(*stored->getPages()[0], 64, 48)), "");
    EXPECT_NE(imagingtest::firstDifference(set, whole), "");
}

TEST(StoredThumbnail, MissingThumbnailFilesLeaveThePagesWithout)
{
    fs::path dir = fs::temp_directory_path() / ("vtx_stored_" + std::to_string(reinterpret_cast<uintptr_t>(&kStored)));
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const char* f : {"index.djvu", "p1.djvu", "p2.djvu", "p3.djvu"})
        fs::copy_file(kStored + "thumbs_indirect/" + f, dir / f);
    {
        AutoPtr<Document> doc = Document::create(String((dir / "index.djvu").string()));
        ASSERT_EQ(doc->getPages().getSize(), 3u);
        for (auto& page : doc->getPages()) EXPECT_FALSE(page->getThumbnailChunk());
        EXPECT_EQ(doc->getPages()[2]->getWidth(), 1700u);
    }
    fs::remove_all(dir);
}
