// The packed-row template decoders against plain ones that gather every neighbour pixel by
// pixel: the same code bytes must give the same bitmaps and leave the same contexts.
#include <gtest/gtest.h>

#include <bit>
#include <random>
#include <vector>

#include "djv_jb2contextrows.h"
#include "jb2_test_util.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;
using _Vtx_Internal_NS_::decodeDirectRows;
using _Vtx_Internal_NS_::decodeRefinedRows;
using _Vtx_Internal_NS_::RefinementReference;

namespace {

using jb2test::Pixels;
using jb2test::pixelsOf;

// 0 outside.
int pixel(const Pixels& p, int64_t x, int64_t y)
{
    if (y < 0 || y >= int64_t(p.size()) || x < 0 || x >= int64_t(p[size_t(y)].size())) return 0;
    return p[size_t(y)][size_t(x)];
}

Pixels plainDirect(ZPDecoder& zp, BitContext* contexts, uint32_t w, uint32_t h)
{
    Pixels p(h, std::vector<int>(w));
    for (int64_t y = 0; y < h; ++y)
        for (int64_t x = 0; x < w; ++x) {
            const uint32_t c = pixel(p, x - 1, y - 2) << 9 | pixel(p, x, y - 2) << 8 | pixel(p, x + 1, y - 2) << 7 |
                               pixel(p, x - 2, y - 1) << 6 | pixel(p, x - 1, y - 1) << 5 | pixel(p, x, y - 1) << 4 |
                               pixel(p, x + 1, y - 1) << 3 | pixel(p, x + 2, y - 1) << 2 | pixel(p, x - 2, y) << 1 |
                               pixel(p, x - 1, y);
            p[size_t(y)][size_t(x)] = zp.decode(contexts[c]);
        }
    return p;
}

Pixels plainRefined(ZPDecoder& zp, BitContext* contexts, uint32_t w, uint32_t h, const Pixels& ref, int64_t dx,
                    int64_t dy)
{
    Pixels p(h, std::vector<int>(w));
    for (int64_t y = 0; y < h; ++y)
        for (int64_t x = 0; x < w; ++x) {
            const int64_t rx = x + dx, ry = y + dy;
            const uint32_t c = pixel(p, x - 1, y - 1) << 10 | pixel(p, x, y - 1) << 9 | pixel(p, x + 1, y - 1) << 8 |
                               pixel(p, x - 1, y) << 7 | pixel(ref, rx, ry - 1) << 6 | pixel(ref, rx - 1, ry) << 5 |
                               pixel(ref, rx, ry) << 4 | pixel(ref, rx + 1, ry) << 3 | pixel(ref, rx - 1, ry + 1) << 2 |
                               pixel(ref, rx, ry + 1) << 1 | pixel(ref, rx + 1, ry + 1);
            p[size_t(y)][size_t(x)] = zp.decode(contexts[c]);
        }
    return p;
}

// A bitmap whose pixels are set with the given odds in percent.
ShapeBitmap randomBitmap(std::mt19937& rng, uint32_t w, uint32_t h, uint32_t percent)
{
    std::vector<uint8_t> bytes(size_t(w) * h);
    for (auto& b : bytes) b = uint8_t(rng() % 100 < percent);
    return jb2test::bitmapOf(w, h, bytes);
}

// Code bytes: random ones, or a fixture's JB2 payload (real coded data, read as if it were
// bitmap data), from a random offset.
std::vector<uint8_t> codeBytes(std::mt19937& rng, const std::vector<uint8_t>& fixture)
{
    if (fixture.size() > 64 && rng() % 2) return std::vector<uint8_t>(fixture.begin() + rng() % (fixture.size() / 2), fixture.end());
    std::vector<uint8_t> bytes(2048 + rng() % 512);
    // Mostly low bytes, which decode to long runs of the likelier value, sometimes uniform ones.
    const uint32_t mask = rng() % 2 ? 0xFF : 0x1F;
    for (auto& b : bytes) b = uint8_t(rng() & mask);
    return bytes;
}

// The plain decoder and the one under test over the same code bytes, each with its own copy of
// the same random contexts.
struct TwinDecoders {
    TwinDecoders(std::mt19937& rng, const std::vector<uint8_t>& code, size_t contextCount)
        : plainStream(jb2test::streamOf(code)), stream(jb2test::streamOf(code)), plainZp(plainStream.get()),
          zp(stream.get()), plainContexts(contextCount)
    {
        for (BitContext& c : plainContexts) c = uint8_t(rng() % 2 ? rng() % 251 : 0);
        contexts = plainContexts;
    }
    // Same contexts after decoding, and the same next decision: both read as many decisions.
    void expectInStep(int caseIndex)
    {
        ASSERT_EQ(contexts, plainContexts) << "case " << caseIndex;
        BitContext a = 0, b = 0;
        ASSERT_EQ(zp.decode(a), plainZp.decode(b)) << "case " << caseIndex;
    }

    decltype(jb2test::streamOf(std::vector<uint8_t>())) plainStream, stream;
    ZPDecoder plainZp, zp;
    std::vector<BitContext> plainContexts, contexts;
};

std::vector<uint8_t> fixturePayload()
{
    const std::string path = jb2test::fixtureDir() + "cjb2_text300.sjbz";
    return jb2test::fileExists(path) ? jb2test::readFile(path) : std::vector<uint8_t>();
}

struct Sizes {
    uint32_t w, h;
};

Sizes randomSizes(std::mt19937& rng)
{
    // Widths around the byte boundaries the rows are fetched by, and some wide ones.
    const uint32_t w = uint32_t(rng() % 4 ? 1 + rng() % 40 : 60 + rng() % 200);
    return Sizes{w, uint32_t(1 + rng() % 24)};
}

void expectDirectAsPlain(TwinDecoders& t, Sizes s, int caseIndex)
{
    const Pixels expected = plainDirect(t.plainZp, t.plainContexts.data(), s.w, s.h);

    ShapeBitmap bitmap(s.w, s.h);
    const std::vector<uint8_t> zeros(bitmap.getRowBytes(), 0);
    decodeDirectRows(t.zp, t.contexts.data(), bitmap, zeros.data());

    ASSERT_EQ(pixelsOf(bitmap), expected) << "case " << caseIndex << ", " << s.w << " x " << s.h;
    t.expectInStep(caseIndex);
}

} // namespace

TEST(JB2ContextRows, DirectEqualsPlainDecoding)
{
    const std::vector<uint8_t> fixture = fixturePayload();
    std::mt19937 rng(12);
    for (int i = 0; i < 400; ++i) {
        const Sizes s = randomSizes(rng);
        const std::vector<uint8_t> code = codeBytes(rng, fixture);
        TwinDecoders t(rng, code, 1024);
        ASSERT_NO_FATAL_FAILURE(expectDirectAsPlain(t, s, i));
    }
}

// Wide bitmaps under contexts that predict the colour most of their neighbours have, mostly with
// confidence: the decoded pixels come in uniform stretches, white and black, which are decided
// eight at a time; each stretch must end where a single decision would leave the fast path, or
// where the surroundings stop being uniform.
TEST(JB2ContextRows, DirectUniformStretchesEqualPlainDecoding)
{
    const std::vector<uint8_t> fixture = fixturePayload();
    // States that predict 0, from almost surely to barely; each one's successor predicts 1.
    const BitContext confident[] = {82, 80, 78, 76, 60, 0};
    std::mt19937 rng(14);
    for (int i = 0; i < 300; ++i) {
        const Sizes s{uint32_t(1 + rng() % 300), uint32_t(1 + rng() % 40)};
        const std::vector<uint8_t> code = codeBytes(rng, fixture);
        TwinDecoders t(rng, code, 1024);
        for (uint32_t c = 0; c < 1024; ++c)
            t.plainContexts[c] = t.contexts[c] =
                uint8_t(confident[rng() % std::size(confident)] + (std::popcount(c) >= 5 ? 1 : 0));
        ASSERT_NO_FATAL_FAILURE(expectDirectAsPlain(t, s, i));
    }
}

TEST(JB2ContextRows, RefinedEqualsPlainDecoding)
{
    const std::vector<uint8_t> fixture = fixturePayload();
    std::mt19937 rng(13);
    for (int i = 0; i < 600; ++i) {
        const Sizes s = randomSizes(rng);
        const Sizes r = randomSizes(rng);
        const ShapeBitmap reference = i % 50 == 0 ? ShapeBitmap() : randomBitmap(rng, r.w, r.h, 5 + rng() % 80);
        // Offsets that put the reference anywhere from clear of the bitmap on one side to the
        // other, by whole and part bytes.
        const int64_t dx = int64_t(rng() % (s.w + r.w + 24)) - int64_t(s.w) - 12;
        const int64_t dy = int64_t(rng() % (s.h + r.h + 6)) - int64_t(s.h) - 3;
        const std::vector<uint8_t> code = codeBytes(rng, fixture);
        TwinDecoders t(rng, code, 2048);
        const Pixels expected = plainRefined(t.plainZp, t.plainContexts.data(), s.w, s.h, pixelsOf(reference), dx, dy);

        ShapeBitmap bitmap(s.w, s.h);
        const uint32_t rowBytes = bitmap.getRowBytes();
        // Scratch with a guard byte on each side of the three rows the decoder may use.
        std::vector<uint8_t> zeros(rowBytes, 0), scratchBytes(3 * (rowBytes + 4), 0x5A);
        uint8_t* const scratch[3] = {&scratchBytes[2], &scratchBytes[rowBytes + 6], &scratchBytes[2 * rowBytes + 10]};
        decodeRefinedRows(t.zp, t.contexts.data(), bitmap, RefinementReference{reference, dx, dy}, zeros.data(), scratch);

        ASSERT_EQ(pixelsOf(bitmap), expected) << "case " << i << ", " << s.w << " x " << s.h << " at " << dx << ", " << dy;
        for (uint32_t k = 0; k < 3; ++k) {
            EXPECT_EQ(scratch[k][-2], 0x5A) << "case " << i;
            EXPECT_EQ(scratch[k][rowBytes + 1], 0x5A) << "case " << i;
        }
        t.expectInStep(i);
    }
}
