// One dynamic-Huffman deflate block, the last of its stream: the bit writer, the codes made for
// the block's symbol counts, and the header that sends them. The writers of the block's body
// (literals only, or literals and matches) share this.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace Tessaline {

// Bytes a block writer may write for size bytes of data: a literal costs at most 15 bits and a
// match of at least four bytes at most 48, plus the header and the bit writer's last word.
constexpr size_t deflateBound(size_t size) { return size * 2 + 328; }

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

    // The stream's size, its last bits out.
    size_t finish();

private:
    uint8_t* out_;
    uint8_t* const start_;
    uint64_t acc_ = 0;
    uint32_t used_ = 0;
};

// The literal/length alphabet (256 is the end of the block) and the distance alphabet.
constexpr uint32_t kEndOfBlock = 256, kLitLenCodes = 286, kDistanceCodes = 30;

// A canonical Huffman code for the counts of N symbols, no code longer than the limit; at least
// two symbols get a code (a lone one would make an incomplete code, which some readers refuse).
template <uint32_t N>
struct HuffmanCode {
    std::array<uint8_t, N> lengths{};
    std::array<uint32_t, N> codes{}; // bit-reversed, to go out least significant bit first
    HuffmanCode(const uint32_t* counts, uint32_t limit);
    void put(BitWriter& out, uint32_t s) const { out.put(codes[s], lengths[s]); }
    void add(BitWriter& out, uint32_t s) const { out.add(codes[s], lengths[s]); }
};

// n literals: three codes of at most 15 bits fit the writer's word with what it holds.
inline void putLiterals(BitWriter& out, const HuffmanCode<kLitLenCodes>& code, const uint8_t* data, size_t n)
{
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        code.add(out, data[i]);
        code.add(out, data[i + 1]);
        code.add(out, data[i + 2]);
        out.flushBytes();
    }
    for (; i < n; ++i) code.put(out, data[i]);
}

// The header of the last block of a stream, with dynamic codes: the codes' lengths, run-length
// coded by a code of their own.
void writeBlockHeader(BitWriter& out, const HuffmanCode<kLitLenCodes>& litLen, const HuffmanCode<kDistanceCodes>& distance);

} // namespace Tessaline
