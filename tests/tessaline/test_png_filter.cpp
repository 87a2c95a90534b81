// The PNG encoder's word-wise kernels (the Sub filter, the grey check) against their plain references.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "../../tools/src/tessaline/gray_check.h" // private to the program: included by path
#include "../../tools/src/tessaline/png_filter.h"

using namespace Tessaline;

// Every row length around the word size and its multiples, grey and colour pixels, random
// bytes and the extremes where a borrow would cross into the next byte.
TEST(PngFilter, SubFilterAgreesWithPlainVersion)
{
    std::mt19937 random(12);
    for (const int fill : {-1, 0x00, 0xFF, 0x80, 0x7F}) {
        for (const size_t bpp : {size_t(1), size_t(3)}) {
            for (size_t n = 0; n <= 40; ++n) {
                SCOPED_TRACE("fill " + std::to_string(fill) + ", bpp " + std::to_string(bpp) + ", n " + std::to_string(n));
                std::vector<uint8_t> in(n);
                for (size_t x = 0; x < n; ++x)
                    in[x] = uint8_t(fill < 0 ? random() : (x % 2 ? fill : 0xFF - fill));
                std::vector<uint8_t> plain(n + 1, 0xA5), fast(n + 1, 0xA5); // one guard byte
                subFilterPlain(in.data(), n, bpp, plain.data());
                subFilter(in.data(), n, bpp, fast.data());
                EXPECT_EQ(fast, plain);
            }
        }
    }
}

// Grey 4-byte rows filtered as they are: the same bytes as the Sub filter over their grey
// samples, for every row length around the eight-pixel step, random samples and the extremes,
// whatever the fourth byte holds.
TEST(PngFilter, GrayFourByteFilterAgreesWithFilteringTheSamples)
{
    std::mt19937 random(31);
    for (const int fill : {-1, 0x00, 0xFF, 0x80, 0x7F}) {
        for (size_t n = 0; n <= 40; ++n) {
            SCOPED_TRACE("fill " + std::to_string(fill) + ", n " + std::to_string(n));
            std::vector<uint8_t> in(4 * n), samples(n);
            for (size_t x = 0; x < n; ++x) {
                samples[x] = uint8_t(fill < 0 ? random() : (x % 2 ? fill : 0xFF - fill));
                std::fill_n(in.begin() + ptrdiff_t(4 * x), 3, samples[x]);
                in[4 * x + 3] = uint8_t(random());
            }
            std::vector<uint8_t> want(n + 1, 0xA5), plain(n + 1, 0xA5), fast(n + 1, 0xA5); // one guard byte
            subFilterPlain(samples.data(), n, 1, want.data());
            subFilterGray4Plain(in.data(), n, plain.data());
            subFilterGray4(in.data(), n, fast.data());
            EXPECT_EQ(plain, want);
            EXPECT_EQ(fast, want);
        }
    }
}

// The word kernel alone on every pair of byte values, in each byte position.
TEST(PngFilter, SubBytesSubtractsEachByteAlone)
{
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b) {
            const int shift = 8 * ((a + b) % 8);
            const uint64_t d = subBytes(uint64_t(a) << shift, uint64_t(b) << shift);
            ASSERT_EQ(d, uint64_t(uint8_t(a - b)) << shift) << a << " - " << b;
        }
}

// The grey check against its plain version: grey pictures of every layout, with one pixel made
// coloured by one sample anywhere (the fourth byte of a 4-byte pixel is no colour), top-down
// and bottom-up.
TEST(PngFilter, GrayCheckAgreesWithPlainVersion)
{
    std::mt19937 random(7);
    const PixelLayout layouts[] = {PixelLayout::Gray, PixelLayout::RGB, PixelLayout::BGR, PixelLayout::BGRX};
    for (const PixelLayout layout : layouts) {
        const size_t bpp = layout == PixelLayout::Gray ? 1 : layout == PixelLayout::BGRX ? 4 : 3;
        for (uint32_t w = 1; w <= 19; ++w) {
            const uint32_t h = 1 + w % 5;
            for (int changed = -1; changed < int(bpp); ++changed) {
                for (const bool upward : {false, true}) {
                    SCOPED_TRACE("bpp " + std::to_string(bpp) + ", width " + std::to_string(w) + ", sample " +
                                 std::to_string(changed) + (upward ? ", bottom-up" : ""));
                    std::vector<uint8_t> bits(w * h * bpp);
                    for (size_t p = 0; p < size_t(w) * h; ++p) {
                        const uint8_t g = uint8_t(random());
                        for (size_t c = 0; c < bpp; ++c) bits[p * bpp + c] = c == 3 ? uint8_t(random()) : g;
                    }
                    if (changed >= 0) bits[random() % (size_t(w) * h) * bpp + size_t(changed)] ^= uint8_t(1 + random() % 255);
                    const ptrdiff_t stride = ptrdiff_t(w * bpp);
                    const PixelView v = upward ? PixelView{bits.data() + (h - 1) * stride, -stride, w, h, layout}
                                               : PixelView{bits.data(), stride, w, h, layout};
                    const bool colour = changed >= 0 && changed < 3 && layout != PixelLayout::Gray;
                    EXPECT_EQ(isGrayPlain(v), !colour);
                    EXPECT_EQ(isGray(v), !colour);
                }
            }
        }
    }
}
