#include <gtest/gtest.h>

#include "vtx_exception.h"
#include "vtx_stream.h"

#include <utility>
#include <vector>

using namespace Vantorix;

namespace {

template <class F>
int32_t codeOf(F&& f)
{
    try {
        f();
    } catch (const Exception& e) {
        return e.getCode();
    }
    return 0;
}

AutoPtr<MemoryStorage> tenBytes()
{
    uint8_t bytes[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    return MemoryStorage::create(bytes, 10);
}

} // namespace

TEST(MemoryStorage, ReadsAtTheEnd)
{
    auto s = tenBytes();
    uint8_t buf[4];
    s->setPos(8);
    EXPECT_EQ(s->readBytes(buf, 4, false), 2u);
    EXPECT_EQ(buf[0], 8);
    s->setPos(8);
    try {
        s->readBytes(buf, 4, true);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.getCode(), 26);
        EXPECT_NE(std::string(e.what()).find("Vantorix::MemoryStorageImpl::readBytes: Error 26: No more data!"),
                  std::string::npos);
    }
    EXPECT_EQ(s->getPos(), 8u);
    s->setPos(10);
    EXPECT_EQ(s->readBytes(buf, 4, false), 0u);
    EXPECT_TRUE(s->isEof());
}

TEST(MemoryStorage, PositionArithmetic)
{
    auto s = tenBytes();
    EXPECT_EQ(codeOf([&] { s->setPos(uint64_t(1) << 32); }), 7);
    s->setPos(0);
    s->setPosRelative(-1);
    EXPECT_EQ(s->getPos(), 0xFFFFFFFFu);
    uint8_t b;
    EXPECT_EQ(s->readBytes(&b, 1, false), 0u);
    s->setPosFromEnd(-3);
    EXPECT_EQ(s->getPos(), 7u);
}

TEST(MemoryStorage, WritingGrowsAndSetEofTruncates)
{
    auto s = MemoryStorage::create();
    s->setPos(5);
    s->writeBytes("abc", 3);
    EXPECT_EQ(s->getSize(), 8u);
    auto t = tenBytes();
    t->setPos(4);
    t->setEof();
    EXPECT_EQ(t->getSize(), 4u);
}

TEST(MemoryStorage, ReadOnlyRefusals)
{
    auto s = tenBytes();
    s->setReadOnly(true);
    EXPECT_EQ(codeOf([&] { s->writeBytes("x", 1); }), 17);
    EXPECT_EQ(codeOf([&] { s->setEof(); }), 26);
    EXPECT_EQ(codeOf([&] { s->reserve(100); }), 26);
    EXPECT_EQ(codeOf([&] { s->getArray(); }), 26);
    EXPECT_EQ(codeOf([&] { s->setAllocationUnit(1); }), 26);
}

TEST(MemoryStorage, DuplicateSharesBytesAndOutlivesOriginal)
{
    AutoPtr<Storage> dup;
    {
        auto s = tenBytes();
        s->setPos(3);
        dup = s->duplicate();
    }
    uint8_t b = 0;
    EXPECT_EQ(dup->getPos(), 3u);
    EXPECT_EQ(dup->readBytes(&b, 1, true), 1u);
    EXPECT_EQ(b, 3);
}

TEST(Stream, CopyWithCountZeroCopiesEverything)
{
    auto src = tenBytes();
    auto dst = MemoryStorage::create();
    EXPECT_EQ(dst->copyFrom(*src, 0, 4, nullptr, nullptr), 10u);
    EXPECT_EQ(dst->getSize(), 10u);
    src->setPos(0);
    auto dst2 = MemoryStorage::create();
    EXPECT_EQ(dst2->copyFrom(*src, 7, 4, nullptr, nullptr), 7u);
}

TEST(Stream, CopyReportsProgress)
{
    struct Log {
        std::vector<std::pair<uint32_t, uint32_t>> calls;
    } log;
    auto record = [](void* ctx, uint32_t done, uint32_t total) {
        static_cast<Log*>(ctx)->calls.emplace_back(done, total);
    };
    auto src = tenBytes();
    auto dst = MemoryStorage::create();
    EXPECT_EQ(dst->copyFrom(*src, 7, 4, record, &log), 7u);
    std::vector<std::pair<uint32_t, uint32_t>> counted = {{0, 7}, {4, 7}, {7, 7}};
    EXPECT_EQ(log.calls, counted);
    EXPECT_EQ(src->getPos(), 7u); // no byte beyond the count is taken from the source
    log.calls.clear();
    src->setPos(0);
    EXPECT_EQ(dst->copyAllFrom(*src, 4, record, &log), 10u);
    std::vector<std::pair<uint32_t, uint32_t>> all = {{0, 0}, {4, 0}, {8, 0}, {10, 0}};
    EXPECT_EQ(log.calls, all);
}
