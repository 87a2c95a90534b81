// Pages: the INFO record (defaults, short records, orientation), displayed size, the visit
// with its callback, and the shared-dictionary table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "container_test_util.h"
#include "djv_chunkimpls.h"
#include "djv_dictmap.h"
#include "djv_document.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace ContainerTest;

namespace {

AutoPtr<Page> pageOf(const Bytes& infoPayload, const Bytes& more = Bytes())
{
    AutoPtr<Document> doc = Document::create(streamOf(file(form("DJVU", chunk("INFO", infoPayload) + more))));
    EXPECT_EQ(doc->getPages().getSize(), 1u);
    return doc->getPages()[0];
}

PageInfo infoOf(const Bytes& payload) { return PageInfo::read(*streamOf(payload)); }

// dpi 300 little-endian is 0x2C 0x01.
Bytes tail(uint8_t major, uint16_t dpi, uint8_t gamma, uint8_t flags)
{
    return Bytes{char(major), char(dpi), char(dpi >> 8), char(gamma), char(flags)};
}

void note(void* ctx, Chunk* c) { static_cast<std::vector<std::string>*>(ctx)->push_back(c->getId().toStdString()); }

struct FakeDictionary : Dictionary {
    String getChunkId() override { return "Djbz"; }
    AutoPtr<Referable> getCodec() override { return nullptr; }
};
int made = 0;
AutoPtr<Dictionary> makeFake(const AutoPtr<Chunk>&) { return ++made, makeAuto<FakeDictionary>(); }
AutoPtr<Dictionary> makeFailing(const AutoPtr<Chunk>&) { VTX_THROW(20, "bad dictionary", "test"); }

} // namespace

TEST(PageInfo, ShortRecordsKeepTheDefaultsOfWhatIsMissing)
{
    // A field cut in half is missing, and so is everything after it; dpi is little-endian.
    const std::pair<Bytes, const char*> cases[] = {
        {info(2480, 3508, 24), "2480x3508 v0.24 300 dpi g22 f1 r0"},
        {info(1, 2, 26, tail(3, 600, 18, 6)), "1x2 v3.26 600 dpi g18 f6 r1"},
        {info(1, 2, 26, Bytes{char(5), char(0x58)}), "1x2 v5.26 300 dpi g22 f1 r0"},
        {info(1, 2, 26, tail(0, 150, 20, 0).substr(0, 4)), "1x2 v0.26 150 dpi g20 f1 r0"},
    };
    for (const auto& [payload, want] : cases) {
        PageInfo i = infoOf(payload);
        EXPECT_EQ(std::to_string(i.width) + "x" + std::to_string(i.height) + " v" + std::to_string(i.majorVersion) + "." +
                      std::to_string(i.minorVersion) + " " + std::to_string(i.dpi) + " dpi g" + std::to_string(i.gamma) +
                      " f" + std::to_string(i.flags) + " r" + std::to_string(i.getRotation()),
                  want);
    }
    EXPECT_THROW(infoOf(Bytes("\x09\xb0\x0d", 3)), Exception);
    EXPECT_THROW(infoOf(""), Exception);
}

TEST(PageInfo, OrientationDependsOnFlagsAndVersion)
{
    struct Case {
        uint8_t minor, flags;
        uint32_t rotation;
    } cases[] = {{26, 6, 1}, {26, 2, 2}, {26, 4, 3}, {26, 5, 3}, {26, 1, 0}, {26, 0, 0},
                 {26, 0xF6, 1}, {22, 6, 1}, {21, 6, 0}, {21, 4, 0}, {0, 2, 0}};
    for (const Case& c : cases) EXPECT_EQ(infoOf(info(1, 2, c.minor, tail(0, 300, 22, c.flags))).getRotation(), c.rotation)
        << int(c.minor) << " " << int(c.flags);

    PageInfo old = infoOf(info(1, 2, 20, tail(0, 300, 22, 0xF1)));
    old.setRotation(1);
    EXPECT_EQ(old.flags, 0xF6u); // only bits 0-2 change
    EXPECT_EQ(old.minorVersion, 25u);
    for (uint32_t r = 0; r < 4; ++r) {
        PageInfo i = infoOf(info(1, 2, 24));
        i.setRotation(r);
        EXPECT_TRUE(i.getRotation() == r && i.minorVersion == 24u) << r;
    }
    EXPECT_THROW(old.setRotation(4), Exception);
}

TEST(Page, DisplayedSizeFollowsTheRotationAndTheRecordIsReadWhenUsed)
{
    AutoPtr<Page> page = pageOf(info(300, 200, 26, tail(0, 150, 22, 6)));
    EXPECT_FALSE(page->hasInfo());
    EXPECT_EQ(page->getWidth(), 200u);
    EXPECT_TRUE(page->hasInfo());
    EXPECT_EQ(page->getHeight(), 300u);
    EXPECT_EQ(page->getStoredWidth(), 300u);
    EXPECT_EQ(page->getStoredHeight(), 200u);
    page->setRotation(2);
    EXPECT_EQ(page->getWidth(), 300u);
    EXPECT_EQ(page->getInfo().flags & 7, 2u);
    page->setDpi(72);
    EXPECT_EQ(page->getDpi(), 72u);
    EXPECT_THROW(page->setRotation(7), Exception);
    EXPECT_EQ(pageOf(info(300, 200, 21, tail(0, 150, 22, 6)))->getWidth(), 300u);

    // Problems of the record surface when the page is used.
    AutoPtr<Page> zero = pageOf(info(0, 10, 24));
    EXPECT_EQ(zero->getWidth(), 0u);
    EXPECT_FALSE(zero->hasInfo()); // read again at every query
    EXPECT_EQ(zero->getHeight(), 10u);

    EXPECT_THROW(pageOf(Bytes("\x01\x00\x01", 3))->getWidth(), Exception);

    AutoPtr<Document> none = Document::create(streamOf(file(form("DJVU", chunk("Sjbz", "x")))));
    expectThrow([&] { none->getPages()[0]->getInfo(); }, 20, "_Vtx_Internal_NS_::PageImpl::getInfo",
                "The page has no INFO chunk!");

    // INFO need not come first.
    AutoPtr<Document> late = Document::create(streamOf(file(form("DJVU", chunk("ANTa", "x") + chunk("INFO", info(5, 6, 24))))));
    EXPECT_EQ(late->getPages()[0]->getWidth(), 5u);
}

TEST(Page, VisitReadsTheRecordAndCallsBackOncePerVisit)
{
    AutoPtr<Page> page = pageOf(info(40, 30, 24), chunk("ANTa", "m") + form("THUM", chunk("TH44", "t")) + chunk("TXTa", "b"));
    std::vector<std::string> ids;
    page->setChunkCallback(&note, &ids);
    EXPECT_EQ(page->getLastPhotometric(), -1);
    page->visit(Photometric::BGR);
    EXPECT_TRUE(page->hasInfo());
    EXPECT_EQ(page->getStoredWidth(), 40u);
    EXPECT_EQ(ids, (std::vector<std::string>{"INFO", "ANTa", "TH44", "THUM", "TXTa", "DJVU"}));
    page->visit(Photometric::RGB); // already visited
    EXPECT_EQ(ids.size(), 6u);
    EXPECT_EQ(page->getLastPhotometric(), int32_t(Photometric::RGB));
    page->unload();
    page->visit(Photometric::Gray);
    EXPECT_EQ(ids.size(), 12u);

    // A page that cannot be parsed stays unvisited, and fails again on the next visit.
    AutoPtr<Page> broken = pageOf(info(1, 1, 24), Bytes("\x01\x01\x01\x01\0\0\0\0", 8));
    EXPECT_THROW(broken->visit(Photometric::BGR), Exception);
    EXPECT_THROW(broken->visit(Photometric::BGR), Exception);
}

TEST(DictMap, OneDictionaryPerChunkObject)
{
    auto map = makeAuto<_Vtx_Internal_NS_::DictMap>();
    AutoPtr<Chunk> a = ChunkImpl::create("Djbz", "a", 1), b = ChunkImpl::create("Djbz", "a", 1);
    made = 0;
    AutoPtr<Dictionary> first = map->obtain(a, &makeFake);
    EXPECT_EQ(map->obtain(a, &makeFake).get(), first.get());
    EXPECT_NE(map->obtain(b, &makeFake).get(), first.get()); // equal bytes, another chunk
    EXPECT_EQ(made, 2);
    AutoPtr<Chunk> c = ChunkImpl::create("Djbz", "c", 1);
    EXPECT_THROW(map->obtain(c, &makeFailing), Exception);
    EXPECT_EQ(map->size(), 2u); // a failure leaves nothing behind
    EXPECT_EQ(map->obtain(c, &makeFake)->getChunkId(), "Djbz");
}
