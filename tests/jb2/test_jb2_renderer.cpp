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

TEST(JB2MaskRenderer, BuildsThePageWithItsDictionaryAndTakesOneFGbz)
{
    AutoPtr<Dictionary> dict = JB2MaskDict::create(chunk("Djbz", "minidjvu_p1.djbz"));
    AutoPtr<Renderer> mask = JB2MaskRenderer::create(chunk("Sjbz", "minidjvu_p1.sjbz"), dict);
    EXPECT_EQ(dynamic_cast<JB2Page&>(*mask->getCodec()).getDictionary().get(), dict->getCodec().get());
    // Without its dictionary's shapes the page fails the count check.
    EXPECT_THROW(JB2MaskRenderer::create(chunk("Sjbz", "minidjvu_p1.sjbz"), makeAuto<OtherDictionary>()), Exception);
    EXPECT_THROW(JB2MaskRenderer::create(nullptr, nullptr), Exception);

    AutoPtr<Renderer> colours = JB2MaskRenderer::create(chunk("Sjbz", "cpaldjvu.sjbz"), nullptr);
    EXPECT_FALSE(colours->addChunk(chunk("BG44", "cpaldjvu.fgbz")));
    EXPECT_TRUE(colours->addChunk(chunk("FGbz", "cpaldjvu.fgbz")));
    EXPECT_TRUE(dynamic_cast<JB2Page&>(*colours->getCodec()).hasFGbz());
    EXPECT_FALSE(colours->addChunk(chunk("FGbz", "cpaldjvu.fgbz")));
}

} // namespace
