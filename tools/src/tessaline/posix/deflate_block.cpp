#include "deflate_block.h"

#include <algorithm>
#include <vector>

namespace Tessaline {
namespace {

// Huffman code lengths for the weights (0: symbol absent); returns the longest.
uint32_t huffmanLengths(const std::vector<uint64_t>& weight, uint8_t* lengths)
{
    const uint32_t n = uint32_t(weight.size());
    std::vector<uint32_t> leaves;
    for (uint32_t s = 0; s < n; ++s)
        if (weight[s]) leaves.push_back(s);
    std::stable_sort(leaves.begin(), leaves.end(), [&](uint32_t a, uint32_t b) { return weight[a] < weight[b]; });
    std::fill(lengths, lengths + n, uint8_t(0));
    const uint32_t m = uint32_t(leaves.size());
    // Nodes 0 to m - 1 are the leaves in order of weight, then the merged nodes in the order
    // they are made, which is also their order of weight: two sorted queues.
    std::vector<uint64_t> w(2 * m - 1);
    std::vector<uint32_t> parent(2 * m - 1);
    for (uint32_t k = 0; k < m; ++k) w[k] = weight[leaves[k]];
    uint32_t nextLeaf = 0, nextMerged = m;
    for (uint32_t made = m; made < 2 * m - 1; ++made) {
        auto lightest = [&] {
            const bool leaf = nextLeaf < m && (nextMerged == made || w[nextLeaf] <= w[nextMerged]);
            return leaf ? nextLeaf++ : nextMerged++;
        };
        const uint32_t a = lightest(), b = lightest();
        w[made] = w[a] + w[b];
        parent[a] = parent[b] = made;
    }
    // A parent is made after its children: depths from the root down.
    std::vector<uint8_t> depth(2 * m - 1, 0);
    uint32_t longest = 0;
    for (uint32_t k = 2 * m - 1; k-- > 0;) {
        if (k != 2 * m - 2) depth[k] = uint8_t(std::min(255, depth[parent[k]] + 1));
        if (k < m) {
            lengths[leaves[k]] = depth[k];
            longest = std::max<uint32_t>(longest, depth[k]);
        }
    }
    return longest;
}

// Lengths of a complete code, none over limit: while the code is too deep, the counts are
// flattened.
void limitedLengths(const uint32_t* counts, uint32_t n, uint32_t limit, uint8_t* lengths)
{
    std::vector<uint64_t> weight(counts, counts + n);
    uint32_t present = n - uint32_t(std::count(weight.begin(), weight.end(), 0));
    for (uint32_t s = 0; s < n && present < 2; ++s)
        if (!weight[s]) weight[s] = 1, ++present;
    while (huffmanLengths(weight, lengths) > limit)
        for (uint64_t& x : weight) x = (x + 1) / 2;
}

// Canonical codes of the lengths, bit-reversed.
void canonicalCodes(const uint8_t* lengths, uint32_t n, uint32_t* codes)
{
    uint32_t count[16] = {}, next[16] = {};
    for (uint32_t s = 0; s < n; ++s) ++count[lengths[s]];
    count[0] = 0;
    for (uint32_t len = 1, code = 0; len < 16; ++len) {
        code = (code + count[len - 1]) << 1;
        next[len] = code;
    }
    for (uint32_t s = 0; s < n; ++s) {
        const uint32_t len = lengths[s];
        if (!len) continue;
        uint32_t code = next[len]++, reversed = 0;
        for (uint32_t i = 0; i < len; ++i, code >>= 1) reversed = (reversed << 1) | (code & 1);
        codes[s] = reversed;
    }
}

constexpr uint32_t kLengthCodes = 19;
constexpr uint32_t kRepeat = 16, kZeros = 17, kManyZeros = 18;

// A symbol of the code-length alphabet with its extra bits.
struct LengthSymbol {
    uint8_t symbol, extra, extraBits;
};

// The lengths as the code-length alphabet sends them: runs of a length by 16 (3 to 6 more of
// the one before), runs of zeros by 17 (3 to 10) and 18 (11 to 138).
uint32_t runLengthCoded(const uint8_t* lengths, uint32_t n, LengthSymbol* out)
{
    uint32_t count = 0;
    for (uint32_t i = 0; i < n;) {
        const uint8_t v = lengths[i];
        uint32_t run = 1;
        while (i + run < n && lengths[i + run] == v) ++run;
        i += run;
        if (v == 0) {
            for (; run >= 11; run -= std::min(run, 138u))
                out[count++] = {uint8_t(kManyZeros), uint8_t(std::min(run, 138u) - 11), 7};
            if (run >= 3) out[count++] = {uint8_t(kZeros), uint8_t(run - 3), 3}, run = 0;
        } else {
            out[count++] = {v, 0, 0};
            for (--run; run >= 3; run -= std::min(run, 6u))
                out[count++] = {uint8_t(kRepeat), uint8_t(std::min(run, 6u) - 3), 2};
        }
        for (; run > 0; --run) out[count++] = {v, 0, 0};
    }
    return count;
}

// How many of the lengths are sent: those up to the last non-zero one, at least least.
uint32_t sentCount(const uint8_t* lengths, uint32_t n, uint32_t least)
{
    while (n > least && !lengths[n - 1]) --n;
    return n;
}

} // namespace

size_t BitWriter::finish()
{
    for (; used_ > 0; used_ = used_ > 8 ? used_ - 8 : 0, acc_ >>= 8) *out_++ = uint8_t(acc_);
    return size_t(out_ - start_);
}

template <uint32_t N>
HuffmanCode<N>::HuffmanCode(const uint32_t* counts, uint32_t limit)
{
    limitedLengths(counts, N, limit, lengths.data());
    canonicalCodes(lengths.data(), N, codes.data());
}

template struct HuffmanCode<kLitLenCodes>;
template struct HuffmanCode<kDistanceCodes>;

void writeBlockHeader(BitWriter& out, const HuffmanCode<kLitLenCodes>& litLen, const HuffmanCode<kDistanceCodes>& distance)
{
    static constexpr uint8_t kOrder[kLengthCodes] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    const uint32_t hlit = sentCount(litLen.lengths.data(), kLitLenCodes, 257);
    const uint32_t hdist = sentCount(distance.lengths.data(), kDistanceCodes, 1);
    // Both sets of lengths make one sequence, and a run may pass from one to the other.
    std::array<uint8_t, kLitLenCodes + kDistanceCodes> sent{};
    std::copy_n(litLen.lengths.begin(), hlit, sent.begin());
    std::copy_n(distance.lengths.begin(), hdist, sent.begin() + hlit);
    std::array<LengthSymbol, kLitLenCodes + kDistanceCodes> symbols{};
    const uint32_t n = runLengthCoded(sent.data(), hlit + hdist, symbols.data());
    uint32_t counts[kLengthCodes] = {};
    for (uint32_t k = 0; k < n; ++k) ++counts[symbols[k].symbol];
    const HuffmanCode<kLengthCodes> lengthCode(counts, 7);
    uint32_t hclen = kLengthCodes;
    while (hclen > 4 && !lengthCode.lengths[kOrder[hclen - 1]]) --hclen;
    out.put(1, 1); // the last block
    out.put(2, 2); // dynamic Huffman codes
    out.put(hlit - 257, 5);
    out.put(hdist - 1, 5);
    out.put(hclen - 4, 4);
    for (uint32_t i = 0; i < hclen; ++i) out.put(lengthCode.lengths[kOrder[i]], 3);
    for (uint32_t k = 0; k < n; ++k) {
        lengthCode.add(out, symbols[k].symbol);
        out.put(symbols[k].extra, symbols[k].extraBits);
    }
}

} // namespace Tessaline
