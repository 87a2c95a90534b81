// The renderer registry and the compose step, on pages assembled from the chunks of
// DjVuLibre-made fixtures so that each layer can be drawn alone.
#include <gtest/gtest.h>

#include <random>

#include "djv_renderer.h"
#include "render_test_util.h"

using namespace rendertest;
using namespace Vantorix;
using namespace Vantorix::DjVu;
using imagingtest::expectThrow;

namespace {

using Chunks = std::vector<iw44test::Bytes>;

// The layers of render/layers.djvu, every one at the page's resolution.
struct Layers {
    Chunks mask = chunksOf("render/layers.djvu", "Sjbz");
    Chunks foreground = chunksOf("render/layers.djvu", "FG44");
    Chunks background = chunksOf("render/layers.djvu", "BG44");
};
constexpr uint16_t kW = 1001, kH = 777;

TEST(Registry, ChunkIdsMapToLayers)
{
    const RendererRegistry& registry = RendererRegistry::get();
    const std::pair<const char*, LayerKind> kinds[] = {
        {"Djbz", LayerKind::Dictionary}, {"Sjbz", LayerKind::Mask},       {"Smmr", LayerKind::Mask},
        {"FGbz", LayerKind::Mask},       {"FG44", LayerKind::Foreground}, {"BG44", LayerKind::Background},
        {"INFO", LayerKind::None},       {"BGjp", LayerKind::None},       {"sjbz", LayerKind::None}};
    for (const auto& [id, kind] : kinds) EXPECT_EQ(registry.getLayerKind(id), kind) << id;
    EXPECT_EQ(registry.getDictionaryId("Sjbz"), "Djbz");
    EXPECT_TRUE(registry.getDictionaryId("Smmr").isEmpty());

    // Only the layers' first chunks have factories: FGbz and Djbz build no renderer.
    for (const char* id : {"FGbz", "Djbz", "INFO", "XXXX"})
        expectThrow([&] { Renderer::create(iw44test::chunkOf(id, {1, 2, 3}), nullptr); }, 7,
                    "Vantorix::DjVu::Renderer::create", "Unknown chunk identifier; cannot instanciate renderer!");
    for (const char* id : {"Sjbz", "BG44"})
        expectThrow([&] { Dictionary::create(iw44test::chunkOf(id, {1, 2, 3})); }, 7,
                    "Vantorix::DjVu::Dictionary::create", "Unknown chunk identifier; cannot instanciate dictionary!");
}

TEST(Registry, ColoursBeforeAnyMaskFailThePage)
{
    const iw44test::Bytes sjbz = iw44test::readFile(fixture("jb2/zones.sjbz"));
    const iw44test::Bytes fgbz = iw44test::readFile(fixture("jb2/zones.fgbz"));
    AutoPtr<Page> page = PageBuilder(kW, kH).add("FGbz", fgbz).add("Sjbz", sjbz).page();
    for (int attempt = 0; attempt < 2; ++attempt) // the page stays unvisited and fails again
        expectThrow([&] { render(*page, 100, 77); }, 7, "Vantorix::DjVu::Renderer::create",
                    "Unknown chunk identifier; cannot instanciate renderer!");
    // In the right order the colours go to the mask.
    AutoPtr<Page> ordered = PageBuilder(kW, kH).add("Sjbz", sjbz).add("FGbz", fgbz).page();
    EXPECT_EQ(firstDifference(render(*ordered, 0, 0, {}, 3), render(*openDocument("jb2/zones.djvu")->getPages()[0], 0, 0, {}, 3)), "");
}

// Later BG44 chunks refine the first one's image; one out of sequence is refused and changes nothing.
TEST(Registry, BackgroundChunksRefineOneImage)
{
    const Chunks bg = chunksOf("iw44/photo.djvu", "BG44");
    ASSERT_EQ(bg.size(), 3u);
    auto background = [](const Chunks& chunks) {
        AutoPtr<Page> page = PageBuilder(640, 480).add("BG44", chunks).page();
        return render(*page, 0, 0, {}, Page::layerBackground);
    };
    const Image all = background(bg);
    EXPECT_EQ(firstDifference(all, imagingtest::readPnm(fixture("iw44/photo.ppm"))), "");
    const Image first = background({bg[0]}), two = background({bg[0], bg[1]});
    EXPECT_NE(firstDifference(two, all), "");
    EXPECT_EQ(firstDifference(background({bg[0], bg[2]}), first), "") << "the third chunk is not next";
    EXPECT_EQ(firstDifference(background({bg[0], bg[0]}), first), "") << "the first chunk again";
    EXPECT_EQ(firstDifference(background({bg[0], bg[2], bg[1]}), two), "");
}

// Each choice of layer bits draws what the page of only those layers draws with all of them.
TEST(Compose, LayerBitsSelectLayers)
{
    const Layers l;
    const AutoPtr<Page> page =
        PageBuilder(kW, kH).add("Sjbz", l.mask).add("FG44", l.foreground).add("BG44", l.background).page();
    struct Case {
        uint32_t layers;
        AutoPtr<Page> same; // drawn with all layers
    };
    const Case cases[] = {
        {0, PageBuilder(kW, kH).page()},
        {Page::layerBackground, PageBuilder(kW, kH).add("BG44", l.background).page()},
        {Page::layerMask, PageBuilder(kW, kH).add("FG44", l.foreground).page()},
        {Page::layerMask | Page::layerBackground, PageBuilder(kW, kH).add("FG44", l.foreground).page()},
        {Page::layerForeground, PageBuilder(kW, kH).add("Sjbz", l.mask).page()},
        {Page::layerForeground | Page::layerBackground,
         PageBuilder(kW, kH).add("Sjbz", l.mask).add("BG44", l.background).page()},
        {Page::layerMask | Page::layerForeground,
         PageBuilder(kW, kH).add("Sjbz", l.mask).add("FG44", l.foreground).page()},
    };
    // At the page's size, shrunk to a thumbnail and enlarged.
    for (const auto& [w, h] : {std::pair{0u, 0u}, thumbnailSize(kW, kH, 256), std::pair{1501u, 1165u}})
        for (const Case& c : cases) {
            SCOPED_TRACE("layers " + std::to_string(c.layers) + " at " + std::to_string(w));
            EXPECT_EQ(firstDifference(render(*page, w, h, {}, c.layers), render(*c.same, w, h)), "");
        }
    EXPECT_NE(firstDifference(render(*page, 0, 0), render(*cases[1].same, 0, 0)), "");
}

// A page without layers is white in every photometric that has a white.
TEST(Compose, PageWithoutLayersIsWhite)
{
    const AutoPtr<Page> page = PageBuilder(30, 20).add("ANTa", {'(', ')'}).add("XXXX", {1, 2}).page();
    const std::pair<Photometric, std::vector<uint8_t>> whites[] = {{Photometric::RGB, {255, 255, 255}},
                                                                   {Photometric::BGR, {255, 255, 255}},
                                                                   {Photometric::Gray, {255}},
                                                                   {Photometric::YCbCr, {255, 128, 128}}};
    for (const auto& [photometric, white] : whites) {
        const Image im = render(*page, 15, 10, {}, 7, photometric);
        for (size_t i = 0; i < im.px.size(); ++i) ASSERT_EQ(im.px[i], white[i % white.size()]) << int(photometric);
    }
    std::vector<uint8_t> buffer(30 * 20 * 4);
    expectThrow([&] { page->render(buffer.data(), 120, Photometric::Bytes4, Rect{0, 0, 30, 20}, 0, 0, 7, 0); }, 7,
                "Vantorix::DjVu::Imaging::fillWhite", "Unknown photometric!");
}

// "Loaded only" draws nothing before the record is read, then only the layers already built.
TEST(Compose, LoadedOnlyDrawsWhatIsLoaded)
{
    const AutoPtr<Page> page = openDocument("render/layers.djvu")->getPages()[0];
    auto loadedOnly = [&] { return render(*page, kW, kH, {}, 7, Photometric::RGB, -1, Page::renderLoadedOnly); };
    EXPECT_EQ(loadedOnly().px, Image(kW, kH, 3, 0x5A).px);
    EXPECT_FALSE(page->hasInfo());

    const Image whole = render(*page, 0, 0);
    EXPECT_EQ(firstDifference(loadedOnly(), whole), "");
    int visits = 0;
    page->setChunkCallback([](void* n, Chunk*) { ++*static_cast<int*>(n); }, &visits);
    page->unload();
    EXPECT_EQ(loadedOnly().px, Image(kW, kH, 3, 255).px);
    EXPECT_EQ(visits, 0);
    EXPECT_EQ(firstDifference(render(*page, 0, 0), whole), "");
    EXPECT_GT(visits, 0);
}

// Rotation code r turns the picture r quarter turns counter-clockwise, at every size, whole and in parts.
TEST(Compose, RotationTurnsTheUnrotatedPicture)
{
    const AutoPtr<Page> page = openDocument("render/compound_odd.djvu")->getPages()[0];
    std::mt19937 rng(7);
    for (const auto& [w, h] :
         {std::pair{uint32_t(kW), uint32_t(kH)}, thumbnailSize(kW, kH, 256), std::pair{1500u, 1165u}})
        for (int rotation = 1; rotation <= 3; ++rotation) {
            SCOPED_TRACE(std::to_string(w) + " rotation " + std::to_string(rotation));
            const uint32_t W = rotation == 2 ? w : h, H = rotation == 2 ? h : w; // displayed size
            const Image turned = render(*page, W, H, {}, 7, Photometric::RGB, rotation);
            const Image upright = render(*page, w, h, {}, 7, Photometric::RGB, 0);
            EXPECT_EQ(firstDifference(turned, turnCounterClockwise(upright, rotation)), "");
            for (int i = 0; i < 6; ++i) {
                const Rect r = imagingtest::randomRect(rng, W, H);
                const Image part = render(*page, W, H, r, 7, Photometric::RGB, rotation);
                ASSERT_EQ(firstDifference(part, turned.crop(r.x, r.y, r.w, r.h)), "")
                    << r.x << "," << r.y << " " << r.w << "x" << r.h;
            }
        }
    // The page's own rotation is the same turn.
    const AutoPtr<Page> own = openDocument("render/layers_rot270.djvu")->getPages()[0];
    const AutoPtr<Page> plain = openDocument("render/layers.djvu")->getPages()[0];
    EXPECT_EQ(own->getRotation(), 3u);
    EXPECT_EQ(firstDifference(render(*own, 256, 330), render(*plain, 256, 330, {}, 7, Photometric::RGB, 3)), "");
}

// Any part of the scaled page is that part of the whole, in every photometric and scaling regime.
TEST(Compose, PartsEqualTheWhole)
{
    const AutoPtr<Page> page = openDocument("render/compound_odd.djvu")->getPages()[0];
    std::mt19937 rng(11);
    const std::pair<uint32_t, uint32_t> sizes[] = {{kW, kH}, {256, 198}, {96, 74}, {1501, 1165}, {1200, 500}};
    for (Photometric p : {Photometric::RGB, Photometric::BGR, Photometric::Gray, Photometric::YCbCr})
        for (const auto& [w, h] : sizes) {
            SCOPED_TRACE(std::to_string(int(p)) + " at " + std::to_string(w) + "x" + std::to_string(h));
            const Image whole = render(*page, w, h, {}, 7, p);
            for (int i = 0; i < 5; ++i) {
                const Rect r = imagingtest::randomRect(rng, w, h);
                ASSERT_EQ(firstDifference(render(*page, w, h, r, 7, p), whole.crop(r.x, r.y, r.w, r.h)), "")
                    << r.x << "," << r.y << " " << r.w << "x" << r.h;
            }
        }
    // A rectangle outside the picture is refused; an empty one draws nothing.
    Image im(10, 10, 3, 0x5A);
    EXPECT_THROW(page->render(im.px.data(), 30, Photometric::RGB, Rect{95, 0, 10, 10}, 100, 77, 7, 0), Exception);
    page->render(im.px.data(), 30, Photometric::RGB, Rect{5, 5, 0, 3}, 100, 77, 7, 0);
    EXPECT_EQ(im.px, Image(10, 10, 3, 0x5A).px);
}

Image blackMask(Page& page, uint32_t width, uint32_t height, Rect rect, Photometric photometric)
{
    if (rect.w == 0) rect = {0, 0, width, height};
    Image out(rect.w, rect.h, photometric == Photometric::Gray ? 1 : 3, 0x5A);
    page.renderBlackMask(out.px.data(), out.stride(), photometric, rect, width, height, 0);
    return out;
}

// The black mask of a page is what a page of nothing but its mask draws, whatever shape colours
// and colour layers the page has, turned by the page's rotation, whole and in parts.
TEST(BlackMask, IsThePagesMaskAloneWithoutItsColours)
{
    std::mt19937 rng(5);
    for (const char* file : {"render/layers.djvu", "render/layers_rot270.djvu", "jb2/zones.djvu", "mmr/text_odd_inv.djvu"}) {
        const AutoPtr<Page> page = openDocument(file)->getPages()[0];
        PageBuilder bare(uint16_t(page->getStoredWidth()), uint16_t(page->getStoredHeight()));
        for (const char* id : {"Sjbz", "Smmr"}) bare.add(id, chunksOf(file, id));
        const AutoPtr<Page> maskOnly = bare.page();
        const int rotation = int(page->getRotation());
        const uint32_t W = page->getWidth(), H = page->getHeight();
        for (Photometric p : {Photometric::RGB, Photometric::BGR, Photometric::Gray, Photometric::YCbCr})
            for (const auto& [w, h] : {std::pair{W, H}, thumbnailSize(W, H, 256), std::pair{W + W / 2, H + H / 3}}) {
                SCOPED_TRACE(std::string(file) + " photometric " + std::to_string(int(p)) + " at " +
                             std::to_string(w) + "x" + std::to_string(h));
                const Image whole = blackMask(*page, w, h, {}, p);
                ASSERT_EQ(firstDifference(whole, render(*maskOnly, w, h, {}, Page::layerMask, p, rotation)), "");
                const Rect r = imagingtest::randomRect(rng, w, h);
                EXPECT_EQ(firstDifference(blackMask(*page, w, h, r, p), whole.crop(r.x, r.y, r.w, r.h)), "");
            }
        // Zero sizes stand for the displayed size.
        EXPECT_EQ(firstDifference(blackMask(*page, 0, 0, {0, 0, W, H}, Photometric::Gray),
                                  blackMask(*page, W, H, {}, Photometric::Gray)),
                  "");
    }
    // Controls: the palette page's mask layer is coloured, and the compound page's is its
    // foreground image; neither is the black mask.
    for (const char* file : {"jb2/zones.djvu", "render/layers.djvu"}) {
        const AutoPtr<Page> page = openDocument(file)->getPages()[0];
        EXPECT_NE(firstDifference(render(*page, 0, 0, {}, Page::layerMask),
                                  blackMask(*page, page->getWidth(), page->getHeight(), {}, Photometric::RGB)),
                  "")
            << file;
    }
}

TEST(BlackMask, WithoutAMaskWhiteAndBadArgumentsRefused)
{
    const AutoPtr<Page> none = PageBuilder(640, 480).add("BG44", chunksOf("iw44/photo.djvu", "BG44")).page();
    EXPECT_EQ(blackMask(*none, 15, 10, {}, Photometric::Gray).px, Image(15, 10, 1, 255).px);

    const AutoPtr<Page> page = openDocument("jb2/zones.djvu")->getPages()[0];
    Image im(10, 10, 3, 0x5A);
    expectThrow([&] { page->renderBlackMask(im.px.data(), 30, Photometric::Bytes3, Rect{0, 0, 10, 10}, 0, 0, 0); },
                7, "_Vtx_Internal_NS_::PageImpl::renderBlackMask", "Unknown photometric!");
    expectThrow([&] { page->renderBlackMask(im.px.data(), 30, Photometric::RGB, Rect{95, 0, 10, 10}, 100, 77, 0); },
                7, "_Vtx_Internal_NS_::PageImpl::renderBlackMask", "errInvalidParam");
    EXPECT_EQ(im.px, Image(10, 10, 3, 0x5A).px) << "nothing is drawn before the checks";
}

} // namespace
