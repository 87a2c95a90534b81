// Storages and streams: memory, windows onto another storage, late binding through a broker,
// disk files, and the zlib filters.
#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "testutil.h"
#include "vtx_stream.h"

using namespace Vantorix;
using vtxtest::expectThrow;
using vtxtest::thrownBy;

namespace {

AutoPtr<MemoryStorage> countingBytes(uint32_t n)
{
    std::vector<uint8_t> bytes(n);
    for (uint32_t i = 0; i < n; ++i) bytes[i] = uint8_t(i);
    return vtxtest::streamOf(bytes);
}

AutoPtr<MemoryStorage> tenBytes() { return countingBytes(10); }

// What every storage of ten bytes (first + 0 to first + 9) does: moves from the start, the end
// and the current place; a short read at the end; a duplicate that reads on its own from where
// `s` was; an exact read past the end that throws (code, function, text).
void expectTenByteStorage(Storage& s, uint8_t first, int32_t code, const char* function, const char* text)
{
    uint8_t buf[4] = {};
    EXPECT_EQ(s.getSize(), 10u);
    s.setPosFromEnd(-5);
    s.setPosRelative(-2);
    EXPECT_EQ(s.getPos(), 3u);
    AutoPtr<Storage> d = s.duplicate();
    s.setPos(8);
    EXPECT_FALSE(s.isEof());
    EXPECT_EQ(s.readBytes(buf, 4, false), 2u);
    EXPECT_EQ(buf[1], uint8_t(first + 9));
    EXPECT_TRUE(s.isEof());
    EXPECT_EQ(s.readBytes(buf, 4, false), 0u);
    EXPECT_EQ(d->getPos(), 3u);
    EXPECT_EQ(d->readBytes(buf, 2, true), 2u);
    EXPECT_EQ(buf[0], uint8_t(first + 3));
    d->setPos(7);
    expectThrow([&] { d->readBytes(buf, 4, true); }, code, function, text);
}

// A window of 50 bytes at 100 of a 1000-byte storage.
struct Window : testing::Test {
    AutoPtr<MemoryStorage> base = countingBytes(1000);
    AutoPtr<PartialStorage> part = PartialStorage::create(AutoPtr<Storage>(base), 100, 50, false);
    const char* read = "Vantorix::PartialStorageImpl::readBytes";
    const char* write = "Vantorix::PartialStorageImpl::writeBytes";
};

// Serves "good" as ten counting bytes; fails the first `failures` loads, and any other name.
class TestBroker : public ResourceBroker {
public:
    explicit TestBroker(int failures = 0) : failures_(failures) {}
    AutoPtr<Storage> load(const String& name) override
    {
        ++loads;
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        if (name != "good" || failures_-- > 0) VTX_THROW(12, "No such component!", "TestBroker::load");
        return AutoPtr<Storage>(tenBytes());
    }
    std::atomic<int> loads{0};
    int delayMs = 0;

private:
    std::atomic<int> failures_;
};

struct DiskFile : testing::Test {
    std::string path = testing::TempDir() + "vtx_disk_" +
                       testing::UnitTest::GetInstance()->current_test_info()->name() + ".bin";
    void SetUp() override { std::remove(path.c_str()); }
    void TearDown() override { std::remove(path.c_str()); }
    AutoPtr<DiskStorage> open(uint32_t access, uint32_t creation = DiskStorage::crDefault)
    { return DiskStorage::create(path.c_str(), access, creation); }
};

std::vector<uint8_t> sampleData(size_t n)
{
    std::vector<uint8_t> v(n);
    std::mt19937 rng(7);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(i % 97 < 60 ? 'a' + i % 13 : rng()); // part text, part noise
    return v;
}

std::vector<uint8_t> zlibCompress(const std::vector<uint8_t>& in)
{
    uLongf n = compressBound(uLong(in.size()));
    std::vector<uint8_t> out(n);
    EXPECT_EQ(compress2(out.data(), &n, in.data(), uLong(in.size()), 6), Z_OK);
    out.resize(n);
    return out;
}

AutoPtr<InflateStream> inflaterOver(const std::vector<uint8_t>& bytes)
{
    return InflateStream::create(AutoPtr<Stream>(vtxtest::streamOf(bytes)));
}

std::vector<uint8_t> readAll(Stream& s)
{
    auto sink = MemoryStorage::create();
    sink->copyAllFrom(s, 700, nullptr, nullptr);
    return std::vector<uint8_t>(sink->getArray().begin(), sink->getArray().end());
}

// Hands out at most one byte per read, as a slow pipe would.
class Trickle : public Stream {
public:
    explicit Trickle(std::vector<uint8_t> b) : bytes_(std::move(b)) {}
    uint32_t readBytes(void* buf, uint32_t size, bool) override
    {
        if (size == 0 || pos_ == bytes_.size()) return 0;
        static_cast<uint8_t*>(buf)[0] = bytes_[pos_++];
        return 1;
    }
    void writeBytes(const void*, uint32_t) override {}
    void flushBuffer() override {}
    bool isEof() override { return pos_ == bytes_.size(); }
    void lock() override {}
    void unlock() override {}

private:
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
};

} // namespace

TEST(MemoryStorage, ReadsAndPositions)
{
    auto s = tenBytes();
    expectTenByteStorage(*s, 0, 26, "Vantorix::MemoryStorageImpl::readBytes", "No more data!");
    uint8_t buf[4];
    s->setPos(8);
    EXPECT_THROW(s->readBytes(buf, 4, true), Exception);
    EXPECT_EQ(s->getPos(), 8u); // a refused read moves nothing

    EXPECT_EQ(thrownBy([&] { s->setPos(uint64_t(1) << 32); }).code, 7);
    s->setPos(0);
    s->setPosRelative(-1); // wraps to the largest position, where nothing can be read
    EXPECT_EQ(s->getPos(), 0xFFFFFFFFu);
    EXPECT_EQ(s->readBytes(buf, 1, false), 0u);
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

TEST(MemoryStorage, DuplicateOutlivesOriginal)
{
    AutoPtr<Storage> dup = tenBytes()->duplicate();
    uint8_t b = 1;
    EXPECT_EQ(dup->readBytes(&b, 1, true), 1u);
    EXPECT_EQ(b, 0);
}

TEST(Stream, CopyCountsAndProgress)
{
    using Calls = std::vector<std::pair<uint32_t, uint32_t>>;
    Calls log;
    auto record = [](void* ctx, uint32_t done, uint32_t total) { static_cast<Calls*>(ctx)->emplace_back(done, total); };
    auto src = tenBytes();
    auto dst = MemoryStorage::create();
    EXPECT_EQ(dst->copyFrom(*src, 7, 4, record, &log), 7u);
    EXPECT_EQ(log, (Calls{{0, 7}, {4, 7}, {7, 7}}));
    EXPECT_EQ(src->getPos(), 7u); // no byte beyond the count is taken from the source
    EXPECT_EQ(dst->copyFrom(*src, 0, 2, nullptr, nullptr), 3u); // a count of 0 copies the rest
    EXPECT_EQ(dst->getSize(), 10u);
}

TEST_F(Window, ReadsAndPositions)
{
    EXPECT_EQ(part->getSize(), 50u);
    EXPECT_EQ(base->getPos(), 100u);
    uint8_t buf[60] = {};
    expectThrow([&] { part->readBytes(buf, 51, true); }, 16, read, "Cannot read because of the storage size!");
    EXPECT_EQ(base->getPos(), 100u);
    EXPECT_EQ(part->readBytes(buf, 60, false), 50u);
    EXPECT_EQ(base->getPos(), 150u);

    base->setPos(151); // the base moved past the window by someone else
    expectThrow([&] { part->readBytes(buf, 1, false); }, 16, read, "Cannot read beyond EOF!");
    EXPECT_EQ(base->getPos(), 151u);

    auto ten = PartialStorage::create(AutoPtr<Storage>(base), 200, 10);
    expectTenByteStorage(*ten, 200, 16, read, "Cannot read because of the storage size!");
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

TEST(PartialStorage, WindowsBeyondAndShrunk)
{
    auto base = countingBytes(1000);
    const char* f = "Vantorix::PartialStorageImpl::PartialStorageImpl";
    for (uint64_t at : {uint64_t(990), ~uint64_t(0)})
        expectThrow([&] { PartialStorage::create(AutoPtr<Storage>(base), at, 11); }, 7, f,
                    "The input storage is not so large!");
    EXPECT_EQ(PartialStorage::create(AutoPtr<Storage>(base), 1000, 0)->getSize(), 0u);

    auto outer = PartialStorage::create(AutoPtr<Storage>(base), 100, 500);
    base->setPos(300);
    base->setEof(); // the window now reaches past the end of its base
    EXPECT_EQ(outer->getSize(), 200u);
    outer->setPos(250);
    uint8_t buf[10];
    EXPECT_EQ(outer->readBytes(buf, 10, false), 0u);
}

TEST(LateBindingStorage, NothingLoadsUntilTheFirstRead)
{
    AutoPtr<TestBroker> broker(new TestBroker());
    AutoPtr<Storage> s = createLateBindingStorage("good", AutoPtr<ResourceBroker>(broker));
    EXPECT_EQ(s->getName(), "good");
    expectThrow([&] { s->writeBytes("x", 1); }, 28, "_Vtx_Internal_NS_::LateBindingStorage::writeBytes",
                "writeBytes is not supported.");
    expectThrow([&] { s->setEof(); }, 28, "_Vtx_Internal_NS_::LateBindingStorage::setEof", "setEof is not supported.");
    AutoPtr<Storage> unresolvedCopy = s->duplicate();
    s->reserve(100);
    s->flushBuffer();
    EXPECT_EQ(broker->loads, 0);

    // Resolved, it is its target: a copy made now shares the target's bytes without a load.
    expectTenByteStorage(*s, 0, 26, "Vantorix::MemoryStorageImpl::readBytes", "No more data!");
    EXPECT_EQ(broker->loads, 1);
    // The copy made before resolution resolves on its own.
    EXPECT_EQ(unresolvedCopy->getPos(), 0u);
    EXPECT_EQ(unresolvedCopy->getSize(), 10u);
    EXPECT_EQ(broker->loads, 2);
}

TEST(LateBindingStorage, FailedLoadIsRetriedOnTheNextUse)
{
    AutoPtr<TestBroker> broker(new TestBroker(1));
    AutoPtr<Storage> s = createLateBindingStorage("good", AutoPtr<ResourceBroker>(broker));
    uint8_t b;
    expectThrow([&] { s->readBytes(&b, 1, true); }, 12, "TestBroker::load", "No such component!");
    EXPECT_EQ(s->getPos(), 0u);
    EXPECT_EQ(s->readBytes(&b, 1, true), 1u);
    EXPECT_EQ(broker->loads, 2);

    AutoPtr<Storage> missing = createLateBindingStorage("missing", AutoPtr<ResourceBroker>(broker));
    EXPECT_EQ(thrownBy([&] { missing->getSize(); }).code, 12);
    EXPECT_EQ(missing->getName(), "missing");
}

TEST(LateBindingStorage, ConcurrentFirstUseLoadsOnceAndOpenStorageChooses)
{
    AutoPtr<TestBroker> broker(new TestBroker());
    broker->delayMs = 20;
    AutoPtr<Storage> s = createLateBindingStorage("good", AutoPtr<ResourceBroker>(broker));
    std::thread t1([&] { s->getSize(); });
    std::thread t2([&] { s->getSize(); });
    t1.join();
    t2.join();
    EXPECT_EQ(broker->loads, 1);
    broker->delayMs = 0;

    // openStorage binds late or loads at once.
    AutoPtr<Storage> late = openStorage("good", true, AutoPtr<ResourceBroker>(broker));
    EXPECT_EQ(broker->loads, 1);
    AutoPtr<Storage> now = openStorage("good", false, AutoPtr<ResourceBroker>(broker));
    EXPECT_EQ(late->getSize(), 10u);
    EXPECT_EQ(broker->loads, 3);
    EXPECT_EQ(thrownBy([&] { openStorage("missing", false, AutoPtr<ResourceBroker>(broker)); }).code, 12);
}

TEST(OpenStorage, DefaultBrokerOpensFilesAndCanBeReplaced)
{
    std::string path = testing::TempDir() + "vtx_broker_test.bin";
    std::ofstream(path, std::ios::binary) << "hello";
    AutoPtr<Storage> plain = openStorage(path.c_str(), false, nullptr);
    EXPECT_EQ(plain->getSize(), 5u);
#ifdef _WIN32
    std::string url = "file:///" + path;
#else
    std::string url = "file://" + path;
#endif
    EXPECT_EQ(openStorage(url.c_str(), true, nullptr)->getSize(), 5u);
    EXPECT_TRUE(thrownBy([&] { openStorage((path + ".none").c_str(), false, nullptr); }).thrown);

    static AutoPtr<TestBroker> registered(new TestBroker());
    setDefaultResourceBrokerFactory([] { return AutoPtr<ResourceBroker>(registered); });
    EXPECT_EQ(openStorage("good", false, nullptr)->getSize(), 10u);
    EXPECT_EQ(registered->loads, 1);
    setDefaultResourceBrokerFactory(nullptr);
    plain = nullptr;
    std::remove(path.c_str());
}

TEST_F(DiskFile, WriteReadSeekAndTruncate)
{
    {
        auto w = open(DiskStorage::accWrite);
        w->writeBytes("\0\1zz\4\5\6\7\x08\x09xyz", 13);
        w->setPos(2);
        w->writeBytes("\2\3", 2);
        w->setPosFromEnd(-3);
        w->setEof();
        EXPECT_EQ(w->getName(), path.c_str());
    }
    auto r = open(DiskStorage::accRead);
    expectTenByteStorage(*r, 0, 16, "Vantorix::DiskStorageImpl::readBytes", "Could not read the bytes specified!");
    r = nullptr; // on Windows an open reader keeps writers out

    auto rw = open(DiskStorage::accReadWrite, DiskStorage::crOpenExisting);
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

TEST(ZlibStreams, RoundTripsBothWaysWithZlibItself)
{
    std::vector<uint8_t> data = sampleData(300000);
    auto compressed = MemoryStorage::create();
    AutoPtr<DeflateStream> d = DeflateStream::create(AutoPtr<Stream>(compressed));
    for (size_t off = 0; off < data.size(); off += 4099)
        d->writeBytes(data.data() + off, uint32_t(std::min<size_t>(4099, data.size() - off)));
    d = nullptr; // closing ends the stream
    std::vector<uint8_t> back(data.size());
    uLongf n = uLongf(back.size());
    ASSERT_EQ(uncompress(back.data(), &n, compressed->getArray().data(), uLong(compressed->getSize())), Z_OK);
    EXPECT_EQ(back, data);

    auto viaTrickle = InflateStream::create(AutoPtr<Stream>(new Trickle(zlibCompress(data))));
    EXPECT_EQ(readAll(*viaTrickle), data);
}

TEST(ZlibStreams, FlushPushesOutputOnAndOnlyClosingEndsTheStream)
{
    auto compressed = MemoryStorage::create();
    AutoPtr<DeflateStream> d = DeflateStream::create(AutoPtr<Stream>(compressed));
    auto inflated = [&] {
        const uint8_t* bytes = compressed->getArray().data();
        std::vector<uint8_t> all = readAll(*inflaterOver(std::vector<uint8_t>(bytes, bytes + compressed->getSize())));
        return std::string(all.begin(), all.end());
    };
    d->writeBytes("AAAA", 4);
    d->flushBuffer();
    EXPECT_EQ(inflated(), "AAAA");
    d->writeBytes("BBBB", 4);
    d->flushBuffer();
    EXPECT_EQ(inflated(), "AAAABBBB");
    d = nullptr;
    EXPECT_EQ(inflated(), "AAAABBBB");
    std::vector<uint8_t> back(8);
    uLongf n = uLongf(back.size());
    EXPECT_EQ(uncompress(back.data(), &n, compressed->getArray().data(), uLong(compressed->getSize())), Z_OK);
}

TEST(ZlibStreams, EndOfDataExactReadsAndTruncation)
{
    std::vector<uint8_t> data = sampleData(5000);
    std::vector<uint8_t> z = zlibCompress(data);
    z.insert(z.end(), {1, 2, 3}); // bytes after the compressed stream are not data
    auto in = inflaterOver(z);
    std::vector<uint8_t> buf(6000);
    EXPECT_EQ(in->readBytes(buf.data(), 5000, true), 5000u);
    EXPECT_EQ(in->readBytes(buf.data(), 10, false), 0u);
    EXPECT_TRUE(in->isEof());
    vtxtest::expectThrow([&] { in->readBytes(buf.data(), 1, true); }, 13, "Vantorix::InflateStreamImpl::readBytes",
                         "errEOF");

    // A cut stream gives what it can; an exact read of more is the end of the data.
    z.resize(z.size() / 2);
    std::vector<uint8_t> got = readAll(*inflaterOver(z));
    EXPECT_TRUE(got.size() > 0 && got.size() < data.size() && std::equal(got.begin(), got.end(), data.begin()));
    EXPECT_EQ(thrownBy([&] { inflaterOver(z)->readBytes(buf.data(), uint32_t(buf.size()), true); }).code, 13);
    EXPECT_EQ(inflaterOver({})->readBytes(buf.data(), 10, false), 0u);
}

TEST(ZlibStreams, CorruptInputNamesZlibsError)
{
    std::vector<uint8_t> junk = {0x78, 0x9c, 0xff, 0xff, 0xff, 0xff};
    auto t = thrownBy([&] { readAll(*inflaterOver(junk)); }).message;
    EXPECT_TRUE(vtxtest::contains(t, "Vantorix::InflateStreamImpl::readBytes: Error 26: zlib(-3): ")) << t;
    auto header = thrownBy([&] { readAll(*inflaterOver({1, 2, 3, 4})); }).message;
    EXPECT_TRUE(vtxtest::contains(header, "zlib(-3): incorrect header check\n\n")) << header;
}

TEST(ZlibStreams, DirectionsThatDoNotExist)
{
    auto mem = MemoryStorage::create();
    AutoPtr<DeflateStream> d = DeflateStream::create(AutoPtr<Stream>(mem));
    uint8_t b;
    auto in = inflaterOver(zlibCompress({1}));
    EXPECT_TRUE(d->getName().startsWith("zlib deflate stream (") && in->getName().startsWith("zlib inflate stream ("));
    const std::pair<std::function<void()>, const char*> refused[] = {
        {[&] { d->readBytes(&b, 1, false); }, "Vantorix::DeflateStreamImpl::readBytes"},
        {[&] { in->writeBytes(&b, 1); }, "Vantorix::InflateStreamImpl::writeBytes"},
        {[&] { in->flushBuffer(); }, "Vantorix::InflateStreamImpl::flushBuffer"}};
    for (const auto& [call, function] : refused) vtxtest::expectThrow(call, 28, function, "errNotImplemented");
}

// Flipped bits and cut lengths must end in data or an Exception, never in a crash or a hang.
TEST(ZlibStreams, MutatedInputIsSurvived)
{
    std::vector<uint8_t> z = zlibCompress(sampleData(3000));
    std::mt19937 rng(1);
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> m = z;
        for (int k = 0; k < 3; ++k) m[rng() % m.size()] ^= uint8_t(1u << (rng() % 8));
        m.resize(rng() % (m.size() + 1));
        try {
            readAll(*inflaterOver(m));
        } catch (const Exception& e) {
            EXPECT_TRUE(e.getCode() == 26 || e.getCode() == 13) << e.what();
        }
    }
}
