// Crafted BZZ payloads: the stream's reading rules, the block model at every speed and block
// size, and the ways a block can be broken.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "bzz_testutil.h"
#include "bzz_testwriter.h"
#include "vtx_exception.h"

using namespace Vantorix;
using namespace bzztest;
using zptest::BzzTestWriter;

namespace {

AutoPtr<DjVu::InflateStream> open(const std::vector<uint8_t>& payload)
{
    return DjVu::InflateStream::create(streamOf(payload));
}

// Runs f and returns the message line of the Exception it throws ("" when it does not throw).
template <class F>
std::string failure(F&& f)
{
    try {
        f();
    } catch (const Exception& e) {
        EXPECT_EQ(e.getCode(), 26) << e.what();
        return e.what();
    }
    return "";
}

bool mentions(const std::string& what, const std::string& part) { return what.find(part) != std::string::npos; }

const char* const kCorrupt = "_Vtx_Internal_NS_::InflateStreamImpl::decode: Error 26: Stream corrupt";

std::vector<uint8_t> bytesOf(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed, int alphabet)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(rng() % alphabet);
    return v;
}

} // namespace

TEST(BzzStream, EmptyStream)
{
    for (const auto& payload : {std::vector<uint8_t>{}, [] {
                                    BzzTestWriter w;
                                    w.end();
                                    return w.finish();
                                }()}) {
        auto z = open(payload);
        EXPECT_FALSE(z->isEof());
        uint8_t buf[8];
        EXPECT_EQ(z->readBytes(buf, 8, false), 0u);
        EXPECT_TRUE(z->isEof());
        auto e = open(payload);
        try {
            e->readBytes(buf, 8, true);
            ADD_FAILURE() << "exact read of an empty stream";
        } catch (const Exception& ex) {
            EXPECT_EQ(ex.getCode(), 26);
            EXPECT_TRUE(mentions(ex.what(), "_Vtx_Internal_NS_::InflateStreamImpl::readBytes: Error 26: "
                                            "Could not read 'size' many bytes"))
                << ex.what();
        }
        EXPECT_TRUE(e->isEof());
    }
}

TEST(BzzStream, ZeroRequestDecodesNothing)
{
    // The first block is oversized: any decoding would throw.
    BzzTestWriter w;
    w.blockHeader(4194305);
    auto z = open(w.finish());
    EXPECT_EQ(z->readBytes(nullptr, 0, true), 0u);
    EXPECT_FALSE(z->isEof());
    EXPECT_TRUE(mentions(failure([&] { z->readBytes(nullptr, 1, false); }), kCorrupt));
}

TEST(BzzStream, BlocksReadAsOneSequence)
{
    // A marker-only block delivers nothing and reading goes on; blocks shrink and grow so the
    // buffer is both reused and replaced; contexts carry over from block to block.
    BzzTestWriter w;
    w.blockHeader(1);
    w.marker();
    auto a = randomBytes(5000, 1, 256), b = bytesOf("xy"), c = randomBytes(9000, 2, 3);
    w.block(a, 0);
    w.block(b, 2);
    w.blockHeader(1);
    w.marker();
    w.block(c, 1);
    w.end();
    auto payload = w.finish();
    std::vector<uint8_t> expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    expected.insert(expected.end(), c.begin(), c.end());
    for (uint32_t chunk : {1u, 2u, 4999u, 5001u, 100000u}) EXPECT_EQ(inflateAll(payload, chunk), expected) << chunk;
}

TEST(BzzStream, NotWritable)
{
    auto z = open({});
    for (auto f : {+[](DjVu::InflateStream& s) { s.writeBytes("x", 1); },
                   +[](DjVu::InflateStream& s) { s.flushBuffer(); }}) {
        try {
            f(*z);
            ADD_FAILURE() << "a decompressor accepted a write";
        } catch (const Exception& e) {
            EXPECT_EQ(e.getCode(), 28);
        }
    }
    AutoLock twice(*z), nested(*z); // the lock is recursive
}

TEST(BzzStream, NullSourceThrows)
{
    try {
        DjVu::InflateStream::create(nullptr);
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_EQ(e.getCode(), 26);
        EXPECT_TRUE(mentions(e.what(), "no stream"));
    }
}

TEST(BzzModel, EverySpeedAndBlockSizeRoundTrips)
{
    const std::string text =
        "Hidden text of a page: lines, words and characters, with zones and their rectangles. ";
    std::vector<uint8_t> prose;
    while (prose.size() < 30000) prose.insert(prose.end(), text.begin(), text.end());
    const std::vector<std::vector<uint8_t>> inputs = {
        bytesOf("a"), bytesOf("banana"), randomBytes(3000, 3, 256), randomBytes(20000, 4, 4), prose,
        std::vector<uint8_t>(3000, 0), std::vector<uint8_t>(3000, 255)};
    for (int fshift = 0; fshift <= 2; ++fshift) {
        for (size_t blockBytes : {size_t(1), size_t(7), size_t(1000), size_t(40000)}) {
            for (size_t i = 0; i < inputs.size(); ++i) {
                if (blockBytes == 1 && inputs[i].size() > 3000) continue;
                auto payload = BzzTestWriter::compress(inputs[i], fshift, blockBytes);
                EXPECT_EQ(inflateAll(payload), inputs[i]) << "fshift " << fshift << " block " << blockBytes
                                                           << " input " << i;
            }
        }
    }
}

TEST(BzzBlock, SizeCap)
{
    // 4096 KiB symbols is the largest block: here 4194303 zero bytes and the marker last.
    BzzTestWriter ok;
    ok.blockHeader(4194304);
    for (uint32_t i = 0; i < 4194303; ++i) ok.index(0);
    ok.marker();
    ok.end();
    auto out = inflateAll(ok.finish(), 1u << 20);
    ASSERT_EQ(out.size(), 4194303u);
    EXPECT_EQ(std::count(out.begin(), out.end(), 0), 4194303);

    BzzTestWriter big;
    big.blockHeader(4194305);
    auto payload = big.finish();
    EXPECT_TRUE(mentions(failure([&] { inflateAll(payload); }), kCorrupt));
}

TEST(BzzBlock, MarkerRules)
{
    auto broken = [](auto&& symbols) {
        BzzTestWriter w;
        symbols(w);
        w.end();
        auto payload = w.finish();
        return failure([&] { inflateAll(payload); });
    };
    // No marker.
    EXPECT_TRUE(mentions(broken([](BzzTestWriter& w) {
        w.blockHeader(3);
        w.index(0), w.index(5), w.index(1);
    }), kCorrupt));
    // A marker in the first slot of a longer block is never where a walk ends.
    for (uint32_t n : {2u, 3u, 50u}) {
        EXPECT_TRUE(mentions(broken([n](BzzTestWriter& w) {
            w.blockHeader(n);
            w.marker();
            for (uint32_t i = 1; i < n; ++i) w.index(i % 3);
        }), kCorrupt)) << n;
    }
    // A walk that does not end on the marker: "ba" then the marker. Bytes are found at rows
    // 2 and 1, the walk goes 0 -> 2 (the marker's row, which leads to row 1) and stops there.
    EXPECT_TRUE(mentions(broken([](BzzTestWriter& w) { w.columnBlock({'b', 'a', -1}, 0); }), kCorrupt));
    // The same column rotated is a valid block.
    EXPECT_TRUE(broken([](BzzTestWriter& w) { w.columnBlock({'b', -1, 'a'}, 0); }).empty());
}

TEST(BzzBlock, TruncatedBlocks)
{
    // Past the end the input reads as 1 bits, which fresh contexts decode as markers: a block cut
    // early can come out as zero bytes, one cut in its last bytes can come out whole. Otherwise
    // the cut ends in an Exception of the block decoder or of the ZP decoder.
    auto data = randomBytes(2000, 5, 256);
    auto payload = BzzTestWriter::compress(data, 1, 2000);
    int thrown = 0, cuts = 0;
    for (size_t cut = 0; cut < payload.size(); cut += 7, ++cuts) {
        std::vector<uint8_t> part(payload.begin(), payload.begin() + cut);
        std::vector<uint8_t> out;
        std::string what = failure([&] { out = inflateAll(part); });
        if (what.empty()) {
            EXPECT_TRUE(out.empty() || out == data || out == std::vector<uint8_t>(2000, 0)) << cut;
        } else {
            ++thrown;
            EXPECT_TRUE(mentions(what, kCorrupt) || mentions(what, "preload failed.")) << cut << ": " << what;
        }
    }
    EXPECT_GT(thrown, cuts * 9 / 10);
}
