#include <random>

#include "mmr_test_util.h"

using namespace _Vtx_Internal_NS_;
using namespace mmrtest;

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

// Runs past the width trimmed, left modes walking back, and stripes: each starts against a
// white row and may carry bytes its rows do not use.
TEST(MMRDecoder, RowsFromCode)
{
    const struct {
        uint32_t w, h;
        const char* code;
        std::vector<Runs> want;
    } cases[] = {
        // 13 > 10 drops the 5 and fills the 2 left; the first run alone passes the width; VR3
        // from b1 = 10 gives one run of 13; exact rows are kept.
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

    // The second stripe starts against a white row although the row above it is black; flags
    // 0x03 are inverted and striped. A last count past the data just ends there.
    BitWriter s1, s2;
    s1.script("H0,6 V0 V0");
    Bytes stripe1 = s1.bytes();
    stripe1.insert(stripe1.end(), {0xFF, 0x00, 0xAA});
    s2.script("V0 H1,1 V0");
    const std::vector<Runs> want{{0, 6}, {0, 6}, {6}, {1, 1, 4}};
    const Decoded inverted = decodeAll(striped(6, 4, 2, {stripe1, s2.bytes()}, 0x03));
    EXPECT_EQ(inverted.rows, want);
    EXPECT_TRUE(inverted.inverted);
    Bytes longLast = striped(6, 4, 2, {stripe1});
    appendBE(longLast, 100000, 4);
    append(longLast, s2.bytes());
    EXPECT_EQ(decodeAll(longLast).rows, want);
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
        {wrongMagic, ctor + "Unrecognized header!"},
        {page(0, 1, v0), ctor + "Invalid image size!"},
        {page(1, 0, v0), ctor + "Invalid image size!"},
        {page(9, 2, zeros), kScanline + "Unknown MMR code!"},
        {page(9, 2, run), kScanline + "Unknown MMR code!"},
        {page(9, 200, few), kScanline + "Unknown MMR code!"}, // zero bits come in after the data
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
    thrownBy([&] { decodeAll(page(4, 2, passes)); });
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
        rowsSeen += uint32_t(d.rows.size());
    }
    EXPECT_GT(rowsSeen, 500u); // the generator does reach deep into pictures
    EXPECT_GT(failures, 100u);
}
