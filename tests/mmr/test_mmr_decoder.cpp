#include <functional>
#include <random>

#include "mmr_test_util.h"

using namespace _Vtx_Internal_NS_;
using namespace mmrtest;
using Vantorix::AutoPtr;
using Vantorix::makeAuto;

namespace {

// A payload: header then the written code (padded to a byte).
Bytes page(uint32_t w, uint32_t h, const BitWriter& code, uint8_t flags = 0)
{
    Bytes b = header(flags, w, h);
    append(b, code.bytes());
    return b;
}

// Stripes of the given height, each with its byte count.
Bytes striped(uint32_t w, uint32_t h, uint32_t rows, const std::vector<Bytes>& stripes, uint8_t flags = 0x02)
{
    Bytes b = header(flags, w, h);
    appendBE(b, rows, 2);
    for (const Bytes& s : stripes) {
        appendBE(b, uint32_t(s.size()), 4);
        append(b, s);
    }
    return b;
}

const std::string kScanline = "_Vtx_Internal_NS_::MMRDecoder::getScanline: Error 20: ";

} // namespace

// Rows coded against the row above: every mode with the runs it must give, rows opening with
// black, runs past the width trimmed, stripes starting against a white row.
TEST(MMRDecoder, RowsFromCode)
{
    const struct {
        uint32_t w, h;
        const char* code;
        std::vector<Runs> want;
    } cases[] = {
        {1728, 2, "V0 V0", {{1728}, {1728}}}, // white rows
        // Every mode; one row a line. After a row the changing element b1 sits where noted.
        {10,
         8,
         "H3,3 V0 "    // ...###....
         "P V0 "       // white: pass over the black run
         "H5,5 "       // .....#####
         "VL1 V0 "     // one left of b1 = 5
         "VR2 V0 "     // two right of b1 = 4
         "VL3 V0 "     // ...#######
         "VR3 VL2 V0 " // ......##.. (white back at b1 = 10 - 2)
         "VR1 VR2",    // b1 = 6, then to the width from b1 = 8
         {{3, 3, 4}, {10}, {5, 5}, {4, 6}, {6, 4}, {3, 7}, {6, 2, 2}, {7, 3}}},
        {10, 2, "H0,4 V0 V0 V0 V0", {{0, 4, 6}, {0, 4, 6}}}, // b1 = 0: V0 opens with black again
        // Runs past the width: 13 > 10 drops the 5 and fills the 2 left; the first run alone
        // passes the width; VR3 from b1 = 10 gives one run of 13; exact rows are kept.
        {10, 4, "H8,5 H12,0 VR3 H4,6", {{8, 2}, {10}, {10}, {4, 6}}},
        // a0 walked back by left modes: a run of -1 in mid-row. ddjvu refuses this code; here
        // the run is kept modulo 2^16 and trimmed away with what follows, so the row stays whole.
        {4, 2, "H3,1 VL1 VL3 V0 V0 V0", {{3, 1}, {2, 2}}},
    };
    for (const auto& c : cases) {
        BitWriter code;
        code.script(c.code);
        EXPECT_EQ(decodeAll(page(c.w, c.h, code)).rows, c.want) << c.code;
    }

    // Two stripes of two rows: the first carries unused bytes, the second starts against a
    // white row although the row above it is black. A last count past the data just ends there.
    BitWriter s1, s2;
    s1.script("H0,6 V0 V0");
    Bytes stripe1 = s1.bytes();
    stripe1.insert(stripe1.end(), {0xFF, 0x00, 0xAA});
    s2.script("V0 H1,1 V0");
    const std::vector<Runs> want{{0, 6}, {0, 6}, {6}, {1, 1, 4}};
    EXPECT_EQ(decodeAll(striped(6, 4, 2, {stripe1, s2.bytes()})).rows, want);
    Bytes longLast = striped(6, 4, 2, {stripe1});
    appendBE(longLast, 100000, 4);
    append(longLast, s2.bytes());
    EXPECT_EQ(decodeAll(longLast).rows, want);
    // Flags 0x03: inverted and striped.
    BitWriter v0;
    v0.mode(mmrV0);
    const Decoded inv = decodeAll(striped(5, 1, 1, {v0.bytes()}, 0x03));
    EXPECT_TRUE(inv.inverted);
    EXPECT_EQ(inv.rows, std::vector<Runs>{{5}});
}

TEST(MMRDecoder, EndOfBlockThenNullForever)
{
    BitWriter c, one;
    c.mode(mmrV0);
    c.eofb();
    AutoPtr<MMRDecoder> d = makeAuto<MMRDecoder>(streamOf(page(9, 5, c)));
    const uint16_t* end = nullptr;
    const uint16_t* row = d->getScanline(end);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row[0], 9);
    EXPECT_EQ(end, row + 1);
    const uint16_t* before = end;
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(d->getScanline(end), nullptr);
        EXPECT_EQ(end, before);
    }
    one.mode(mmrV0); // after the last row, too
    AutoPtr<MMRDecoder> e = makeAuto<MMRDecoder>(streamOf(page(9, 1, one)));
    EXPECT_NE(e->getScanline(end), nullptr);
    EXPECT_EQ(e->getScanline(end), nullptr);
    EXPECT_EQ(e->getScanline(end), nullptr);
}

// Bad headers, unknown codes, data that stops, and codes that emit runs without advancing or
// leave the width: an Exception with the message that says which, never a hang or a write
// past the run lists.
TEST(MMRDecoder, RefusedPayloads)
{
    const std::string ctor = "_Vtx_Internal_NS_::MMRDecoder::MMRDecoder: Error 20: ";
    BitWriter v0, zeros, run, few, zeroRuns, past, exit;
    v0.mode(mmrV0);
    zeros.mode(mmrV0);
    zeros.bits(0, 16);
    run.mode(mmrHorizontal);
    run.bits("0000000011111111"); // eight zeros then a one is no white code
    few.script("V0 V0");
    for (int i = 0; i < 40; ++i) zeroRuns.horizontal(false, 0, 0);
    past.bits("0000001111 000001000001 00000010"); // uncompressed mode running past the width
    exit.bits("0000001111 0000000100000000");      // 00000001T: not an exit this decoder knows
    Bytes wrongMagic = page(5, 1, v0);
    wrongMagic[2] = 'X';
    const std::pair<Bytes, std::string> cases[] = {
        {page(5, 1, v0, 0x04), ctor + "Unrecognized header!"},
        {page(5, 1, v0, 0x80), ctor + "Unrecognized header!"},
        {page(5, 1, v0, 0xFC), ctor + "Unrecognized header!"},
        {wrongMagic, ctor + "Unrecognized header!"},
        {page(0, 1, v0), ctor + "Invalid image size!"},
        {page(1, 0, v0), ctor + "Invalid image size!"},
        {page(9, 2, zeros), kScanline + "Unknown MMR code!"},
        {page(9, 2, run), kScanline + "Unknown MMR code!"},
        {page(9, 200, few), kScanline + "Unknown MMR code!"}, // zero bits come in after the data
        {header(0, 9, 200), kScanline + "Unknown MMR code!"},
        {striped(6, 1, 1, {{}}), kScanline + "Unknown MMR code!"}, // a stripe of no bytes
        {page(4, 1, zeroRuns), kScanline + "MMR data broken!"},
        {page(8, 1, past), kScanline + "MMR data broken!"},
        {page(8, 1, exit), kScanline + "MMR data broken!"},
    };
    for (const auto& [payload, message] : cases)
        EXPECT_TRUE(vtxtest::contains(thrownBy([&] { decodeAll(payload); }).message, message)) << message;

    // Cut inside the header, the stripe height, the first stripe count; an earlier stripe's count
    // past the data.
    const Bytes full = striped(5, 1, 1, {v0.bytes()});
    for (long n : {0, 3, 7, 9, 12})
        EXPECT_NE(thrownBy([&] { decodeAll(Bytes(full.begin(), full.begin() + n)); }).message, "") << n;
    Bytes longFirst = header(0x02, 6, 4);
    appendBE(longFirst, 2, 2);
    appendBE(longFirst, 100000, 4);
    append(longFirst, Bytes(8, 0xFF));
    EXPECT_NE(thrownBy([&] { decodeAll(longFirst); }).message, "");

    // Passes over a reference of zero runs never step past its end.
    BitWriter passes;
    for (int i = 0; i < 3; ++i) passes.horizontal(false, 0, 0);
    passes.horizontal(false, 0, 4);
    for (int i = 0; i < 50; ++i) passes.mode(mmrPass);
    passes.mode(mmrV0);
    Decoded d;
    const bool decoded = thrownBy([&] { d = decodeAll(page(4, 2, passes)); }).message.empty();
    for (const Runs& r : d.rows) EXPECT_TRUE(decoded && sum(r) == 4u);
}

// Random code words after a valid header: every delivered row sums to the width and any
// failure is an Exception (the sanitizer build checks the rest).
TEST(MMRDecoder, RandomCodeNeverBreaksTheRowInvariant)
{
    std::mt19937 rng(12345);
    uint32_t rowsSeen = 0, failures = 0;
    for (int iter = 0; iter < 3000; ++iter) {
        const uint32_t w = 1 + rng() % (iter % 3 ? 40 : 3000), h = 1 + rng() % 50;
        BitWriter c;
        for (int i = int(rng() % 400); i > 0; --i) {
            switch (rng() % 8) {
            case 0: c.horizontal(rng() & 1, rng() % (w + 5), rng() % (w + 5)); break;
            case 1: c.bits(rng(), 1 + rng() % 16); break;
            case 2: c.bits("0000001111"); break;
            default: c.mode(rng() % 9); break;
            }
        }
        Decoded d;
        if (!thrownBy([&] { d = decodeAll(page(w, h, c, uint8_t(rng() & 1))); }).message.empty()) {
            ++failures;
            continue;
        }
        for (const Runs& r : d.rows) ASSERT_EQ(sum(r), w);
        EXPECT_LE(d.rows.size() + d.nulls, h);
        rowsSeen += uint32_t(d.rows.size());
    }
    EXPECT_GT(rowsSeen, 500u); // the generator does reach deep into pictures
    EXPECT_GT(failures, 100u);
}
