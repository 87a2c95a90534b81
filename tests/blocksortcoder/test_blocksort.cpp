// The inverse block sort kernel against a plain transcription of the walk, on random columns.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "djv_blocksort.h"

using namespace _Vtx_Internal_NS_;

namespace {

// The walk as plainly as it can be written: a position array of (byte, rank) with the marker's
// entry left at 0, start rows from the counts, and a walk that checks every step.
BlockSortResult plainInverse(std::vector<uint8_t>& data, uint32_t marker)
{
    const uint32_t n = uint32_t(data.size());
    std::vector<uint32_t> pos(n, 0);
    uint32_t count[256] = {};
    for (uint32_t i = 0; i < n; ++i) {
        if (i == marker) continue;
        uint8_t c = data[i];
        pos[i] = (uint32_t(c) << 24) | (count[c] & 0xFFFFFF);
        ++count[c];
    }
    uint32_t start[256];
    uint32_t t = 1;
    for (int c = 0; c < 256; ++c) {
        start[c] = t;
        t += count[c];
    }
    uint32_t j = 0;
    for (uint32_t last = n - 1; last >= 1; --last) {
        uint32_t e = pos[j];
        uint32_t c = e >> 24;
        data[last - 1] = uint8_t(c);
        j = start[c] + (e & 0xFFFFFF);
        if (j >= n) return BlockSortResult::outOfRange;
    }
    return j == marker ? BlockSortResult::ok : BlockSortResult::corrupt;
}

} // namespace

TEST(InverseBlockSort, MatchesPlainWalk)
{
    std::mt19937 rng(20240611);
    int ok = 0, corrupt = 0;
    for (uint32_t n : {1u, 2u, 3u, 5u, 17u, 256u, 1000u, 65537u}) {
        for (int alphabet : {1, 2, 7, 256}) {
            for (int round = 0; round < 6; ++round) {
                std::vector<uint8_t> column(n);
                for (auto& b : column) b = uint8_t(rng() % alphabet);
                // Marker first, last, or anywhere.
                uint32_t marker = round == 0 ? 0 : round == 1 ? n - 1 : rng() % n;
                column[marker] = 0;
                auto fast = column, plain = column;
                BlockSortResult rf = inverseBlockSort(fast.data(), n, marker);
                BlockSortResult rp = plainInverse(plain, marker);
                ASSERT_EQ(int(rf), int(rp)) << "n " << n << " alphabet " << alphabet << " marker " << marker;
                ASSERT_EQ(fast, plain) << "n " << n << " alphabet " << alphabet << " marker " << marker;
                (rf == BlockSortResult::ok ? ok : corrupt)++;
            }
        }
    }
    // Random columns are mostly broken; both outcomes must have been compared.
    EXPECT_GT(ok, 10);
    EXPECT_GT(corrupt, 10);
}
