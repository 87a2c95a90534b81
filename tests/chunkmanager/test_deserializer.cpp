// Reading IFF files built in memory: the shape of the tree, lazy pages, every error of the
// reader, inclusion (sharing, cycles, malformed components) and recovery.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "container_test_util.h"
#include "djv_chunkimpls.h"
#include "djv_iff.h"
#include "djv_payload.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace ContainerTest;

namespace {

AutoPtr<Chunk> read(const Bytes& bytes, const AutoPtr<ResourceBroker>& broker = nullptr,
                    IFF::FormRecords* records = nullptr)
{
    return IFF::deserialize_IFF(streamOf(bytes), broker, records);
}

// The message line of the error met reading the whole tree ("" when there is none).
std::string errorOf(const Bytes& bytes, const AutoPtr<ResourceBroker>& broker = nullptr, int32_t* code = nullptr)
{
    vtxtest::Thrown t = thrownBy([&] { read(bytes, broker)->loadAll(nullptr, nullptr); });
    if (code) *code = t.code;
    return t.message;
}

struct CountingRecovery : IFFErrorRecoveryHandler {
    int errors = 0;
    bool onError(const Exception&) override { return ++errors, true; }
};

Bytes nested(int levels)
{
    Bytes inner = chunk("Sjbz", "x");
    for (int i = 0; i < levels; ++i) inner = form("DJVU", inner);
    return inner;
}

} // namespace

TEST(Deserializer, PagesAreReadWhenUsedAndTheirTreeIsRight)
{
    // The page's inside is broken, yet opening the file and asking its id reads nothing of it.
    Bytes bytes = file(form("DJVU", kInfo + Bytes("\x01\x02\x03\x04\0\0\0\0", 8)));
    IFF::FormRecords records;
    AutoPtr<Chunk> top = read(bytes, nullptr, &records);
    EXPECT_EQ(top->getId(), "DJVU");
    ASSERT_EQ(records.getSize(), 1u);
    EXPECT_EQ(records[0].offset, 4u);
    EXPECT_EQ(records[0].length, bytes.size() - 4);
    EXPECT_EQ(records[0].chunk.get(), top.get());
    expectThrow([&] { top->getChildren(); }, 20, "Vantorix::DjVu::IFF::recurseChunks",
                "Invalid IFF chunk ID; maybe a broken file?");
    // The failure is kept: later uses fail without reading again.
    vtxtest::Thrown again = thrownBy([&] { top->getChildren(); });
    EXPECT_EQ(again.code, 26);
    EXPECT_TRUE(contains(again.message, "Chunk cannot be deserialized!")) << again.message;

    // Pad bytes are skipped, nested forms become collections, the callback sees every chunk.
    std::vector<std::string> seen;
    auto note = [](void* ctx, Chunk* c) { static_cast<std::vector<std::string>*>(ctx)->push_back(c->getId().toStdString()); };
    AutoPtr<Chunk> page = IFF::deserialize_IFF(
        streamOf(form("DJVU", chunk("ANTa", "odd") + form("THUM", chunk("TH44", "ab")) + chunk("Sjbz", "jb2"))), nullptr,
        nullptr, note, &seen);
    EXPECT_TRUE(dynamic_cast<ChunkCollection*>(page.get())); // without the magic: read at once
    EXPECT_EQ(seen, (std::vector<std::string>{"ANTa", "TH44", "THUM", "Sjbz", "DJVU"}));
    ChunkArray& children = page->getChildren();
    ASSERT_EQ(children.getSize(), 3u);
    EXPECT_EQ(payloadOf(*children[0]), "odd");
    EXPECT_EQ(payloadOf(*children[1]->getChildren()[0]), "ab");
    EXPECT_EQ(payloadOf(*children[2]), "jb2");
}

TEST(Deserializer, BrokenFilesThrowTheirMessages)
{
    struct Case {
        Bytes bytes;
        const char* message;
    } cases[] = {
        {file(chunk("INFO", info(1, 1, 24))), "The top level chunk is not a FORM chunk!"},
        {chunk("INCL", "a.iff"), "The top level chunk is not a FORM chunk!"},
        {file(form("DJVU", "\x7FNFO" + be32(1) + "x")), "Invalid IFF chunk ID; maybe a broken file?"},
        {file(form("DJVU", "IN\x1FO" + be32(1) + "x")), "Invalid IFF chunk ID; maybe a broken file?"},
        {"FORM" + be32(2) + "DJ", "A FORM chunk is too short for its type!"},
        {file(form("DJVU", "BG44" + be32(0x7FFFFFF0) + "tail")), "The chunk extends far beyond the end of the file!"},
        {nested(IFF::kMaxNesting + 1), "IFF chunks are nested too deeply!"},
        {file(form("DJVU", chunk("INCL", Bytes(5000, 'a')))), "INCL names an impossibly long identifier!"},
    };
    for (const Case& c : cases) {
        int32_t code = 0;
        std::string message = errorOf(c.bytes, nullptr, &code);
        EXPECT_TRUE(contains(message, c.message) && code == 20) << c.message << " / got: " << code << " " << message;
    }
    // Ends of data come from the storage.
    EXPECT_THROW(read(""), Exception);
    EXPECT_THROW(read(file(form("DJVU", kInfo)).substr(0, 14))->getChildren(), Exception);
    // Nesting up to the limit is fine.
    EXPECT_EQ(errorOf(nested(IFF::kMaxNesting)), "");
}

TEST(Deserializer, LeafCutShortKeepsItsDeclaredLength)
{
    Bytes whole = file(form("DJVU", kInfo + chunk("BG44", Bytes(100, 'b'))));
    Bytes cut = whole.substr(0, whole.size() - 90);
    AutoPtr<Chunk> top = read(cut);
    AutoPtr<Data> data = top->getChildren()[1]->getData();
    EXPECT_EQ(payloadOf(*top->getChildren()[1]), Bytes(10, 'b') + Bytes(90, '\0'));
    // Only the bytes the file held earn decoders their work allowances.
    EXPECT_EQ(data->getPresentLength(), 10u);
    EXPECT_EQ(data->clone()->getPresentLength(), 10u);
    EXPECT_EQ(top->getChildren()[0]->getData()->getPresentLength(), top->getChildren()[0]->getData()->getLength());
    AutoPtr<Storage> stream = data->getStream(true);
    stream->setPos(4);
    EXPECT_EQ(_Vtx_Internal_NS_::remainingBytes(*stream), 6u);
    stream->setPos(40);
    EXPECT_EQ(_Vtx_Internal_NS_::remainingBytes(*stream), 0u);
}

TEST(Deserializer, IncludedComponentsAreSharedOnceAndMalformedOnesThrow)
{
    AutoPtr<MapBroker> broker = makeAuto<MapBroker>();
    broker->files["dict.iff"] = file(form("DJVI", chunk("Djbz", "shapes")));
    broker->files["x0"] = file(form("DJVU", kInfo));
    broker->files["x1"] = file(form("DJVI", ""));
    broker->files["x2"] = file(form("DJVI", chunk("Djbz", "a") + chunk("ANTz", "b")));
    broker->files["x3"] = file(form("DJVI", chunk("INCL", "x3")));
    broker->files["a"] = file(form("DJVI", chunk("INCL", "b")));
    broker->files["b"] = file(form("DJVI", chunk("INCL", "a")));
    for (int i = 0; i < 40; ++i) // a chain longer than the nesting limit
        broker->files["c" + std::to_string(i)] = file(form("DJVI", chunk("INCL", "c" + std::to_string(i + 1))));
    AutoPtr<ResourceBroker> b(broker);

    Bytes page = file(form("DJVU", kInfo + chunk("INCL", "dict.iff") + chunk("Sjbz", "m") + chunk("INCL", "dict.iff")));
    AutoPtr<Chunk> top = read(page, b);
    ChunkArray& children = top->getChildren();
    ASSERT_EQ(children.getSize(), 4u);
    EXPECT_EQ(payloadOf(*children[1]), "shapes"); // in the place of the INCL
    EXPECT_EQ(children[1].get(), children[3].get());
    EXPECT_EQ(broker->loads["dict.iff"], 1);

    const std::pair<const char*, const char*> cases[] = {
        {"x0", "No corresponding DJVI chunk!"},     {"x1", "DJVI does not have any child chunks!"},
        {"x2", "DJVI have multiple child chunks!"}, {"x3", "INCL chunks include each other in a cycle!"},
        {"a", "in a cycle!"},                       {"c0", "nested too deeply!"},
        {"missing", "no such test file"}, // the broker's own error
    };
    for (const auto& [name, text] : cases) {
        std::string message = errorOf(file(form("DJVU", kInfo + chunk("INCL", name))), b);
        EXPECT_TRUE(contains(message, text)) << name << ": " << message;
    }
}

TEST(Deserializer, DirectoryVersionsAndEmptyDirectory)
{
    const std::pair<char, const char*> cases[] = {{'\x80', "DIRM V0 is not supportted any more!"},
                                                  {'\x00', "DIRM V0 is not supportted any more!"},
                                                  {'\x82', "Unsupported DIRM version!"},
                                                  {'\x02', "Unsupported DIRM version!"}};
    for (const auto& [flags, text] : cases) {
        int32_t code = 0;
        std::string message = errorOf(file(form("DJVM", chunk("DIRM", Bytes(1, flags) + Bytes(2, '\0')))), nullptr, &code);
        EXPECT_TRUE(contains(message, text) && code == 27) << code << " " << message;
    }
    // Offsets that do not fit the chunk, and a table that is missing.
    EXPECT_TRUE(contains(errorOf(file(form("DJVM", chunk("DIRM", Bytes("\x81\x00\x05", 3) + Bytes(8, '\0'))))), "offsets exceed"));
    EXPECT_TRUE(contains(errorOf(file(form("DJVM", chunk("DIRM", Bytes("\x81\x00\x01", 3) + Bytes(4, '\0'))))), "no component table"));

    // An empty bundled directory: chunks after it stand in front, a FORM after it is not read.
    IFF::Summary summary;
    AutoPtr<Chunk> top = IFF::deserialize_IFF(
        streamOf(file(form("DJVM", chunk("DIRM", Bytes("\x81\0\0", 3)) + chunk("NAVM", "a") + chunk("ANTa", "b") +
                                        form("DJVU", "garbage!") + chunk("TXTa", "c")))),
        nullptr, nullptr, nullptr, nullptr, nullptr, &summary);
    EXPECT_TRUE(summary.hasDirectory && summary.bundled);
    ChunkArray& children = top->getChildren();
    ASSERT_EQ(children.getSize(), 2u);
    EXPECT_EQ(children[0]->getId(), "ANTa");
    EXPECT_EQ(children[1]->getId(), "NAVM");
}

TEST(Deserializer, RecoveryKeepsWhatWasReadBeforeAnError)
{
    Bytes broken = form("DJVM", form("DJVU", kInfo + "\x01\x02\x03\x04" + be32(0)) + form("DJVU", kInfo));
    EXPECT_THROW(read(broken), Exception);
    CountingRecovery recovery;
    AutoPtr<Chunk> top = IFF::deserialize_IFF(streamOf(broken), nullptr, nullptr, nullptr, nullptr, &recovery);
    EXPECT_EQ(recovery.errors, 1);
    ChunkArray& pages = top->getChildren();
    ASSERT_EQ(pages.getSize(), 2u);
    EXPECT_EQ(pages[0]->getChildren().getSize(), 1u); // INFO, then the broken chunk dropped
    EXPECT_EQ(pages[1]->getChildren().getSize(), 1u); // the next form is read as usual
}
