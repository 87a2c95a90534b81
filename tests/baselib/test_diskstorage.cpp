#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "testutil.h"
#include "vtx_stream.h"

using namespace Vantorix;
using vtxtest::thrownBy;

namespace {

struct DiskFile : testing::Test {
    std::string path = testing::TempDir() + "vtx_disk_" +
                       testing::UnitTest::GetInstance()->current_test_info()->name() + ".bin";
    void SetUp() override { std::remove(path.c_str()); }
    void TearDown() override { std::remove(path.c_str()); }
    AutoPtr<DiskStorage> open(uint32_t access, uint32_t creation = DiskStorage::crDefault)
    { return DiskStorage::create(path.c_str(), access, creation); }
};

} // namespace

TEST_F(DiskFile, WriteReadSeekAndTruncate)
{
    {
        auto w = open(DiskStorage::accWrite);
        w->writeBytes("0123456789", 10);
        w->setPos(2);
        w->writeBytes("ab", 2);
        w->setPosFromEnd(0);
        w->writeBytes("XYZ", 3);
        EXPECT_EQ(w->getPos(), 13u);
        EXPECT_EQ(w->getSize(), 13u);
        EXPECT_EQ(w->getName(), path.c_str());
    }
    auto r = open(DiskStorage::accRead);
    char buf[16] = {};
    EXPECT_EQ(r->readBytes(buf, 16, false), 13u);
    EXPECT_EQ(std::string(buf, 13), "01ab456789XYZ");
    EXPECT_TRUE(r->isEof());
    r->setPosFromEnd(-3);
    EXPECT_FALSE(r->isEof());
    r->setPosRelative(-2);
    EXPECT_EQ(r->readBytes(buf, 2, true), 2u);
    EXPECT_EQ(std::string(buf, 2), "89");
    r->setPos(2);
    AutoPtr<Storage> d = r->duplicate(); // reads on its own from the same place
    EXPECT_EQ(d->readBytes(buf, 2, true), 2u);
    EXPECT_EQ(std::string(buf, 2), "ab");
    EXPECT_EQ(r->getPos(), 2u);
    r->setPos(12);
    vtxtest::expectThrow([&] { r->readBytes(buf, 2, true); }, 16, "Vantorix::DiskStorageImpl::readBytes",
                         "Could not read the bytes specified!");
    r = nullptr;
    d = nullptr; // on Windows an open reader keeps writers out

    auto rw = open(DiskStorage::accReadWrite, DiskStorage::crOpenExisting);
    EXPECT_EQ(rw->getSize(), 13u);
    rw->setPos(4);
    rw->setEof();
    EXPECT_EQ(rw->getSize(), 4u);
    rw->setPos(1000); // beyond the end: writing there extends the file
    rw->writeBytes("!", 1);
    EXPECT_EQ(rw->getSize(), 1001u);
}

TEST_F(DiskFile, CreationModes)
{
    // Opening a missing file for reading fails with the system's "file not found" (2 on both systems).
    auto missing = thrownBy([&] { open(DiskStorage::accRead); });
    EXPECT_TRUE(vtxtest::contains(missing.message, "Vantorix::DiskStorageImpl::DiskStorageImpl: Error 2: DiskStorageImpl::"))
        << missing.message;
    EXPECT_TRUE(thrownBy([&] { open(DiskStorage::accReadWrite, DiskStorage::crTruncateExisting); }).thrown);

    open(DiskStorage::accWrite, DiskStorage::crCreateNew)->writeBytes("abc", 3);
    EXPECT_TRUE(thrownBy([&] { open(DiskStorage::accWrite, DiskStorage::crCreateNew); }).thrown);
    EXPECT_EQ(open(DiskStorage::accReadWrite, DiskStorage::crOpenAlways)->getSize(), 3u);
    EXPECT_EQ(open(DiskStorage::accReadWrite, DiskStorage::crTruncateExisting)->getSize(), 0u);
    open(DiskStorage::accWrite, DiskStorage::crOpenExisting)->writeBytes("abc", 3);
    EXPECT_EQ(open(DiskStorage::accWrite, DiskStorage::crCreateAlways)->getSize(), 0u);

    EXPECT_EQ(thrownBy([&] { open(0); }).code, 7);
    EXPECT_EQ(thrownBy([&] { open(DiskStorage::accRead, 6); }).code, 7);
}

TEST_F(DiskFile, RangeLocksExcludeOtherOpens)
{
    open(DiskStorage::accWrite)->writeBytes("0123456789", 10);
#ifdef _WIN32
    // Files open for writing are not shared; two read opens can still lock exclusively.
    uint32_t mode = DiskStorage::accRead;
#else
    // An exclusive POSIX lock needs a descriptor open for writing.
    uint32_t mode = DiskStorage::accReadWrite;
#endif
    auto a = open(mode, DiskStorage::crOpenExisting);
    auto b = open(mode, DiskStorage::crOpenExisting);
    a->lockRange(0, 5, true);
    auto refused = thrownBy([&] { b->lockRange(4, 2, true, false); }).message;
    EXPECT_TRUE(vtxtest::contains(refused, "Vantorix::DiskStorageImpl::lockRange: Error ")) << refused;
    EXPECT_TRUE(vtxtest::contains(refused, ": LockFileEx failed!\n")) << refused;
    b->lockRange(5, 5, true, false); // a disjoint range is free
    a->unlockRange(0, 5);
    b->lockRange(0, 5, false, false);
    EXPECT_EQ(thrownBy([&] { a->lockRange(0, 0, true); }).code, 7);
}

TEST(DiskStorage, TemporaryFileIsFreshAndGoesAway)
{
    std::string name;
    {
        AutoPtr<DiskStorage> t = DiskStorage::createTemp();
        name = t->getName().toStdString();
        EXPECT_EQ(t->getSize(), 0u);
        t->writeBytes("temp", 4);
        t->setPos(0);
        char buf[4];
        EXPECT_EQ(t->readBytes(buf, 4, true), 4u);
        EXPECT_NE(DiskStorage::createTemp()->getName(), t->getName());
    }
    EXPECT_FALSE(vtxtest::fileExists(name)) << name;
}
