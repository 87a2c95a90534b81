// The inverse block sort kernel against a plain transcription of the walk, on random columns.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "bzz_testwriter.h"
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
    for (uint32_t c = 0, t = 1; c < 256; t += count[c++]) start[c] = t;
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

// Both walks over one column (bytes, the marker's entry 0) agree on the outcome and, when it is
// accepted, on the bytes; a rejected block's bytes are of no use.
BlockSortResult expectSameWalk(const std::vector<uint8_t>& column, uint32_t marker)
{
    auto fast = column, plain = column;
    BlockSortResult rf = inverseBlockSort(fast.data(), uint32_t(fast.size()), marker);
    EXPECT_EQ(int(rf), int(plainInverse(plain, marker))) << "n " << column.size() << " marker " << marker;
    if (rf == BlockSortResult::ok) {
        EXPECT_EQ(fast, plain) << "n " << column.size() << " marker " << marker;
    }
    return rf;
}

// A column written as bytes 0..255 and -1 for the marker.
std::pair<std::vector<uint8_t>, uint32_t> columnOf(const std::vector<int>& column)
{
    std::vector<uint8_t> bytes(column.size());
    uint32_t marker = 0;
    for (size_t i = 0; i < column.size(); ++i) {
        if (column[i] < 0) marker = uint32_t(i);
        bytes[i] = uint8_t(column[i] < 0 ? 0 : column[i]);
    }
    return {bytes, marker};
}

} // namespace

TEST(InverseBlockSort, MatchesPlainWalk)
{
    // Sound columns of many lengths over small and full alphabets.
    std::mt19937 rng(7);
    for (size_t n : {0, 1, 2, 3, 4, 5, 10, 31, 32, 1000, 4099}) {
        for (int alphabet : {1, 2, 26, 256}) {
            std::vector<uint8_t> text(n);
            for (auto& b : text) b = uint8_t('a' + rng() % alphabet);
            auto [bytes, marker] = columnOf(zptest::BzzTestWriter::sortedColumn(text));
            ASSERT_EQ(expectSameWalk(bytes, marker), BlockSortResult::ok) << n;
        }
    }
    // Random columns: mostly broken.
    int ok = 0, corrupt = 0;
    for (uint32_t n : {1u, 2u, 3u, 5u, 17u, 256u, 1000u, 65537u}) {
        for (int alphabet : {1, 2, 7, 256}) {
            for (int round = 0; round < 6; ++round) {
                std::vector<uint8_t> column(n);
                for (auto& b : column) b = uint8_t(rng() % alphabet);
                uint32_t marker = round == 0 ? 0 : round == 1 ? n - 1 : rng() % n; // first, last, anywhere
                column[marker] = 0;
                (expectSameWalk(column, marker) == BlockSortResult::ok ? ok : corrupt)++;
            }
        }
    }
    EXPECT_TRUE(ok > 10 && corrupt > 10) << ok << " accepted, " << corrupt << " refused";
}
