#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "djv_zpdecoder.h"
#include "vtx_exception.h"

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

TEST(ZPDecoder, EmptyStreamInventsBytesThenFails)
{
    auto s = MemoryStorage::create();
    ZPDecoder zp(s.get());
    int bits = 0;
    try {
        for (;;) {
            zp.decodePassthrough();
            ++bits;
        }
    } catch (const Exception& e) {
        EXPECT_EQ(e.getCode(), 26);
        EXPECT_NE(std::string(e.what()).find("Vantorix::DjVu::ZPDecoder::preload: Error 26: preload failed."),
                  std::string::npos);
    }
    EXPECT_GT(bits, 100);
}

TEST(ZPDecoder, PassthroughOnAllOnesIsZero)
{
    uint8_t ff[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    auto s = MemoryStorage::create(ff, 8);
    ZPDecoder zp(s.get());
    EXPECT_EQ(zp.decodePassthrough(), 0);
}

TEST(ZPDecoder, ByteLimitActsAsEndOfStream)
{
    uint8_t data[64];
    for (int i = 0; i < 64; ++i) data[i] = uint8_t(i * 37 + 11);
    auto full = MemoryStorage::create(data, 64);
    auto cut = MemoryStorage::create(data, 10);
    ZPDecoder a(full.get(), 10), b(cut.get());
    BitContext ca[4] = {}, cb[4] = {};
    for (int i = 0; i < 400; ++i) ASSERT_EQ(a.decode(ca[i & 3]), b.decode(cb[i & 3])) << i;
    EXPECT_EQ(full->getPos(), 10u);
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
}
