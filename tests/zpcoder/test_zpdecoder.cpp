#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "djv_zpdecoder.h"
#include "testutil.h"
#include "zp_testencoder.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;

TEST(ZPDecoder, CompiledTableEqualsFormatTable)
{
    std::ifstream in(VTX_SOURCE_DIR "/sdk/src/zpcoder/zp_states.tsv");
    ASSERT_TRUE(in);
    std::string line;
    int rows = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream f(line);
        int state, up, dn;
        std::string p, m;
        f >> state >> p >> m >> up >> dn;
        ASSERT_EQ(state, rows++);
        const auto& row = ZPDecoder::kStateTable[state];
        EXPECT_TRUE(row.p == std::stoul(p, nullptr, 16) && row.m == std::stoul(m, nullptr, 16) && row.up == up &&
                    row.dn == dn)
            << line;
    }
    EXPECT_EQ(rows, 251);
    // A few published rows as (p, m, up, dn), so that the two cannot drift together.
    const struct { int row; uint16_t p, m; uint8_t up, dn; } known[] = {
        {0, 0x8000, 0x0000, 84, 145}, {3, 0x6bbd, 0x10a5, 5, 1},    {5, 0x5d45, 0x1f28, 7, 3},
        {82, 0x0001, 0x7fff, 82, 80}, {83, 0x5695, 0x0000, 9, 85},  {84, 0x24ee, 0x0000, 86, 226},
        {85, 0x8000, 0x0000, 5, 6},   {250, 0x481a, 0x0000, 230, 246}};
    for (const auto& k : known) {
        const auto& r = ZPDecoder::kStateTable[k.row];
        EXPECT_TRUE(r.p == k.p && r.m == k.m && r.up == k.up && r.dn == k.dn) << k.row;
    }
}

TEST(ZPDecoder, FreshContextMovesOnlyOnSlowPath)
{
    // All-zero input: code = 0, so the first bit under a fresh context is the less probable.
    auto s = vtxtest::streamOf(std::vector<uint8_t>(16, 0));
    ZPDecoder zp(s.get());
    BitContext ctx = 0;
    EXPECT_EQ(zp.decode(ctx), 1);
    EXPECT_EQ(ctx, 145);

    // All-ones input: the first bit is the more probable one, on the slow path (z = 0x8000 is
    // above the fence 0x7FFF): state 84. Then a = 0 and p = 0x24ee: three fast-path bits that
    // leave the context alone, and a fourth on the slow path that moves it on.
    auto t = vtxtest::streamOf(std::vector<uint8_t>(16, 0xFF));
    ZPDecoder zq(t.get());
    BitContext c = 0;
    EXPECT_EQ(zq.decode(c), 0);
    EXPECT_EQ(c, 84);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(zq.decode(c) == 0 && c == 84) << i;
    EXPECT_EQ(zq.decode(c), 0);
    EXPECT_EQ(c, ZPDecoder::kStateTable[84].up);
}

namespace {

// A source that records what the decoder asks of it, and can dole out short reads or fail.
class ScriptedStream : public Stream {
public:
    explicit ScriptedStream(std::vector<uint8_t> bytes, uint32_t maxPerRead = 0xFFFFFFFF, bool eofAtEnd = true)
        : bytes_(std::move(bytes)), maxPerRead_(maxPerRead), eofAtEnd_(eofAtEnd) {}
    uint32_t readBytes(void* buffer, uint32_t size, bool) override
    {
        requests.push_back(size);
        uint32_t n = std::min<uint32_t>({size, maxPerRead_, uint32_t(bytes_.size() - pos_)});
        if (n) std::memcpy(buffer, bytes_.data() + pos_, n);
        pos_ += n;
        return n;
    }
    void writeBytes(const void*, uint32_t) override {}
    void flushBuffer() override {}
    bool isEof() override { return eofAtEnd_ && pos_ == bytes_.size(); }
    void lock() override {}
    void unlock() override {}

    std::vector<uint32_t> requests;

private:
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
    uint32_t maxPerRead_;
    bool eofAtEnd_;
};

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(rng());
    return v;
}

// Bit i of a mixed sequence: adaptive under 8 contexts, and both context-free split points.
int decodeMixedBit(ZPDecoder& zp, BitContext (&ctx)[8], size_t i)
{
    return i % 5 == 3 ? zp.decodePassthrough() : i % 5 == 4 ? zp.decodePassthroughIW44() : zp.decode(ctx[i % 8]);
}

std::vector<int> decodeMixed(ZPDecoder& zp, size_t count)
{
    BitContext ctx[8] = {};
    std::vector<int> bits;
    for (size_t i = 0; i < count; ++i) bits.push_back(decodeMixedBit(zp, ctx, i));
    return bits;
}

// Random code bytes, for odd seeds skewed low (long runs of the likelier value).
std::vector<uint8_t> sessionCodeBytes(uint32_t seed)
{
    std::vector<uint8_t> data = randomBytes(4000, seed);
    if (seed % 2)
        for (auto& b : data) b &= 0x0F;
    return data;
}

} // namespace

TEST(ZPDecoder, DecodesWhatWasEncoded)
{
    // Skewed and even sources so that the fast path, both slow outcomes and every split point
    // run; the contexts must end in the states the encoder left them in.
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        std::mt19937 rng(seed);
        const int skew = int(seed % 3); // 0: even, 1: 1 in 8 ones, 2: 1 in 64 ones
        std::vector<int> bits(20000);
        for (auto& b : bits) b = skew == 0 ? int(rng() & 1) : int(rng() % (skew == 1 ? 8 : 64) == 0);

        zptest::ZPTestEncoder enc;
        BitContext ectx[8] = {};
        for (size_t i = 0; i < bits.size(); ++i) {
            if (i % 5 == 3) enc.encodePassthrough(bits[i]);
            else if (i % 5 == 4) enc.encodePassthroughIW44(bits[i]);
            else enc.encode(bits[i], ectx[i % 8]);
        }
        auto s = vtxtest::streamOf(enc.finish());
        ZPDecoder zp(s.get());
        BitContext dctx[8] = {};
        for (size_t i = 0; i < bits.size(); ++i)
            ASSERT_EQ(decodeMixedBit(zp, dctx, i), bits[i]) << "seed " << seed << " bit " << i;
        EXPECT_EQ(0, std::memcmp(ectx, dctx, sizeof ectx)) << seed;
    }
}

TEST(ZPDecoder, SessionDecodesLikeTheDecoder)
{
    // Runs of session decisions between plain ones (passthrough bits touch the interval the
    // session hands back): same bits, same contexts, on skewed and even code bytes.
    for (uint32_t seed = 1; seed <= 8; ++seed) {
        const std::vector<uint8_t> data = sessionCodeBytes(seed);
        auto plainStream = vtxtest::streamOf(data), stream = vtxtest::streamOf(data);
        ZPDecoder plain(plainStream.get()), zp(stream.get());
        BitContext plainCtx[16] = {}, ctx[16] = {};
        std::mt19937 rng(seed);
        for (int run = 0; run < 400; ++run) {
            const uint32_t length = rng() % 40;
            {
                ZPDecoder::Session session(zp);
                for (uint32_t i = 0; i < length; ++i) {
                    const uint32_t c = rng() % 16;
                    ASSERT_EQ(session.decode(ctx[c]), plain.decode(plainCtx[c])) << seed << " run " << run;
                }
            }
            ASSERT_EQ(zp.decodePassthrough(), plain.decodePassthrough()) << seed << " run " << run;
        }
        EXPECT_EQ(0, std::memcmp(ctx, plainCtx, sizeof ctx)) << seed;
    }
}

TEST(ZPDecoder, SessionRunDecidesLikeSingleDecisions)
{
    // A run either stands for its decisions (all predicted, context untouched) or decides
    // nothing, after which the single decisions must still line up with the plain decoder.
    const BitContext states[] = {82, 83, 80, 76, 61, 60, 30, 0};
    for (uint32_t seed = 1; seed <= 8; ++seed) {
        const std::vector<uint8_t> data = sessionCodeBytes(seed);
        auto plainStream = vtxtest::streamOf(data), stream = vtxtest::streamOf(data);
        ZPDecoder plain(plainStream.get()), zp(stream.get());
        std::mt19937 rng(seed);
        int runs = 0;
        for (int step = 0; step < 2000; ++step) {
            const BitContext state = states[rng() % std::size(states)];
            const uint32_t count = 1 + rng() % 16;
            BitContext ctx = state, plainCtx = state;
            {
                ZPDecoder::Session session(zp);
                const bool run = session.decodeRun(state, count);
                runs += run;
                for (uint32_t i = 0; i < count; ++i) {
                    const int bit = plain.decode(plainCtx);
                    if (run) {
                        ASSERT_EQ(bit, state & 1) << seed << " step " << step;
                        ASSERT_EQ(plainCtx, state) << seed << " step " << step;
                    } else {
                        ASSERT_EQ(session.decode(ctx), bit) << seed << " step " << step;
                        ASSERT_EQ(ctx, plainCtx) << seed << " step " << step;
                    }
                }
            }
            ASSERT_EQ(zp.decodePassthrough(), plain.decodePassthrough()) << seed << " step " << step;
        }
        EXPECT_GT(runs, 100) << seed;
    }
}

TEST(ZPDecoder, ReadBufferAndByteLimit)
{
    const auto data = randomBytes(300, 11);
    auto reference = [&] {
        auto s = vtxtest::streamOf(data);
        ZPDecoder zp(s.get());
        return decodeMixed(zp, 1500);
    }();

    // The buffer size changes how the stream is asked, never the bits.
    for (uint32_t bufferSize : {0u, 1u, 5u, 16u, 4096u}) {
        ScriptedStream s(data);
        ZPDecoder zp(&s, 0, bufferSize);
        EXPECT_EQ(decodeMixed(zp, 1500), reference) << bufferSize;
        const uint32_t expect = bufferSize ? bufferSize : 16;
        for (size_t i = 0; i < s.requests.size(); ++i) EXPECT_EQ(s.requests[i], expect) << bufferSize;
    }
    // Short reads from the stream do not change them either.
    {
        ScriptedStream s(data, 3);
        ZPDecoder zp(&s);
        EXPECT_EQ(decodeMixed(zp, 1500), reference);
    }
    // A limit: requests shrink to what is left, then stop; the bits are those of a stream cut
    // at the limit.
    auto s = vtxtest::streamOf(std::vector<uint8_t>(data.begin(), data.begin() + 23));
    ZPDecoder zc(s.get());
    auto expected = decodeMixed(zc, 300);
    ScriptedStream limited(data);
    ZPDecoder zl(&limited, 23);
    EXPECT_EQ(decodeMixed(zl, 300), expected);
    EXPECT_EQ(limited.requests, (std::vector<uint32_t>{16, 7}));
}

TEST(ZPDecoder, StreamThatStallsIsAReadError)
{
    // Nothing delivered while the stream is not at its end: at construction...
    const char* readError = "ZPCoder: read error.";
    ScriptedStream stalled({}, 0xFFFFFFFF, false);
    vtxtest::expectThrow([&] { ZPDecoder zp(&stalled); }, 16, "Vantorix::DjVu::ZPDecoder::read", readError);
    // ...or later, once the bytes it had are used up.
    ScriptedStream later(randomBytes(40, 3), 0xFFFFFFFF, false);
    ZPDecoder zp(&later);
    vtxtest::expectThrow([&] { decodeMixed(zp, 100000); }, 16, "Vantorix::DjVu::ZPDecoder::read", readError);
    vtxtest::expectThrow([] { ZPDecoder zp(nullptr); }, 26, "Vantorix::DjVu::ZPDecoder::ZPDecoder", "no stream");
}

TEST(ZPDecoder, InventsExactlyTwentyFourBytes)
{
    // Missing code bytes are free; every later missing byte counts and the 25th throws. With
    // code = 0xFFFF each passthrough bit is 0 and consumes one bit; a refill comes when fewer
    // than 16 are left and fetches bytes until more than 24 are there. Empty: 24 bytes, 192
    // bits, the refill that needs the 25th comes at bit 177. Nine bytes (7 beyond the code):
    // 31 bytes, the last refill fetches byte 31 and then fails at bit 225.
    const std::pair<uint32_t, int> cases[] = {{0, 176}, {1, 176}, {2, 176}, {9, 224}};
    for (auto [have, expected] : cases) {
        auto s = vtxtest::streamOf(std::vector<uint8_t>(have, 0xFF));
        ZPDecoder zp(s.get());
        int bits = 0;
        vtxtest::expectThrow([&] {
            for (;; ++bits) ASSERT_EQ(zp.decodePassthrough(), 0);
        }, 26, "Vantorix::DjVu::ZPDecoder::preload", "preload failed.");
        EXPECT_EQ(bits, expected) << have;
    }
}
