// The mask renderer and dictionary wrappers that the renderer registry builds from chunks.
#include <gtest/gtest.h>

#include "djv_chunkimpls.h"
#include "djv_jb2renderer.h"
#include "jb2_test_util.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;
using namespace jb2test;
using RendererPrivate::JB2MaskDict;
using RendererPrivate::JB2MaskRenderer;

namespace {

AutoPtr<Chunk> chunk(const char* id, const std::string& file)
{
    const std::vector<uint8_t> bytes = readFile(fixtureDir() + file);
    return ChunkImpl::create(id, bytes.data(), uint32_t(bytes.size()));
}

// A dictionary of some other kind: its codec is not a JB2 dictionary.
class OtherDictionary : public Dictionary {
public:
    String getChunkId() override { return "Xxxx"; }
    AutoPtr<Referable> getCodec() override { return AutoPtr<Referable>(MemoryStorage::create()); }
};

TEST(JB2MaskRenderer, BuildsThePageWithItsDictionary)
{
    AutoPtr<Dictionary> dict = JB2MaskDict::create(chunk("Djbz", "minidjvu_p1.djbz"));
    EXPECT_EQ(dict->getChunkId(), "Djbz");
    auto* shapes = dynamic_cast<JB2Dictionary*>(dict->getCodec().get());
    ASSERT_NE(shapes, nullptr);

    AutoPtr<Renderer> mask = JB2MaskRenderer::create(chunk("Sjbz", "minidjvu_p1.sjbz"), dict);
    EXPECT_EQ(mask->getChunkId(), "Sjbz");
    EXPECT_EQ(mask->getWidth(), 1100u);
    EXPECT_EQ(mask->getHeight(), 300u);
    auto* page = dynamic_cast<JB2Page*>(mask->getCodec().get());
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->getDictionary().get(), shapes);

    // The page needs its dictionary's shapes: without them the count check fails.
    EXPECT_THROW(JB2MaskRenderer::create(chunk("Sjbz", "minidjvu_p1.sjbz"), makeAuto<OtherDictionary>()), Exception);
    EXPECT_THROW(JB2MaskRenderer::create(chunk("Sjbz", "minidjvu_p1.sjbz"), nullptr), Exception);
    EXPECT_THROW(JB2MaskDict::create(ChunkImpl::create("Djbz", "\x12\x34\x56", 3)), Exception);
    EXPECT_THROW(JB2MaskRenderer::create(nullptr, nullptr), Exception);
}

TEST(JB2MaskRenderer, TakesOneFGbzChunk)
{
    AutoPtr<Renderer> mask = JB2MaskRenderer::create(chunk("Sjbz", "cpaldjvu.sjbz"), nullptr);
    auto* page = dynamic_cast<JB2Page*>(mask->getCodec().get());
    EXPECT_FALSE(mask->addChunk(chunk("BG44", "cpaldjvu.fgbz")));
    EXPECT_FALSE(page->hasFGbz());
    EXPECT_TRUE(mask->addChunk(chunk("FGbz", "cpaldjvu.fgbz")));
    EXPECT_TRUE(page->hasFGbz());
    EXPECT_FALSE(mask->addChunk(chunk("FGbz", "cpaldjvu.fgbz")));
}

} // namespace
