#include "deflate_literals.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

namespace Tessaline {
namespace {

constexpr uint32_t kEndOfBlock = 256, kLiteralCodes = 257, kLengthCodes = 19;

// Bits into bytes, least significant first, as deflate packs them.
class BitWriter {
public:
    explicit BitWriter(uint8_t* out) : out_(out), start_(out) {}

    // count <= 32
    void put(uint32_t bits, uint32_t count)
    {
        add(bits, count);
        flushBytes();
    }

    // Bits for the word without writing any: the word holds at most 7 bits after flushBytes,
    // so 56 more may come before the next.
    void add(uint32_t bits, uint32_t count)
    {
        acc_ |= uint64_t(bits) << used_;
        used_ += count;
    }

    // The word's whole bytes out. It is stored whole (out has room for 8 bytes more than the
    // stream), and the pointer moves by the bytes that were complete.
    void flushBytes()
    {
        if constexpr (std::endian::native == std::endian::little)
            std::memcpy(out_, &acc_, 8);
        else
            for (int k = 0; k < 8; ++k) out_[k] = uint8_t(acc_ >> (8 * k));
        out_ += used_ >> 3;
        acc_ = (used_ >> 3) == 8 ? 0 : acc_ >> (used_ & ~7u);
        used_ &= 7;
    }

    size_t finish()
    {
        for (; used_ > 0; used_ = used_ > 8 ? used_ - 8 : 0, acc_ >>= 8) *out_++ = uint8_t(acc_);
        return size_t(out_ - start_);
    }

private:
    uint8_t* out_;
    uint8_t* const start_;
    uint64_t acc_ = 0;
    uint32_t used_ = 0;
};

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

// Lengths of a complete code, none over limit: at least two symbols get a code (a lone one
// would make an incomplete code, which some readers refuse), and while the code is too deep
// the counts are flattened.
void limitedLengths(const uint32_t* counts, uint32_t n, uint32_t limit, uint8_t* lengths)
{
    std::vector<uint64_t> weight(counts, counts + n);
    uint32_t present = n - uint32_t(std::count(weight.begin(), weight.end(), 0));
    for (uint32_t s = 0; s < n && present < 2; ++s)
        if (!weight[s]) weight[s] = 1, ++present;
    while (huffmanLengths(weight, lengths) > limit)
        for (uint64_t& x : weight) x = (x + 1) / 2;
}

// Canonical codes of the lengths, bit-reversed to go out least significant bit first.
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

// The code of a Huffman code's symbols.
struct Code {
    std::array<uint8_t, kLiteralCodes> lengths{};
    std::array<uint32_t, kLiteralCodes> codes{};
    void make(const uint32_t* counts, uint32_t n, uint32_t limit)
    {
        limitedLengths(counts, n, limit, lengths.data());
        canonicalCodes(lengths.data(), n, codes.data());
    }
    void put(BitWriter& out, uint32_t s) const { out.put(codes[s], lengths[s]); }
};

// The block's header: the literal code's lengths, then two one-bit distance codes (none is
// used, but a reader may expect a complete code there), all coded by a code of their own.
void writeHeader(BitWriter& out, const Code& literals)
{
    static constexpr uint8_t kOrder[kLengthCodes] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    std::array<uint8_t, kLiteralCodes + 2> sent{};
    std::copy_n(literals.lengths.begin(), kLiteralCodes, sent.begin());
    sent[kLiteralCodes] = sent[kLiteralCodes + 1] = 1;
    uint32_t counts[kLengthCodes] = {};
    for (uint8_t len : sent) ++counts[len];
    Code lengthCode;
    lengthCode.make(counts, kLengthCodes, 7);
    uint32_t hclen = kLengthCodes;
    while (hclen > 4 && !lengthCode.lengths[kOrder[hclen - 1]]) --hclen;
    out.put(1, 1); // the last block
    out.put(2, 2); // dynamic Huffman codes
    out.put(kLiteralCodes - 257, 5);
    out.put(2 - 1, 5);
    out.put(hclen - 4, 4);
    for (uint32_t i = 0; i < hclen; ++i) out.put(lengthCode.lengths[kOrder[i]], 3);
    for (uint8_t len : sent) lengthCode.put(out, len);
}

} // namespace

size_t deflateLiterals(const uint8_t* data, size_t size, uint8_t* out)
{
    // Four tables, so that a run of one value does not wait on its own count.
    uint32_t counts[4][kLiteralCodes] = {};
    size_t i = 0;
    for (; i + 4 <= size; i += 4)
        for (int k = 0; k < 4; ++k) ++counts[k][data[i + k]];
    for (; i < size; ++i) ++counts[0][data[i]];
    for (uint32_t s = 0; s < 256; ++s) counts[0][s] += counts[1][s] + counts[2][s] + counts[3][s];
    counts[0][kEndOfBlock] = 1;
    Code literals;
    literals.make(counts[0], kLiteralCodes, 15);
    BitWriter bits(out);
    writeHeader(bits, literals);
    // Three codes of at most 15 bits fit the writer's word with what it holds.
    i = 0;
    for (; i + 3 <= size; i += 3) {
        bits.add(literals.codes[data[i]], literals.lengths[data[i]]);
        bits.add(literals.codes[data[i + 1]], literals.lengths[data[i + 1]]);
        bits.add(literals.codes[data[i + 2]], literals.lengths[data[i + 2]]);
        bits.flushBytes();
    }
    for (; i < size; ++i) literals.put(bits, data[i]);
    literals.put(bits, kEndOfBlock);
    return bits.finish();
}

} // namespace Tessaline
