// The mask renderer and dictionary wrappers that the renderer registry builds from chunks.
#include <gtest/gtest.h>

#include "djv_jb2renderer.h"
#include "jb2_test_util.h"
#include "vtx_exception.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;
using namespace jb2test;
using RendererPrivate::JB2MaskDict;
using RendererPrivate::JB2MaskRenderer;

namespace {

// A leaf chunk over bytes in memory: just what the wrappers use.
class BytesData : public Data {
public:
    explicit BytesData(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    const uint8_t* getBytes() override { return bytes_.data(); }
    uint32_t getLength() override { return uint32_t(bytes_.size()); }
    AutoPtr<Storage> getStream(bool) override
    {
        return AutoPtr<Storage>(MemoryStorage::create(bytes_.data(), uint32_t(bytes_.size())));
    }
    void load() override {}
    AutoPtr<Data> clone() override { return makeAuto<BytesData>(bytes_); }
    void compact() override {}
    void lock() override {}
    void unlock() override {}

private:
    std::vector<uint8_t> bytes_;
};

class LeafChunk : public Chunk {
public:
    LeafChunk(const char* id, std::vector<uint8_t> bytes) : id_(id), data_(makeAuto<BytesData>(std::move(bytes))) {}
    String getId() override { return id_; }
    AutoPtr<Data> getData() override { return data_; }
    void setData(const AutoPtr<Data>& data) override { data_ = data; }
    ChunkArray& getChildren() override { throw Exception(26, "Not a collection chunk!", __FILE__, __LINE__, "test"); }
    int32_t find(const String&, const String&, int32_t, bool) override { return -1; }
    int32_t find(const String&, int32_t, bool) override { return -1; }
    bool isRedirector() override { return false; }
    bool isAvailable() override { return true; }
    bool isCollection() override { return false; }
    void loadAll(ChunkCallback, void*) override {}
    void compact() override {}
    void lock() override {}
    void unlock() override {}

private:
    String id_;
    AutoPtr<Data> data_;
};

AutoPtr<Chunk> chunk(const char* id, const std::string& file)
{
    return makeAuto<LeafChunk>(id, readFile(fixtureDir() + file));
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
    EXPECT_GT(shapes->getShapes().size(), 0u);

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

TEST(JB2MaskRenderer, DecodingErrorsReachTheCaller)
{
    EXPECT_THROW(JB2MaskDict::create(makeAuto<LeafChunk>("Djbz", std::vector<uint8_t>{0x12, 0x34, 0x56})), Exception);
    EXPECT_THROW(JB2MaskRenderer::create(nullptr, nullptr), Exception);
}

} // namespace
