#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "djv_zpdecoder.h"
#include "vtx_exception.h"
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
        int state;
        std::string p, m;
        int up, dn;
        f >> state >> p >> m >> up >> dn;
        ASSERT_EQ(state, rows);
        const auto& row = ZPDecoder::kStateTable[state];
        EXPECT_EQ(row.p, std::stoul(p, nullptr, 16)) << state;
        EXPECT_EQ(row.m, std::stoul(m, nullptr, 16)) << state;
        EXPECT_EQ(row.up, up) << state;
        EXPECT_EQ(row.dn, dn) << state;
        ++rows;
    }
    EXPECT_EQ(rows, 251);
}

TEST(ZPDecoder, PassthroughOnAllOnesIsZero)
{
    uint8_t ff[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    auto s = MemoryStorage::create(ff, 8);
    ZPDecoder zp(s.get());
    EXPECT_EQ(zp.decodePassthrough(), 0);
}

TEST(ZPDecoder, FreshContextMovesOnlyOnSlowPath)
{
    // All-zero input: code = 0, so the first bit under a fresh context is the less probable.
    uint8_t zeros[16] = {};
    auto s = MemoryStorage::create(zeros, 16);
    ZPDecoder zp(s.get());
    BitContext ctx = 0;
    EXPECT_EQ(zp.decode(ctx), 1);
    EXPECT_EQ(ctx, 145);

    // All-ones input: the first bit is the more probable one, on the slow path (z = 0x8000 is
    // above the fence 0x7FFF): state 84. Then a = 0 and p = 0x24ee: three fast-path bits that
    // leave the context alone, and a fourth on the slow path that moves it on.
    uint8_t ones[16];
    std::memset(ones, 0xFF, sizeof ones);
    auto t = MemoryStorage::create(ones, 16);
    ZPDecoder zq(t.get());
    BitContext c = 0;
    EXPECT_EQ(zq.decode(c), 0);
    EXPECT_EQ(c, 84);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(zq.decode(c), 0);
        EXPECT_EQ(c, 84) << i;
    }
    EXPECT_EQ(zq.decode(c), 0);
    EXPECT_EQ(c, ZPDecoder::kStateTable[84].up);
}

namespace {

// A source that records what the decoder asks of it, and can dole out short reads or fail.
class ScriptedStream : public Stream {
public:
    explicit ScriptedStream(std::vector<uint8_t> bytes, uint32_t maxPerRead = 0xFFFFFFFF, bool eofAtEnd = true)
        : bytes_(std::move(bytes)), maxPerRead_(maxPerRead), eofAtEnd_(eofAtEnd)
    {
    }
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

// Bits of a mixed sequence: adaptive under 8 contexts, and both context-free split points.
std::vector<int> decodeMixed(ZPDecoder& zp, size_t count)
{
    BitContext ctx[8] = {};
    std::vector<int> bits;
    for (size_t i = 0; i < count; ++i) {
        switch (i % 5) {
        case 3: bits.push_back(zp.decodePassthrough()); break;
        case 4: bits.push_back(zp.decodePassthroughIW44()); break;
        default: bits.push_back(zp.decode(ctx[i % 8])); break;
        }
    }
    return bits;
}

std::string messageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Exception& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(ZPDecoder, TableHasThePublishedShape)
{
    const auto& t = ZPDecoder::kStateTable;
    // Rows that pin the table down, as (p, m, up, dn).
    const struct { int row; uint16_t p, m; uint8_t up, dn; } known[] = {
        {0, 0x8000, 0x0000, 84, 145},  {1, 0x8000, 0x0000, 3, 4},     {2, 0x8000, 0x0000, 4, 3},
        {3, 0x6bbd, 0x10a5, 5, 1},     {4, 0x6bbd, 0x10a5, 6, 2},     {5, 0x5d45, 0x1f28, 7, 3},
        {81, 0x0001, 0x7fff, 81, 79},  {82, 0x0001, 0x7fff, 82, 80},  {83, 0x5695, 0x0000, 9, 85},
        {84, 0x24ee, 0x0000, 86, 226}, {85, 0x8000, 0x0000, 5, 6},    {249, 0x481a, 0x0000, 89, 143},
        {250, 0x481a, 0x0000, 230, 246}};
    for (const auto& k : known) {
        EXPECT_EQ(t[k.row].p, k.p) << k.row;
        EXPECT_EQ(t[k.row].m, k.m) << k.row;
        EXPECT_EQ(t[k.row].up, k.up) << k.row;
        EXPECT_EQ(t[k.row].dn, k.dn) << k.row;
    }
    // Rows 1..82 come in pairs of equal p and m; rows 0..2 and 83..250 adapt on every slow path.
    for (int r = 1; r <= 82; r += 2) {
        EXPECT_EQ(t[r].p, t[r + 1].p) << r;
        EXPECT_EQ(t[r].m, t[r + 1].m) << r;
        if (r >= 3) {
            EXPECT_NE(t[r].m, 0) << r;
        }
    }
    for (int r : {0, 1, 2}) EXPECT_EQ(t[r].m, 0) << r;
    for (int r = 83; r <= 250; ++r) EXPECT_EQ(t[r].m, 0) << r;
    for (int r = 0; r <= 250; ++r) {
        EXPECT_LE(t[r].up, 250) << r;
        EXPECT_LE(t[r].dn, 250) << r;
        EXPECT_GE(t[r].p, 1) << r;
        EXPECT_LE(t[r].p, 0x8000) << r;
    }
}

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
            switch (i % 5) {
            case 3: enc.encodePassthrough(bits[i]); break;
            case 4: enc.encodePassthroughIW44(bits[i]); break;
            default: enc.encode(bits[i], ectx[i % 8]); break;
            }
        }
        auto bytes = enc.finish();
        auto s = MemoryStorage::create(bytes.data(), uint32_t(bytes.size()));
        ZPDecoder zp(s.get());
        BitContext dctx[8] = {};
        for (size_t i = 0; i < bits.size(); ++i) {
            int got;
            switch (i % 5) {
            case 3: got = zp.decodePassthrough(); break;
            case 4: got = zp.decodePassthroughIW44(); break;
            default: got = zp.decode(dctx[i % 8]); break;
            }
            ASSERT_EQ(got, bits[i]) << "seed " << seed << " bit " << i;
        }
        EXPECT_EQ(0, std::memcmp(ectx, dctx, sizeof ectx)) << seed;
    }
}

TEST(ZPDecoder, ReadBufferAndByteLimit)
{
    const auto data = randomBytes(300, 11);
    auto reference = [&] {
        auto s = MemoryStorage::create(data.data(), uint32_t(data.size()));
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
    auto cut = std::vector<uint8_t>(data.begin(), data.begin() + 23);
    auto s = MemoryStorage::create(cut.data(), 23);
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
    ScriptedStream stalled({}, 0xFFFFFFFF, false);
    EXPECT_NE(messageOf([&] { ZPDecoder zp(&stalled); }).find(
                  "Vantorix::DjVu::ZPDecoder::read: Error 16: ZPCoder: read error."),
              std::string::npos);
    // ...or later, once the bytes it had are used up.
    ScriptedStream later(randomBytes(40, 3), 0xFFFFFFFF, false);
    ZPDecoder zp(&later);
    std::string what = messageOf([&] { decodeMixed(zp, 100000); });
    EXPECT_NE(what.find("Error 16: ZPCoder: read error."), std::string::npos) << what;

    EXPECT_NE(messageOf([] { ZPDecoder zp(nullptr); }).find(
                  "Vantorix::DjVu::ZPDecoder::ZPDecoder: Error 26: no stream"),
              std::string::npos);
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
        std::vector<uint8_t> ones(have, 0xFF);
        auto s = MemoryStorage::create(ones.data(), have);
        ZPDecoder zp(s.get());
        int bits = 0;
        std::string what = messageOf([&] {
            for (;;) {
                ASSERT_EQ(zp.decodePassthrough(), 0);
                ++bits;
            }
        });
        EXPECT_NE(what.find("Vantorix::DjVu::ZPDecoder::preload: Error 26: preload failed."), std::string::npos)
            << what;
        EXPECT_EQ(bits, expected) << have;
    }
}
