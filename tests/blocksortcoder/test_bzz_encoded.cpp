// Payloads made by DjVuLibre's `bzz -e` (tests/fixtures/gen_bzz.sh) decode to their originals,
// and damaged copies of them end in an Exception or in bytes, never in a crash or a hang.
#include <gtest/gtest.h>

#include <fstream>

#include "bzz_testutil.h"
#include "vtx_exception.h"

using namespace Vantorix;
using namespace bzztest;

namespace {

const std::string kDir = VTX_FIXTURE_DIR "/bzz/";

struct Encoded {
    std::string file;
    uint32_t length;
    uint32_t cksum;
};

std::vector<Encoded> manifest()
{
    std::vector<Encoded> all;
    std::ifstream in(kDir + "manifest.tsv");
    for (Encoded e; in >> e.file >> e.length >> e.cksum;) all.push_back(e);
    return all;
}

uint32_t cksumOf(const std::vector<uint8_t>& v)
{
    Cksum c;
    c.update(v.data(), v.size());
    return c.value();
}

class BzzEncoded : public ::testing::TestWithParam<Encoded> {};

} // namespace

TEST(BzzFixtures, ManifestIsComplete)
{
    // A missing or half-written fixture folder must fail loudly, not skip every case.
    EXPECT_EQ(manifest().size(), 14u);
}

TEST_P(BzzEncoded, DecodesToTheOriginal)
{
    const Encoded& e = GetParam();
    auto payload = readFile(kDir + e.file);
    // Odd and large pieces: reads straddle block boundaries in both cases.
    std::vector<uint8_t> all;
    for (uint32_t chunk : {4093u, 1u << 20}) {
        all = inflateAll(payload, chunk);
        ASSERT_EQ(all.size(), e.length) << "chunk " << chunk;
        EXPECT_EQ(cksumOf(all), e.cksum) << "chunk " << chunk;
    }

    // Skipping with a null buffer counts the same bytes; an exact read takes the rest, then nothing more.
    auto s = DjVu::InflateStream::create(streamOf(payload));
    uint32_t half = e.length / 2;
    EXPECT_EQ(s->readBytes(nullptr, half, true), half);
    std::vector<uint8_t> rest(e.length - half);
    EXPECT_EQ(s->readBytes(rest.data(), uint32_t(rest.size()), true), rest.size());
    EXPECT_TRUE(std::equal(all.begin() + half, all.end(), rest.begin()));
    uint8_t extra;
    EXPECT_EQ(s->readBytes(&extra, 1, false), 0u);
    EXPECT_TRUE(s->isEof());
    EXPECT_THROW(s->readBytes(&extra, 1, true), Exception);

    // A directory chunk passes the payload's length as limit: bytes after it must not matter.
    if (e.length == 0 || e.length > 300000) return; // a limit of 0 means none
    auto padded = payload;
    for (int i = 0; i < 64; ++i) padded.push_back(uint8_t(i * 37));
    EXPECT_EQ(inflateAll(padded, 4093, uint32_t(payload.size())), all);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, BzzEncoded, ::testing::ValuesIn(manifest()),
                         [](const auto& info) { return info.param.file.substr(0, info.param.file.find('.')); });

TEST(BzzDamaged, TruncatedAndCorruptedPayloads)
{
    // Every cut throws; every flipped byte either throws or yields some bytes, most must be detected.
    for (const char* name : {"text200k.bzz", "rand4097.bzz", "text1k.bzz", "rand70k.bzz"}) {
        auto payload = readFile(kDir + name);
        ASSERT_GT(payload.size(), 64u) << name;
        for (int k = 1; k < 16; ++k) {
            std::vector<uint8_t> cut(payload.begin(), payload.begin() + payload.size() * k / 16);
            EXPECT_EQ(vtxtest::thrownBy([&] { inflateAll(cut); }).code, 26) << name << " cut at " << cut.size();
        }
        const size_t step = payload.size() / 40 + 1;
        int thrown = 0, total = 0;
        for (size_t at = 0; at < payload.size(); at += step) {
            for (uint8_t mask : {0x01, 0x80, 0xFF}) {
                auto bad = payload;
                bad[at] ^= mask;
                ++total;
                auto t = vtxtest::thrownBy([&] { inflateAll(bad); });
                thrown += t.thrown;
                EXPECT_TRUE(!t.thrown || t.code == 26) << t.message;
            }
        }
        EXPECT_GT(thrown, total * 3 / 4) << name;
    }
}
