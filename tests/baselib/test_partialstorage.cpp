#include <gtest/gtest.h>

#include <atomic>
#include <thread>
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
    return MemoryStorage::create(bytes.data(), n);
}

// A window of 50 bytes at 100 of a 1000-byte storage.
struct Window : testing::Test {
    AutoPtr<MemoryStorage> base = countingBytes(1000);
    AutoPtr<PartialStorage> part = PartialStorage::create(AutoPtr<Storage>(base), 100, 50, false);
};

} // namespace

TEST_F(Window, SizePositionAndShortRead)
{
    EXPECT_EQ(part->getSize(), 50u);
    EXPECT_EQ(part->getPos(), 0u);
    EXPECT_EQ(base->getPos(), 100u);
    uint8_t buf[60] = {};
    EXPECT_EQ(part->readBytes(buf, 60, false), 50u);
    EXPECT_EQ(buf[0], 100);
    EXPECT_EQ(buf[49], 149);
    EXPECT_EQ(base->getPos(), 150u);
    EXPECT_TRUE(part->isEof());
    EXPECT_EQ(part->readBytes(buf, 60, false), 0u);
}

TEST_F(Window, RefusedReadsLeaveTheBaseWhereItWas)
{
    uint8_t buf[60];
    expectThrow([&] { part->readBytes(buf, 60, true); }, 16, "Vantorix::PartialStorageImpl::readBytes",
                "Cannot read because of the storage size!");
    EXPECT_EQ(base->getPos(), 100u);
    base->setPos(151); // the base moved past the window by someone else
    expectThrow([&] { part->readBytes(buf, 1, false); }, 16, "Vantorix::PartialStorageImpl::readBytes",
                "Cannot read beyond EOF!");
    EXPECT_EQ(base->getPos(), 151u);
}

TEST_F(Window, PositionOperations)
{
    part->setPosFromEnd(-10);
    EXPECT_EQ(base->getPos(), 140u);
    EXPECT_EQ(part->getPos(), 40u);
    part->setPosRelative(-5);
    EXPECT_EQ(part->getPos(), 35u);
    part->setPos(7);
    uint8_t b = 0;
    part->readBytes(&b, 1, true);
    EXPECT_EQ(b, 107);
}

TEST_F(Window, WritesStayInsideTheWindow)
{
    part->setPos(48);
    part->writeBytes("ab", 2);
    EXPECT_EQ(base->getArray()[148], 'a');
    part->setPos(49);
    expectThrow([&] { part->writeBytes("ab", 2); }, 17, "Vantorix::PartialStorageImpl::writeBytes",
                "Cannot write because of the storage size!");
    auto ro = PartialStorage::create(AutoPtr<Storage>(base), 0, 10);
    expectThrow([&] { ro->writeBytes("a", 1); }, 17, "Vantorix::PartialStorageImpl::writeBytes",
                "The storage is read-only!");
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

TEST(PartialStorage, WindowBeyondTheBaseIsRefused)
{
    auto base = countingBytes(1000);
    const char* f = "Vantorix::PartialStorageImpl::PartialStorageImpl";
    expectThrow([&] { PartialStorage::create(AutoPtr<Storage>(base), 990, 11); }, 7, f,
                "The input storage is not so large!");
    expectThrow([&] { PartialStorage::create(AutoPtr<Storage>(base), ~uint64_t(0), 2); }, 7, f,
                "The input storage is not so large!");
    EXPECT_EQ(PartialStorage::create(AutoPtr<Storage>(base), 1000, 0)->getSize(), 0u);
}

TEST(PartialStorage, NestedWindowsAndShrunkBase)
{
    auto base = countingBytes(1000);
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
