#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "testutil.h"
#include "vtx_stream.h"

using namespace Vantorix;
using vtxtest::thrownBy;

namespace {

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

TEST(ZlibStreams, RoundTripsBothWaysWithZlibItself)
{
    std::vector<uint8_t> data = sampleData(300000);
    auto compressed = MemoryStorage::create();
    {
        AutoPtr<DeflateStream> d = DeflateStream::create(AutoPtr<Stream>(compressed));
        for (size_t off = 0; off < data.size(); off += 4099) {
            uint32_t n = uint32_t(std::min<size_t>(4099, data.size() - off));
            d->writeBytes(data.data() + off, n);
        }
        d->flushBuffer();
    }
    std::vector<uint8_t> ours(compressed->getArray().begin(), compressed->getArray().end());
    std::vector<uint8_t> back(data.size());
    uLongf n = uLongf(back.size());
    ASSERT_EQ(uncompress(back.data(), &n, ours.data(), uLong(ours.size())), Z_OK);
    EXPECT_EQ(back, data);

    EXPECT_EQ(readAll(*inflaterOver(zlibCompress(data))), data);
    auto viaTrickle = InflateStream::create(AutoPtr<Stream>(new Trickle(zlibCompress(data))));
    EXPECT_EQ(readAll(*viaTrickle), data);
}

TEST(ZlibStreams, EndOfDataExactReadsAndTruncation)
{
    std::vector<uint8_t> data = sampleData(5000);
    std::vector<uint8_t> z = zlibCompress(data);
    z.insert(z.end(), {1, 2, 3}); // bytes after the compressed stream are not data
    auto in = inflaterOver(z);
    std::vector<uint8_t> buf(6000);
    EXPECT_FALSE(in->isEof());
    EXPECT_EQ(in->readBytes(buf.data(), 5000, true), 5000u);
    EXPECT_EQ(in->readBytes(buf.data(), 10, false), 0u);
    EXPECT_TRUE(in->isEof());
    vtxtest::expectThrow([&] { in->readBytes(buf.data(), 1, true); }, 13, "Vantorix::InflateStreamImpl::readBytes",
                         "errEOF");

    // A cut stream gives what it can; an exact read of more is the end of the data.
    z.resize(z.size() / 2);
    std::vector<uint8_t> got = readAll(*inflaterOver(z));
    EXPECT_GT(got.size(), 0u);
    EXPECT_LT(got.size(), data.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin()));
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
    EXPECT_TRUE(d->getName().startsWith("zlib deflate stream ("));
    EXPECT_TRUE(in->getName().startsWith("zlib inflate stream ("));
    EXPECT_TRUE(in->getName().endsWith("h)"));
    const std::pair<std::function<void()>, const char*> refused[] = {
        {[&] { d->readBytes(&b, 1, false); }, "Vantorix::DeflateStreamImpl::readBytes"},
        {[&] { in->writeBytes(&b, 1); }, "Vantorix::InflateStreamImpl::writeBytes"},
        {[&] { in->flushBuffer(); }, "Vantorix::InflateStreamImpl::flushBuffer"}};
    for (const auto& [call, function] : refused) vtxtest::expectThrow(call, 28, function, "errNotImplemented");
}

TEST(ZlibStreams, UnflushedDataIsFinishedOnDestruction)
{
    auto mem = MemoryStorage::create();
    DeflateStream::create(AutoPtr<Stream>(mem))->writeBytes("hello", 5);
    mem->setPos(0);
    auto in = InflateStream::create(AutoPtr<Stream>(mem));
    char buf[5];
    EXPECT_EQ(in->readBytes(buf, 5, true), 5u);
    EXPECT_EQ(std::string(buf, 5), "hello");
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
