// Chunk headers, the slice sequence and its states, the coefficient map, and hostile chunks.
#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <tuple>

#include "djv_iw44codec.h"
#include "djv_iw44decoder.h"
#include "iw44_testfiles.h"
#include "vtx_exception.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::IW44;
using namespace iw44test;

namespace {

IW44DecoderImpl& impl(const AutoPtr<IW44Decoder>& d) { return *static_cast<IW44DecoderImpl*>(d.get()); }

bool decodeBytes(const AutoPtr<IW44Decoder>& d, const Bytes& chunk) { return d->decode(vtxtest::streamOf(chunk).get()); }

// A first chunk: serial 0, the slice count, bit 7 of byte 2 for grey, the version, the size,
// byte 8 (minor version 2 only), then the slice data.
Bytes firstChunk(uint8_t slices, bool grey, uint8_t major, uint8_t minor, uint16_t w, uint16_t h, uint8_t byte8,
                 const Bytes& data = {})
{
    Bytes c{0, slices, uint8_t((grey ? 0x80 : 0) | major), minor, uint8_t(w >> 8), uint8_t(w), uint8_t(h >> 8),
            uint8_t(h)};
    if (minor == 2) c.push_back(byte8);
    c.insert(c.end(), data.begin(), data.end());
    return c;
}

std::vector<Bytes> photoChunks() { return djvuChunks(fixture("photo.djvu")); }

// A stream whose every read fails with one error code.
class FailingStream : public Stream {
public:
    explicit FailingStream(int32_t code) : code_(code) {}
    uint32_t readBytes(void*, uint32_t, bool) override { VTX_THROW(code_, "no bytes", "FailingStream::readBytes"); }
    void writeBytes(const void*, uint32_t) override {}
    void flushBuffer() override {}
    bool isEof() override { return false; }
    void lock() override {}
    void unlock() override {}

private:
    int32_t code_;
};

// Before minor version 2 the byte after the size is slice data, not chroma settings. A chunk
// may code no slice and still counts; nothing coded is the middle grey of a colour image.
TEST(IW44Header, OldMinorVersionsAndChunksWithoutSlices)
{
    for (uint8_t minor : {0, 1}) {
        auto d = IW44Decoder::create();
        ASSERT_TRUE(decodeBytes(d, firstChunk(0, false, 1, minor, 100, 50, 0, {0x03, 0x00})));
        EXPECT_EQ(std::tuple(impl(d).getChromaDelay(), impl(d).getChromaHalf(), d->getWidth(), d->getHeight()),
                  std::tuple(uint8_t(10), false, 100u, 50u));
        ASSERT_TRUE(decodeBytes(d, Bytes{1, 0}));
        EXPECT_EQ(std::tuple(d->getChunkCount(), impl(d).getSliceCount()), std::tuple(2u, 0u));
        std::vector<uint8_t> px(100 * 50 * 3);
        d->render(px.data(), 100 * 3, Photometric::RGB, 1, nullptr);
        EXPECT_EQ(px, std::vector<uint8_t>(px.size(), 128));
    }
}

TEST(IW44Header, UnsupportedVersionsAreRefused)
{
    for (auto [major, minor] : {std::pair<uint8_t, uint8_t>{2, 2}, {1, 3}, {0, 2}, {127, 0}}) {
        auto d = IW44Decoder::create();
        expectThrow([&] { decodeBytes(d, firstChunk(10, false, major, minor, 64, 64, 0x8a)); }, 27,
                    "Vantorix::DjVu::IW44::IW44DecoderImpl::readHeader", "version number of the IW44 data is not supported.");
        EXPECT_FALSE(d->hasImage());
        EXPECT_EQ(d->getChunkCount(), 0u);
    }
}

TEST(IW44Header, WrongSerialLeavesTheDecoderUnchanged)
{
    const auto chunks = photoChunks();
    ASSERT_EQ(chunks.size(), 3u);
    auto d = IW44Decoder::create();
    expectThrow([&] { decodeBytes(d, chunks[1]); }, 7, "Vantorix::DjVu::IW44::IW44DecoderImpl::readHeader",
                "wrong serial number of the chunk.");
    EXPECT_FALSE(d->hasImage());
    ASSERT_TRUE(decodeBytes(d, chunks[0]));
    EXPECT_FALSE(d->isNextChunk(chunkOf("BG44", chunks[2])));
    EXPECT_EQ(thrownBy([&] { decodeBytes(d, chunks[2]); }).code, 7);
    EXPECT_EQ(std::tuple(d->getChunkCount(), impl(d).getSliceCount()), std::tuple(1u, 74u));
    ASSERT_TRUE(decodeBytes(d, chunks[1]));
    EXPECT_EQ(std::tuple(d->getChunkCount(), impl(d).getSliceCount()), std::tuple(2u, 89u));
}

TEST(IW44Header, IsNextChunkReadsOneByteAndThrowsOnlyForMemory)
{
    const auto chunks = photoChunks();
    auto d = IW44Decoder::create();
    auto storage = MemoryStorage::create(chunks[0].data(), uint32_t(chunks[0].size()));
    EXPECT_TRUE(d->isNextChunk(storage.get()));
    EXPECT_EQ(storage->getPos(), 0u) << "a storage gets its position back";
    EXPECT_TRUE(d->decode(storage.get()));

    EXPECT_FALSE(d->isNextChunk(MemoryStorage::create().get()));
    EXPECT_FALSE(d->isNextChunk(static_cast<Stream*>(nullptr)));
    for (const AutoPtr<Chunk>& c : {AutoPtr<Chunk>(), ChunkImpl::create("BG44"), chunkOf("BG44", chunks[1], true),
                                    chunkOf("BG44", {})})
        EXPECT_FALSE(d->isNextChunk(c));
    EXPECT_TRUE(d->isNextChunk(chunkOf("BG44", chunks[1])));

    // Running out of memory says nothing about the chunk: that failure alone passes through.
    AutoPtr<FailingStream> broken = makeAuto<FailingStream>(errDataBroken);
    AutoPtr<FailingStream> exhausted = makeAuto<FailingStream>(errOutOfMemory);
    EXPECT_FALSE(d->isNextChunk(broken.get()));
    EXPECT_EQ(thrownBy([&] { d->isNextChunk(exhausted.get()); }).code, errOutOfMemory);
}

TEST(IW44Decode, MissingInputsAreNamed)
{
    auto d = IW44Decoder::create();
    const std::string fn = "Vantorix::DjVu::IW44::IW44DecoderImpl::decode";
    expectThrow([&] { d->decode(static_cast<Stream*>(nullptr)); }, 7, fn, "inStream is NULL.");
    expectThrow([&] { d->decode(AutoPtr<Chunk>()); }, 7, fn, "inChunk is NULL.");
    expectThrow([&] { d->decode(ChunkImpl::create("BG44")); }, 7, fn, "inChunk has no data.");
    expectThrow([&] { d->decode(chunkOf("BG44", photoChunks()[0], true)); }, 7, fn,
                "inChunk doesn't be compatible Stream.");
    EXPECT_FALSE(d->hasImage());
    // A stream that ends inside the header is an error of the stream.
    EXPECT_NE(thrownBy([&] { decodeBytes(d, Bytes{0, 74, 1}); }).code, 0);
    EXPECT_FALSE(d->hasImage());
}

struct HookLog {
    std::vector<uint32_t> slices;
    uint32_t serialsAndReserved = 0; // all 0 for a first chunk
    IW44Decoder* decoder = nullptr;
    int abortAt = -1;
};

int32_t hook(IW44Decoder* decoder, uint32_t serial, uint32_t slice, uint32_t reserved, void* user)
{
    auto* log = static_cast<HookLog*>(user);
    log->decoder = decoder;
    log->slices.push_back(slice);
    log->serialsAndReserved |= serial | reserved;
    return int(log->slices.size()) - 1 == log->abortAt ? 1 : 0;
}

TEST(IW44Decode, ProgressHookSeesEverySliceAndCanAbort)
{
    const auto chunks = photoChunks();
    HookLog log, abort;
    auto d = IW44Decoder::create(hook, &log);
    ASSERT_TRUE(decodeBytes(d, chunks[0]));
    std::vector<uint32_t> order(74);
    std::iota(order.begin(), order.end(), 0u);
    EXPECT_EQ(log.slices, order);
    EXPECT_EQ(log.serialsAndReserved, 0u);
    EXPECT_EQ(log.decoder, d.get());

    abort.abortAt = 0;
    auto e = IW44Decoder::create(hook, &abort);
    EXPECT_FALSE(decodeBytes(e, chunks[0]));
    EXPECT_EQ(abort.slices.size(), 1u);
    EXPECT_EQ(e->getChunkCount(), 0u) << "an abandoned chunk is not counted";
    EXPECT_TRUE(e->isNextChunk(chunkOf("BG44", chunks[0])));
}

// Ten bands per bit-plane; band 9 starts at 0x80000, so a component is exhausted after 200
// slices and then reads nothing.
TEST(IW44Slices, ComponentEndsAfterTwentyBitPlanes)
{
    Bytes zeros(1 << 16, 0);
    auto stream = MemoryStorage::create(zeros.data(), uint32_t(zeros.size()));
    ZPDecoder zp(stream.get());
    ComponentDecoder c(makeAuto<Map>(40, 40, kImageByteLimit));
    int slices = 1;
    while (c.decodeSlice(zp)) ASSERT_LT(++slices, 1000);
    EXPECT_EQ(std::tuple(slices, c.curBit), std::tuple(200, -1));
    const uint64_t pos = stream->getPos();
    EXPECT_EQ(c.decodeSlice(zp), 0);
    EXPECT_EQ(stream->getPos(), pos) << "an exhausted component reads nothing";
}

// Every bucket of the first block of each of the first rows.
void fill(Map& map, uint32_t rows)
{
    for (uint32_t by = 0; by < rows; ++by)
        for (uint32_t b = 0; b < 64; ++b) map.makeBucket(map.makeRow(by)[0], b);
}

const char* const kTooLarge = "The IW44 image needs more memory than one image may take.";

TEST(IW44Map, AllocationLimitIsEnforced)
{
    Map map(2048, 2048, 64 * 1024);
    expectThrow([&] { fill(map, map.getBlocksHigh()); }, 38, "Vantorix::DjVu::IW44::Map::allocate", kTooLarge);
    EXPECT_LE(map.getAllocatedBytes(), 64u * 1024);
}

TEST(IW44Map, ComponentsShareOneBudget)
{
    // One map may take nearly all of it; what a map held goes back when it goes.
    AutoPtr<MapBudget> budget = makeAuto<MapBudget>(512 * 1024);
    auto luma = makeAuto<Map>(2048, 4096, budget);
    fill(*luma, 100);
    EXPECT_GT(luma->getAllocatedBytes(), 3 * budget->limit / 4);
    {
        Map chroma(2048, 4096, budget);
        expectThrow([&] { fill(chroma, 64); }, 38, "Vantorix::DjVu::IW44::Map::allocate", kTooLarge);
        EXPECT_EQ(budget->used, luma->getAllocatedBytes() + chroma.getAllocatedBytes());
    }
    luma = nullptr;
    EXPECT_EQ(budget->used, 0u);
}

// A header that claims the largest size costs nothing until coefficients appear; whatever
// the data, decoding ends, with an image or an Exception.
TEST(IW44Hostile, LargestSizeClaimedByAFewBytes)
{
    for (uint8_t fill : {0x00, 0xFF, 0x5A}) {
        auto d = IW44Decoder::create();
        Bytes chunk = firstChunk(255, false, 1, 2, 65535, 65535, 0x80, Bytes(64, fill));
        thrownBy([&] { decodeBytes(d, chunk); });
        if (const ComponentDecoder* y = impl(d).getComponent(0)) {
            EXPECT_LT(y->getMap().getAllocatedBytes(), 64u << 20);
        }
        // The thumbnail path still works on what was decoded.
        std::vector<uint8_t> px(2047 * 3);
        Rect r{0, 0, 2047, 1};
        EXPECT_NO_THROW(d->render(px.data(), 2047 * 3, Photometric::RGB, 32, &r));
    }
}

// Corrupted and truncated versions of real chunks decode or fail with an Exception, and what
// was decoded still renders.
TEST(IW44Hostile, CorruptedAndTruncatedChunks)
{
    std::mt19937 rng(2024);
    const auto chunks = djvuChunks(fixture("c157x113.djvu"));
    for (int trial = 0; trial < 120; ++trial) {
        auto d = IW44Decoder::create();
        for (Bytes c : chunks) {
            if (trial % 3 == 0) c.resize(rng() % (c.size() + 1));
            const int flips = 1 + int(rng() % 6);
            for (int f = 0; f < flips && !c.empty(); ++f) c[rng() % c.size()] ^= uint8_t(1 + rng() % 255);
            thrownBy([&] { decodeBytes(d, c); });
        }
        if (!d->hasImage() || d->getWidth() > 4096 || d->getHeight() > 4096) continue;
        for (uint32_t s : {1u, 4u, 32u}) {
            const uint32_t w = d->getWidth() / s, h = d->getHeight() / s;
            std::vector<uint8_t> px(size_t(w) * h * 3 + 1);
            thrownBy([&] { d->render(px.data(), int32_t(w * 3), Photometric::BGR, s, nullptr); });
        }
    }
}

// A chunk that fails part-way keeps what it decoded and is not counted.
TEST(IW44Hostile, FailedChunkIsNotCounted)
{
    Bytes first = photoChunks()[0];
    first.resize(40); // far fewer bytes than 74 slices need: the coder runs out and fails
    auto d = IW44Decoder::create();
    EXPECT_EQ(thrownBy([&] { decodeBytes(d, first); }).code, 26);
    EXPECT_EQ(d->getChunkCount(), 0u);
    EXPECT_TRUE(d->hasImage());
    EXPECT_GT(impl(d).getSliceCount(), 0u);
    auto rgb = [](const AutoPtr<IW44Decoder>& decoder) {
        std::vector<uint8_t> px(640 * 480 * 3);
        decoder->render(px.data(), 640 * 3, Photometric::RGB, 1, nullptr);
        return px;
    };
    EXPECT_NO_THROW(rgb(d));

    // The first chunk may come again, whole this time: the image starts afresh.
    ASSERT_TRUE(decodeBytes(d, photoChunks()[0]));
    EXPECT_EQ(impl(d).getSliceCount(), 74u);
    EXPECT_EQ(rgb(d), rgb(decodeAll({photoChunks()[0]})));
}

} // namespace
