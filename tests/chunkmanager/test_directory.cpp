// Bundled documents assembled around directory tables that the fixture script compressed. The
// encoders' own directories are read by every document test.
#include <gtest/gtest.h>

#include <string>

#include "chunkmanager/djv_latebindingchunk.h"
#include "container_test_util.h"
#include "djv_iff.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace ContainerTest;

namespace {

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
    IFF::readChunkHeader(*s); // FORM:DJVM, then DIRM
    IFF::readFormType(*s);
    return IFF::readDIRM(s, IFF::readChunkHeader(*s).length);
}

} // namespace

TEST(Directory, NamesTitlesAndUnterminatedStrings)
{
    IFF::Directory dir = directoryOf(bundle("dirm_names.bzz", {kPage, kShared}));
    auto row = [](const IFF::DIRMEntry& e) {
        return (e.id + "|" + e.name + "|" + e.title).toStdString() + "|" + std::to_string(e.kind) + "|" +
               std::to_string(e.size);
    };
    ASSERT_EQ(dir.entries.getSize(), 2u);
    EXPECT_EQ(row(dir.entries[0]), "p1|page1.djvu|Cover|1|40");
    EXPECT_EQ(row(dir.entries[1]), "s|s.iff||0|24");

    vtxtest::Thrown t = thrownBy([&] { directoryOf(bundle("dirm_unterminated.bzz", {kPage})); });
    EXPECT_TRUE(t.code == 20 && contains(t.message, "DIRM string is not terminated!")) << t.message;
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
    EXPECT_TRUE(shared->isLoaded());
    ChunkArray& pageChildren = page->getChildren();
    ASSERT_EQ(pageChildren.getSize(), 2u);
    EXPECT_EQ(pageChildren[1].get(), shared->getChildren()[0].get());
    EXPECT_EQ(payloadOf(*pageChildren[1]), "abcd");
}

TEST(Directory, BrokenComponentsFailOnlyWhenUsed)
{
    // A component that includes itself.
    AutoPtr<Chunk> cyc = IFF::deserialize_IFF(streamOf(bundle("dirm_cycle.bzz", {kSelfIncluding, kPage})));
    EXPECT_TRUE(contains(thrownBy([&] { cyc->getChildren()[1]->getChildren(); }).message, "in a cycle!"));
    EXPECT_TRUE(contains(thrownBy([&] { cyc->getChildren()[1]->getChildren(); }).message, "cannot be deserialized!"));

    // Offsets that miss the components.
    for (int shift : {2, 1 << 20}) {
        AutoPtr<Chunk> off = IFF::deserialize_IFF(streamOf(bundle("dirm_two.bzz", {kShared, kPage}, shift)));
        ASSERT_EQ(off->getChildren().getSize(), 2u);
        EXPECT_THROW(off->getChildren()[1]->getChildren(), Exception) << shift;
    }

    // A page component that is something else.
    AutoPtr<Chunk> swapped = IFF::deserialize_IFF(streamOf(bundle("dirm_two.bzz", {kPage, kShared})));
    EXPECT_TRUE(contains(thrownBy([&] { swapped->getChildren()[1]->getChildren(); }).message, "not of the kind"));
}
