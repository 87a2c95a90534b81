#include <gtest/gtest.h>

#include <vector>

#include "testutil.h"
#include "vtx_stream.h"

using namespace Vantorix;
using vtxtest::expectThrow;

namespace {

AutoPtr<MemoryStorage> countingBytes(uint32_t n)
{
    std::vector<uint8_t> bytes(n);
    for (uint32_t i = 0; i < n; ++i) bytes[i] = uint8_t(i);
    return vtxtest::streamOf(bytes);
}

// A window of 50 bytes at 100 of a 1000-byte storage.
struct Window : testing::Test {
    AutoPtr<MemoryStorage> base = countingBytes(1000);
    AutoPtr<PartialStorage> part = PartialStorage::create(AutoPtr<Storage>(base), 100, 50, false);
    const char* read = "Vantorix::PartialStorageImpl::readBytes";
    const char* write = "Vantorix::PartialStorageImpl::writeBytes";
};

} // namespace

TEST_F(Window, ReadsAndPositions)
{
    EXPECT_EQ(part->getSize(), 50u);
    EXPECT_EQ(base->getPos(), 100u);
    uint8_t buf[60] = {};
    expectThrow([&] { part->readBytes(buf, 51, true); }, 16, read, "Cannot read because of the storage size!");
    EXPECT_EQ(base->getPos(), 100u);
    EXPECT_EQ(part->readBytes(buf, 60, false), 50u);
    EXPECT_EQ(buf[0], 100);
    EXPECT_EQ(buf[49], 149);
    EXPECT_EQ(base->getPos(), 150u);
    EXPECT_TRUE(part->isEof());
    EXPECT_EQ(part->readBytes(buf, 60, false), 0u);

    part->setPosFromEnd(-10);
    EXPECT_EQ(base->getPos(), 140u);
    part->setPosRelative(-5);
    EXPECT_EQ(part->getPos(), 35u);
    part->setPos(7);
    part->readBytes(buf, 1, true);
    EXPECT_EQ(buf[0], 107);

    base->setPos(151); // the base moved past the window by someone else
    expectThrow([&] { part->readBytes(buf, 1, false); }, 16, read, "Cannot read beyond EOF!");
    EXPECT_EQ(base->getPos(), 151u);
}

TEST_F(Window, WritesStayInsideTheWindow)
{
    part->setPos(48);
    part->writeBytes("ab", 2);
    EXPECT_EQ(base->getArray()[148], 'a');
    part->setPos(49);
    expectThrow([&] { part->writeBytes("ab", 2); }, 17, write, "Cannot write because of the storage size!");
    auto ro = PartialStorage::create(AutoPtr<Storage>(base), 0, 10);
    expectThrow([&] { ro->writeBytes("a", 1); }, 17, write, "The storage is read-only!");
    expectThrow([&] { part->setEof(); }, 28, "Vantorix::PartialStorageImpl::setEof", "setEof is not supported.");
    EXPECT_EQ(base->getSize(), 1000u);
}

TEST_F(Window, DuplicateHasItsOwnBasePosition)
{
    part->setPos(20);
    AutoPtr<Storage> dup = part->duplicate();
    EXPECT_EQ(dup->getPos(), 20u);
    EXPECT_EQ(dup->getSize(), 50u);
    uint8_t b = 0;
    dup->readBytes(&b, 1, true);
    EXPECT_EQ(b, 120);
    EXPECT_EQ(part->getPos(), 20u);
    EXPECT_TRUE(dup->getName().startsWith("MemoryStorage "));
}

TEST(PartialStorage, WindowsBeyondNestedAndShrunk)
{
    auto base = countingBytes(1000);
    const char* f = "Vantorix::PartialStorageImpl::PartialStorageImpl";
    for (uint64_t at : {uint64_t(990), ~uint64_t(0)})
        expectThrow([&] { PartialStorage::create(AutoPtr<Storage>(base), at, 11); }, 7, f,
                    "The input storage is not so large!");
    EXPECT_EQ(PartialStorage::create(AutoPtr<Storage>(base), 1000, 0)->getSize(), 0u);

    auto outer = PartialStorage::create(AutoPtr<Storage>(base), 100, 500);
    auto inner = PartialStorage::create(AutoPtr<Storage>(outer), 10, 20);
    uint8_t buf[32];
    EXPECT_EQ(inner->readBytes(buf, 32, false), 20u);
    EXPECT_EQ(buf[0], 110);
    base->setPos(300);
    base->setEof(); // the window now reaches past the end of its base
    EXPECT_EQ(outer->getSize(), 200u);
    outer->setPos(250);
    EXPECT_EQ(outer->readBytes(buf, 10, false), 0u);
}
