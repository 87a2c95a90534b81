// The stream adapter against an IStream that fails, answers S_FALSE, delivers short counts,
// takes nothing on write or has no name.
#include <gtest/gtest.h>

#include <functional>

#include "StreamWrapper.h"
#include "fake_istream.h"
#include "testutil.h"
#include "vtx_exception.h"

using namespace Vantorix;

namespace {

struct Adapter {
    FakeIStream stream;
    AutoPtr<Storage> storage;
    explicit Adapter(size_t bytes = 100)
    {
        for (size_t i = 0; i < bytes; ++i) stream.data.push_back(uint8_t(i));
        storage = AutoPtr<Storage>(new StorageFromIStream(&stream));
    }
};

// The adapter's own function names, unqualified: the message line has " : name: Error ...".
void expectThrow(std::function<void()> call, int32_t code, const char* function, const char* text)
{
    vtxtest::expectThrow(call, code, std::string(" : StorageFromIStream::") + function, text);
}

TEST(StorageFromIStream, HoldsOneReferenceForItsLife)
{
    FakeIStream stream;
    {
        AutoPtr<Storage> s(new StorageFromIStream(&stream));
        EXPECT_EQ(stream.refs, 2u);
        AutoPtr<Storage> d = s->duplicate();
        EXPECT_EQ(d.get(), s.get());
        EXPECT_EQ(stream.refs, 2u);
    }
    EXPECT_EQ(stream.refs, 1u);
}

TEST(StorageFromIStream, ReadsWholeAndShortCounts)
{
    struct Case {
        const char* what;
        std::deque<FakeIStream::Reply> replies;
        uint32_t size;
        bool exact;
        uint32_t got;
        bool eof;
        size_t readCalls;
    };
    const Case cases[] = {
        {"all at once", {}, 40, false, 40, false, 1},
        {"exact in pieces", {{S_OK, 7}, {S_OK, 7}, {S_OK, 100}}, 40, true, 40, false, 3},
        {"short without exact stops at once", {{S_OK, 7}}, 40, false, 7, true, 1},
        {"nothing wanted", {}, 0, true, 0, false, 1},
    };
    for (const Case& c : cases) {
        Adapter a;
        a.stream.reads = c.replies;
        std::vector<uint8_t> buf(c.size + 1, 0xEE);
        EXPECT_EQ(a.storage->readBytes(buf.data(), c.size, c.exact), c.got) << c.what;
        for (uint32_t i = 0; i < c.got; ++i) ASSERT_EQ(buf[i], uint8_t(i)) << c.what;
        EXPECT_EQ(buf[c.got], 0xEE) << c.what;
        EXPECT_EQ(a.storage->isEof(), c.eof) << c.what;
        EXPECT_EQ(a.stream.calls.size(), c.readCalls) << c.what;
    }
}

TEST(StorageFromIStream, FailingReadsThrow16)
{
    struct Case {
        const char* what;
        std::deque<FakeIStream::Reply> replies;
        bool falseAtEnd;
        bool exact;
        bool eof;
    };
    const Case cases[] = {
        {"error result", {{E_FAIL, 100}}, false, false, false},
        {"S_FALSE at the end, not exact", {}, true, false, false},
        {"S_FALSE at the end, exact", {}, true, true, false},
        {"error on the second call", {{S_OK, 10}, {STG_E_ACCESSDENIED, 10}}, false, true, false},
        {"exact read that gets nothing more", {{S_OK, 10}, {S_OK, 0}}, false, true, true},
    };
    for (const Case& c : cases) {
        Adapter a(20);
        a.stream.reads = c.replies;
        a.stream.falseAtEnd = c.falseAtEnd;
        uint8_t buf[64];
        expectThrow([&] { a.storage->readBytes(buf, 64, c.exact); }, 16, "readBytes", "IStream::Read failed!");
        EXPECT_EQ(a.storage->isEof(), c.eof) << c.what;
    }
}

TEST(StorageFromIStream, EofIsNeverCleared)
{
    Adapter a(10);
    uint8_t buf[20];
    EXPECT_EQ(a.storage->readBytes(buf, 20, false), 10u);
    EXPECT_TRUE(a.storage->isEof());
    a.storage->setPos(0);
    EXPECT_TRUE(a.storage->isEof());
    a.storage->readBytes(buf, 5, true);
    EXPECT_TRUE(a.storage->isEof());
}

TEST(StorageFromIStream, WritesUntilAllIsTaken)
{
    Adapter a(0);
    a.stream.writes = {{S_OK, 3}, {S_OK, 3}};
    const uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    a.storage->writeBytes(bytes, 8);
    EXPECT_EQ(a.stream.data, std::vector<uint8_t>(bytes, bytes + 8));
    EXPECT_EQ(a.stream.calls, (std::vector<std::string>{"Write 8", "Write 5", "Write 2"}));
}

TEST(StorageFromIStream, FailingWritesThrow17)
{
    const std::deque<FakeIStream::Reply> cases[] = {
        {{E_FAIL, 8}},
        {{S_FALSE, 8}},
        {{S_OK, 4}, {STG_E_MEDIUMFULL, 0}},
        {{S_OK, 0}}, // success without progress would never end
    };
    for (const auto& replies : cases) {
        Adapter a(0);
        a.stream.writes = replies;
        const uint8_t bytes[8] = {};
        expectThrow([&] { a.storage->writeBytes(bytes, 8); }, 17, "writeBytes", "IStream::Write failed!");
    }
}

TEST(StorageFromIStream, PositionsAndSizeMapOntoSeekAndStat)
{
    Adapter a(100);
    EXPECT_EQ(a.storage->getSize(), 100u);
    a.storage->setPos(30);
    a.storage->setPosRelative(-5);
    EXPECT_EQ(a.storage->getPos(), 25u);
    a.storage->setPosFromEnd(-10);
    EXPECT_EQ(a.storage->getPos(), 90u);
    a.storage->flushBuffer(); // the stream's failing Commit is ignored
    EXPECT_EQ(a.stream.calls, (std::vector<std::string>{"Stat 1", "Seek 30 0", "Seek -5 1", "Seek 0 1", "Seek -10 2",
                                                        "Seek 0 1", "Commit 0"}));
}

TEST(StorageFromIStream, SetEofTruncatesAtThePosition)
{
    Adapter a(200);
    a.storage->setPos(100);
    EXPECT_FALSE(a.storage->isEof());
    a.storage->setEof(); // SetSize's failure is ignored
    EXPECT_TRUE(a.storage->isEof());
    EXPECT_EQ(a.stream.calls.back(), "SetSize 100");
}

TEST(StorageFromIStream, FailingSeekAndStatThrow26)
{
    Adapter a;
    a.stream.seekResult = S_FALSE;
    a.stream.statResult = E_FAIL;
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"getPos", [&] { a.storage->getPos(); }},
        {"setPos", [&] { a.storage->setPos(1); }},
        {"setPosRelative", [&] { a.storage->setPosRelative(1); }},
        {"setPosFromEnd", [&] { a.storage->setPosFromEnd(1); }},
    };
    for (const auto& [name, call] : cases) expectThrow(call, 26, name, "IStream::Seek failed!");
    expectThrow([&] { a.storage->getSize(); }, 26, "getSize", "IStream::Stat failed!");
}

TEST(StorageFromIStream, NameFromStatOrTheAddress)
{
    Adapter named;
    named.stream.name = L"C:\\docs\\b\u00e9ta.djvu";
    EXPECT_STREQ(named.storage->getName().getUtf8(), "C:\\docs\\b\xc3\xa9ta.djvu");
    EXPECT_EQ(named.stream.calls.back(), "Stat 0");

    // The library's formatter writes %p as the address in decimal.
    Adapter anonymous;
    const std::string expected =
        "IStream " + std::to_string(reinterpret_cast<uintptr_t>(static_cast<IStream*>(&anonymous.stream)));
    EXPECT_EQ(anonymous.storage->getName().toStdString(), expected);
    anonymous.stream.statResult = STG_E_ACCESSDENIED;
    EXPECT_EQ(anonymous.storage->getName().toStdString(), expected);
}

} // namespace
