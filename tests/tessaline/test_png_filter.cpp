// The PNG encoder's word-wise Sub filter against its plain reference.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "../../tools/src/tessaline/png_filter.h" // private to the program: included by path

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
