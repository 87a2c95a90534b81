#include "deflate_greedy.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace Tessaline {
namespace {

constexpr uint32_t kMinMatch = 4, kMaxMatch = 258, kWindow = 32768;
constexpr uint32_t kHashBits = 12;

// The length and distance alphabets: each symbol's first value and extra bits.
struct MatchCodes {
    uint8_t lengthSymbol[kMaxMatch + 1] = {};
    uint16_t lengthBase[29] = {};
    uint8_t lengthExtra[29] = {};
    uint8_t distanceSymbol[512] = {}; // by distanceIndex
    uint16_t distanceBase[kDistanceCodes] = {};
    uint8_t distanceExtra[kDistanceCodes] = {};

    constexpr MatchCodes()
    {
        for (uint32_t s = 0, base = 3; s < 29; ++s) {
            lengthExtra[s] = uint8_t(s < 8 || s == 28 ? 0 : (s - 4) / 4);
            lengthBase[s] = uint16_t(s == 28 ? kMaxMatch : base);
            for (uint32_t k = 0; k < (1u << lengthExtra[s]); ++k) lengthSymbol[lengthBase[s] + k] = uint8_t(s);
            base += 1u << lengthExtra[s];
        }
        for (uint32_t s = 0, base = 1; s < kDistanceCodes; ++s) {
            distanceExtra[s] = uint8_t(s < 4 ? 0 : (s - 2) / 2);
            distanceBase[s] = uint16_t(base);
            for (uint32_t d = base; d < base + (1u << distanceExtra[s]); ++d)
                distanceSymbol[distanceIndex(d)] = uint8_t(s);
            base += 1u << distanceExtra[s];
        }
    }
    uint32_t distance(uint32_t d) const { return distanceSymbol[distanceIndex(d)]; }
    // Distances to 256 by distance - 1, longer ones by 256 + (distance - 1) / 128: their
    // symbols have at least seven extra bits.
    static constexpr uint32_t distanceIndex(uint32_t d) { return d <= 256 ? d - 1 : 256 + ((d - 1) >> 7); }
};

constexpr MatchCodes kCodes;

uint32_t load32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

uint64_t load64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

uint32_t hashOf(uint32_t head) { return (head * 0x9E3779B1u) >> (32 - kHashBits); }

// How far a and b agree, from the first kMinMatch bytes (known equal) up to most.
uint32_t matchLength(const uint8_t* a, const uint8_t* b, uint32_t most)
{
    uint32_t len = kMinMatch;
    for (; len + 8 <= most; len += 8)
        if (const uint64_t x = load64(a + len) ^ load64(b + len))
            return len + uint32_t(std::endian::native == std::endian::little ? std::countr_zero(x) : std::countl_zero(x)) / 8;
    while (len < most && a[len] == b[len]) ++len;
    return len;
}

// The greedy search: the matches into matches, every symbol counted.
void findMatches(const uint8_t* data, uint32_t size, std::vector<DeflateMatch>& matches, uint32_t* litLen, uint32_t* distances)
{
    // Positions are kept modulo 2^16, the window being half that: a stale one only costs a
    // comparison, and so does the table's start (position 0).
    uint16_t last[1u << kHashBits] = {};
    matches.clear();
    uint32_t i = 0;
    // The last bytes are left as literals, so that every comparison reads whole words.
    const uint32_t end = size >= 8 ? size - 8 : 0;
    while (i < end) {
        const uint32_t head = load32(data + i);
        const uint32_t h = hashOf(head);
        const uint32_t distance = uint16_t(i - last[h]);
        last[h] = uint16_t(i);
        if (distance - 1 >= kWindow || load32(data + i - distance) != head) {
            ++litLen[data[i++]];
            continue;
        }
        const uint32_t len = matchLength(data + i - distance, data + i, std::min(kMaxMatch, size - i));
        matches.push_back({i, uint16_t(len), uint16_t(distance)});
        ++litLen[257 + kCodes.lengthSymbol[len]];
        ++distances[kCodes.distance(distance)];
        i += len;
        // The match's last position too: thumbnails come out about 2.5% smaller, for one more
        // store per match.
        if (i < end) last[hashOf(load32(data + i - 1))] = uint16_t(i - 1);
    }
    for (; i < size; ++i) ++litLen[data[i]];
}

} // namespace

size_t deflateGreedy(const uint8_t* data, size_t size, uint8_t* out, std::vector<DeflateMatch>& matches)
{
    uint32_t litLenCounts[kLitLenCodes] = {}, distanceCounts[kDistanceCodes] = {};
    findMatches(data, uint32_t(size), matches, litLenCounts, distanceCounts);
    litLenCounts[kEndOfBlock] = 1;
    const HuffmanCode<kLitLenCodes> litLen(litLenCounts, 15);
    const HuffmanCode<kDistanceCodes> distances(distanceCounts, 15);
    BitWriter bits(out);
    writeBlockHeader(bits, litLen, distances);
    uint32_t done = 0;
    for (const DeflateMatch& m : matches) {
        putLiterals(bits, litLen, data + done, m.at - done);
        const uint32_t ls = kCodes.lengthSymbol[m.length], ds = kCodes.distance(m.distance);
        // 15 + 5 + 15 + 13 bits
        litLen.add(bits, 257 + ls);
        bits.add(m.length - kCodes.lengthBase[ls], kCodes.lengthExtra[ls]);
        distances.add(bits, ds);
        bits.add(m.distance - kCodes.distanceBase[ds], kCodes.distanceExtra[ds]);
        bits.flushBytes();
        done = m.at + m.length;
    }
    putLiterals(bits, litLen, data + done, size - done);
    litLen.put(bits, kEndOfBlock);
    return bits.finish();
}

} // namespace Tessaline
