// Multi-page documents: the DIRM directory of files made by the encoders, and bundled
// documents assembled around directory tables that the fixture script compressed.
#include <gtest/gtest.h>

#include <string>

#include "chunkmanager/djv_latebindingchunk.h"
#include "container_test_util.h"
#include "djv_iff.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace ContainerTest;

namespace {

const std::string kDir = VTX_FIXTURE_DIR "/container/";

const Bytes kInfo = chunk("INFO", info(100, 50, 24, Bytes("\0\x2c\x01\x16\x01", 5)));
const Bytes kShared = form("DJVI", chunk("Djbz", "abcd"));                    // 24 bytes
const Bytes kPage = form("DJVU", kInfo + chunk("INCL", "a.iff"));              // 44 bytes
const Bytes kSelfIncluding = form("DJVI", chunk("INCL", "a.iff"));            // 26 bytes

// A bundled document: the directory (table compressed by the fixture script), then the
// components in order. shift moves every offset, to make them wrong.
Bytes bundle(const std::string& table, std::initializer_list<Bytes> components, int shift = 0)
{
    Bytes bzz = slurp(kDir + table);
    uint32_t count = uint32_t(components.size());
    Bytes dirm = Bytes{'\x81', char(count >> 8), char(count)};
    uint32_t offset = 16 + 8 + uint32_t(3 + 4 * count + bzz.size() + ((3 + 4 * count + bzz.size()) & 1));
    Bytes body;
    for (const Bytes& c : components) {
        dirm += be32(offset + shift);
        offset += uint32_t(c.size());
        body += c;
    }
    return file(form("DJVM", chunk("DIRM", dirm + bzz) + body));
}

IFF::Directory directoryOf(const Bytes& bytes)
{
    AutoPtr<Storage> s = streamOf(bytes);
    IFF::ChunkHeader top = IFF::readChunkHeader(*s);
    EXPECT_TRUE(top.isForm());
    EXPECT_EQ(IFF::readFormType(*s), "DJVM");
    IFF::ChunkHeader dirm = IFF::readChunkHeader(*s);
    EXPECT_EQ(dirm.getId(), "DIRM");
    return IFF::readDIRM(s, dirm.length);
}

} // namespace

TEST(Directory, EncodersDirectoriesLocateTheirComponents)
{
    struct Expect {
        const char* file;
        uint32_t count, pages;
    } files[] = {{"dict.djvu", 4, 3}, {"doc.djvu", 4, 3}};
    for (const Expect& f : files) {
        Bytes bytes = slurp(kDir + f.file);
        ASSERT_FALSE(bytes.empty()) << f.file;
        IFF::Directory dir = directoryOf(bytes);
        EXPECT_TRUE(dir.bundled);
        ASSERT_EQ(dir.entries.getSize(), f.count) << f.file;
        uint32_t pages = 0;
        for (const IFF::DIRMEntry& e : dir.entries) {
            pages += e.kind == IFF::kindPage;
            EXPECT_FALSE(e.id.isEmpty());
            // Every offset points at a FORM whose size is the directory's.
            ASSERT_LT(e.offset + 12, bytes.size());
            EXPECT_EQ(bytes.substr(e.offset, 4), "FORM") << e.id.toStdString();
            uint32_t len = uint8_t(bytes[e.offset + 4]) << 24 | uint8_t(bytes[e.offset + 5]) << 16 |
                           uint8_t(bytes[e.offset + 6]) << 8 | uint8_t(bytes[e.offset + 7]);
            EXPECT_EQ(len + 8, e.size) << e.id.toStdString();
        }
        EXPECT_EQ(pages, f.pages) << f.file;
    }
    // The indirect index names files instead.
    IFF::Directory ind = directoryOf(slurp(kDir + "doc_indirect/index.djvu"));
    EXPECT_FALSE(ind.bundled);
    ASSERT_EQ(ind.entries.getSize(), 4u);
    EXPECT_EQ(ind.entries[0].id, "shared_anno.iff");
    EXPECT_EQ(ind.entries[1].id, "p0001.djvu");
}

TEST(Directory, NamesTitlesAndUnterminatedStrings)
{
    IFF::Directory dir = directoryOf(bundle("dirm_names.bzz", {kPage, kShared}));
    ASSERT_EQ(dir.entries.getSize(), 2u);
    EXPECT_EQ(dir.entries[0].id, "p1");
    EXPECT_EQ(dir.entries[0].name, "page1.djvu");
    EXPECT_EQ(dir.entries[0].title, "Cover");
    EXPECT_EQ(dir.entries[0].kind, 1);
    EXPECT_EQ(dir.entries[0].size, 40u);
    EXPECT_EQ(dir.entries[1].id, "s");
    EXPECT_EQ(dir.entries[1].name, "s.iff");
    EXPECT_EQ(dir.entries[1].title, "");
    EXPECT_EQ(dir.entries[1].kind, 0);

    vtxtest::Thrown t = thrownBy([&] { directoryOf(bundle("dirm_unterminated.bzz", {kPage})); });
    EXPECT_EQ(t.code, 20);
    EXPECT_TRUE(contains(t.message, "DIRM string is not terminated!")) << t.message;
}

TEST(Directory, ComponentsAreLateAndShareTheirDictionary)
{
    IFF::Summary summary;
    AutoPtr<Chunk> top = IFF::deserialize_IFF(streamOf(bundle("dirm_two.bzz", {kShared, kPage})), nullptr, nullptr,
                                              nullptr, nullptr, nullptr, &summary);
    EXPECT_TRUE(summary.bundled);
    ChunkArray& comps = top->getChildren();
    ASSERT_EQ(comps.getSize(), 2u);
    auto* shared = dynamic_cast<DjVuLateBindingChunk*>(comps[0].get());
    auto* page = dynamic_cast<DjVuLateBindingChunk*>(comps[1].get());
    ASSERT_TRUE(shared && page);
    EXPECT_EQ(page->getId(), "DJVU");
    EXPECT_FALSE(page->isLoaded()); // answered from the directory
    EXPECT_EQ(shared->getName(), "a.iff");

    EXPECT_EQ(shared->getId(), "DJVI"); // kind 0 loads to answer
    ASSERT_TRUE(shared->isLoaded());
    ChunkArray& pageChildren = page->getChildren();
    ASSERT_EQ(pageChildren.getSize(), 2u);
    EXPECT_EQ(pageChildren[1]->getId(), "Djbz");
    EXPECT_EQ(pageChildren[1].get(), shared->getChildren()[0].get());
    EXPECT_EQ(payloadOf(*pageChildren[1]), "abcd");
}

TEST(Directory, BrokenComponentsFailOnlyWhenUsed)
{
    // A component that includes itself.
    AutoPtr<Chunk> cyc = IFF::deserialize_IFF(streamOf(bundle("dirm_cycle.bzz", {kSelfIncluding, kPage})));
    EXPECT_NE(thrownBy([&] { cyc->getChildren()[1]->getChildren(); }).message.find("in a cycle!"), std::string::npos);
    EXPECT_NE(thrownBy([&] { cyc->getChildren()[1]->getChildren(); }).message.find("Chunk cannot be deserialized!"),
              std::string::npos);

    // Offsets that miss the components.
    AutoPtr<Chunk> off = IFF::deserialize_IFF(streamOf(bundle("dirm_two.bzz", {kShared, kPage}, 2)));
    EXPECT_EQ(off->getChildren().getSize(), 2u);
    EXPECT_THROW(off->getChildren()[1]->getChildren(), Exception);
    AutoPtr<Chunk> far = IFF::deserialize_IFF(streamOf(bundle("dirm_two.bzz", {kShared, kPage}, 1 << 20)));
    EXPECT_THROW(far->getChildren()[1]->getChildren(), Exception);

    // A page component that is something else.
    AutoPtr<Chunk> swapped = IFF::deserialize_IFF(streamOf(bundle("dirm_two.bzz", {kPage, kShared})));
    EXPECT_NE(thrownBy([&] { swapped->getChildren()[1]->getChildren(); }).message.find("not of the kind"), std::string::npos);
}
