#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "testutil.h"
#include "vtx_stream.h"

using namespace Vantorix;
using vtxtest::thrownBy;

namespace {

AutoPtr<MemoryStorage> tenBytes() { return vtxtest::streamOf(std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}); }

} // namespace

TEST(MemoryStorage, ReadsAndPositions)
{
    auto s = tenBytes();
    uint8_t buf[4];
    s->setPos(8);
    EXPECT_EQ(s->readBytes(buf, 4, false), 2u);
    EXPECT_EQ(buf[0], 8);
    s->setPos(8);
    vtxtest::expectThrow([&] { s->readBytes(buf, 4, true); }, 26, "Vantorix::MemoryStorageImpl::readBytes",
                         "No more data!");
    EXPECT_EQ(s->getPos(), 8u);
    s->setPos(10);
    EXPECT_EQ(s->readBytes(buf, 4, false), 0u);
    EXPECT_TRUE(s->isEof());

    EXPECT_EQ(thrownBy([&] { s->setPos(uint64_t(1) << 32); }).code, 7);
    s->setPos(0);
    s->setPosRelative(-1); // wraps to the largest position, where nothing can be read
    EXPECT_EQ(s->getPos(), 0xFFFFFFFFu);
    EXPECT_EQ(s->readBytes(buf, 1, false), 0u);
    s->setPosFromEnd(-3);
    EXPECT_EQ(s->getPos(), 7u);
}

TEST(MemoryStorage, WritingSetEofAndReadOnly)
{
    auto s = MemoryStorage::create();
    s->setPos(5);
    s->writeBytes("abc", 3);
    EXPECT_EQ(s->getSize(), 8u);
    auto t = tenBytes();
    t->setPos(4);
    t->setEof();
    EXPECT_EQ(t->getSize(), 4u);

    t->setReadOnly(true);
    EXPECT_EQ(thrownBy([&] { t->writeBytes("x", 1); }).code, 17);
    EXPECT_EQ(thrownBy([&] { t->setEof(); }).code, 26);
    EXPECT_EQ(thrownBy([&] { t->reserve(100); }).code, 26);
    EXPECT_EQ(thrownBy([&] { t->getArray(); }).code, 26);
    EXPECT_EQ(thrownBy([&] { t->setAllocationUnit(1); }).code, 26);
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

TEST(Stream, CopyCountsAndProgress)
{
    using Calls = std::vector<std::pair<uint32_t, uint32_t>>;
    Calls log;
    auto record = [](void* ctx, uint32_t done, uint32_t total) { static_cast<Calls*>(ctx)->emplace_back(done, total); };
    auto src = tenBytes();
    auto dst = MemoryStorage::create();
    EXPECT_EQ(dst->copyFrom(*src, 0, 4, nullptr, nullptr), 10u); // a count of 0 copies everything
    EXPECT_EQ(dst->getSize(), 10u);
    src->setPos(0);
    EXPECT_EQ(dst->copyFrom(*src, 7, 4, record, &log), 7u);
    EXPECT_EQ(log, (Calls{{0, 7}, {4, 7}, {7, 7}}));
    EXPECT_EQ(src->getPos(), 7u); // no byte beyond the count is taken from the source
    log.clear();
    src->setPos(0);
    EXPECT_EQ(dst->copyAllFrom(*src, 4, record, &log), 10u);
    EXPECT_EQ(log, (Calls{{0, 0}, {4, 0}, {8, 0}, {10, 0}}));
}
