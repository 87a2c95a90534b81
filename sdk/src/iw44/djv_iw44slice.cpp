// Slice decoding: the coefficient side of a component.
#include <bit>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "djv_iw44codec.h"

namespace Vantorix::DjVu::IW44 {

namespace {

// Bit k set where coefficient k of the bucket is non-zero.
inline uint32_t nonZeroMask(const int16_t* b)
{
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    const __m128i lo = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b)), zero);
    const __m128i hi = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 8)), zero);
    return ~uint32_t(_mm_movemask_epi8(_mm_packs_epi16(lo, hi))) & 0xFFFF;
#else
    uint32_t m = 0;
    for (int k = 0; k < 16; ++k) m |= uint32_t(b[k] != 0) << k;
    return m;
#endif
}

// Set bits of a 16-bit mask, inline: without a popcount instruction in the target,
// std::popcount is a library call.
inline uint32_t bitCount16(uint32_t m)
{
    m = m - ((m >> 1) & 0x5555);
    m = (m & 0x3333) + ((m >> 2) & 0x3333);
    m = (m + (m >> 4)) & 0x0F0F;
    return (m + (m >> 8)) & 0x1F;
}

} // namespace

ComponentCodec::ComponentCodec()
    : quantHi{0, 0x20000, 0x20000, 0x40000, 0x40000, 0x40000, 0x80000, 0x40000, 0x40000, 0x80000},
      quantLo{0x4000, 0x8000, 0x8000, 0x10000, 0x10000, 0x10000, 0x10000, 0x10000, 0x10000, 0x10000, 0x10000,
              0x10000, 0x20000, 0x20000, 0x20000, 0x20000},
      ctxStart{}, ctxBucket{}, ctxMant(0), ctxRoot(0)
{
}

ComponentDecoder::ComponentDecoder(const AutoPtr<Map>& m) : map(m) {}

int ComponentDecoder::decodeSlice(ZPDecoder& zp)
{
    if (curBit < 0) return 0;
    if (!isNullSlice(curBand)) {
        if (curBand == 0)
            decodeBand<1, true>(zp, 0);
        else if (kBandBuckets[curBand] == 1)
            decodeBand<1, false>(zp, curBand);
        else if (kBandBuckets[curBand] == 4)
            decodeBand<4, false>(zp, curBand);
        else
            decodeBand<16, false>(zp, curBand);
    }
    return nextQuant();
}

// Every block in order. A row without records is decoded on a scratch block, and gets its
// records once one of its blocks gains a bucket. Runs of quiet blocks are passed in one step
// while the coder predicts "nothing new" for all of their questions at once.
template <uint32_t Nb, bool Band0>
void ComponentDecoder::decodeBand(ZPDecoder& decoder, uint32_t band)
{
    ZPDecoder::Session zp(decoder);
    const uint32_t wide = map->getBlocksWide();
    BitContext& quietCtx = Nb == 16 ? ctxRoot : ctxBucket[band][0];
    const uint32_t quietAsks = Nb == 16 ? 1 : Nb;
    for (uint32_t by = 0; by < map->getBlocksHigh(); ++by) {
        Map::Block* row = map->getRow(by);
        uint32_t quiet = 0; // blocks from bx on known to be quiet
        for (uint32_t bx = 0; bx < wide; ++bx) {
            if (quiet == 0) quiet = quietBlocks<Nb, Band0>(row, bx, band);
            if (quiet > 0 && !(quietCtx & 1) && zp.decodeRun(quietCtx, quiet * quietAsks)) {
                bx += quiet - 1;
                quiet = 0;
                continue;
            }
            if (quiet > 0) --quiet;
            Map::Block scratch = {};
            decodeBlock<Nb, Band0>(zp, row ? row[bx] : scratch, band);
            if (!row && (scratch.groups[0] || scratch.groups[1] || scratch.groups[2] || scratch.groups[3])) {
                row = map->makeRow(by);
                row[bx] = scratch;
            }
        }
    }
}

// A block is quiet in a band when it asks all its questions under one context: in the large
// bands it has no bucket of the band, so only the root question is asked; in the others it
// has no bucket of the band and no non-zero parent, so each bucket is asked under the first
// context of the band.
template <uint32_t Nb, bool Band0>
uint32_t ComponentDecoder::quietBlocks(const Map::Block* row, uint32_t bx, uint32_t band) const
{
    const uint32_t wide = map->getBlocksWide();
    if (!row) return wide - bx;
    const uint32_t first = kBandFirstBucket[band];
    uint32_t n = 0;
    for (; bx + n < wide; ++n) {
        const Map::Block& block = row[bx + n];
        if (Nb == 16) {
            if (block.groups[first >> 4]) break;
            continue;
        }
        const Map::Bucket* group = block.groups[0];
        if (!group) continue;
        bool empty = true;
        for (uint32_t i = 0; i < Nb; ++i) empty = empty && !group[first + i];
        if (!empty) break;
        if (Band0) continue;
        const int16_t* parent = group[first >> 2];
        const uint32_t parentMask = Nb == 1 ? 15u << 4 * (first & 3) : 0xFFFF;
        if (parent && (nonZeroMask(parent) & parentMask)) break;
    }
    return n;
}

bool ComponentDecoder::isNullSlice(uint32_t band)
{
    if (band > 0) return quantHi[band] >= 0x8000;
    codableLo = 0;
    for (uint32_t k = 0; k < 16; ++k)
        if (quantLo[k] < 0x8000) codableLo |= 1u << k;
    return codableLo == 0;
}

int ComponentDecoder::nextQuant()
{
    quantHi[curBand] >>= 1;
    if (curBand == 0)
        for (uint32_t& q : quantLo) q >>= 1;
    if (++curBand < 10) return 1;
    curBand = 0;
    ++curBit;
    if (quantHi[9] == 0) {
        curBit = -1;
        return 0;
    }
    return 1;
}

// The buckets of one band in one block, with the coefficient states as 16-bit masks per
// bucket. Band 0 has one step per coefficient (quantLo), and only the coefficients whose step
// allows (codableLo) may be coded; the other bands share quantHi[band].
template <uint32_t Nb, bool Band0>
inline void ComponentDecoder::decodeBlock(ZPDecoder::Session& zp, Map::Block& block, uint32_t band)
{
    const uint32_t first = kBandFirstBucket[band];
    const uint32_t nb = Nb;
    const int32_t bandStep = int32_t(quantHi[band]);
    const uint32_t codable = Band0 ? codableLo : 0xFFFF;
    // Non-zero before this slice. Bucket pointers are looked up again where needed: clearing
    // an array of them costs more, in the many blocks that end at the root bit, than that.
    uint32_t active[Nb] = {};

    // The large bands take a whole group: a missing one is 16 missing (zero) buckets. The
    // smaller bands, and the parents of every band, lie in the first group.
    uint32_t anyActive = 0;
    Map::Bucket* const group = block.groups[Nb < 16 ? 0 : first >> 4];
    const uint32_t slot = Nb < 16 ? first : 0;
    const Map::Bucket* const coarse = block.groups[0];
    if (group) {
        for (uint32_t i = 0; i < nb; ++i) {
            const int16_t* b = group[slot + i];
            active[i] = b ? nonZeroMask(b) & codable : 0;
            anyActive |= active[i];
        }
    }

    // Does the block hold anything new? Small bands always ask the buckets; in the large
    // ones every coefficient that is not active may be coded.
    if (nb == 16 && !anyActive && !zp.decode(ctxRoot)) return;

    // Which buckets: the context counts the non-zero parents (coarser coefficients at the
    // same place, up to 3), and whether the block is already active. The parents of bucket i
    // are coefficients 4(first + i) to 4(first + i) + 3, in the (nb + 3) / 4 buckets from
    // first / 4 on: their masks are taken once per block.
    uint64_t parents = 0;
    for (uint32_t j = 0; !Band0 && coarse && j < (nb + 3) / 4; ++j)
        if (const int16_t* pb = coarse[(first >> 2) + j]) parents |= uint64_t(nonZeroMask(pb)) << 16 * j;
    // Bands of 4 and 16 buckets start at a multiple of 4 buckets.
    const uint32_t parentShift = Nb == 1 ? 4 * (first & 3) : 0;
    static constexpr uint8_t kParentContext[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 3};
    BitContext* ctx = ctxBucket[band] + (anyActive ? 4 : 0);
    uint32_t fresh = 0;
    if (Nb > 1 && !anyActive && !parents && zp.decodeRun(ctx[0], Nb)) {
        // Nothing active and no parent: every bucket is asked under one context, and the
        // coder could answer all of them at once with its prediction.
        fresh = (ctx[0] & 1) ? (1u << Nb) - 1 : 0;
    } else {
        for (uint32_t i = 0; i < nb; ++i) {
            if (!(codable & ~active[i])) continue;
            if (zp.decode(ctx[kParentContext[(parents >> (parentShift + 4 * i)) & 15]])) fresh |= 1u << i;
        }
    }

    // Which coefficients, with their sign, in order; the context is the number of codable
    // zero coefficients still ahead in the bucket, until the first one found.
    for (; fresh; fresh &= fresh - 1) {
        const uint32_t i = uint32_t(std::countr_zero(fresh));
        int16_t* b = map->makeBucket(block, first + i);
        uint32_t unk = codable & ~active[i];
        uint32_t u = bitCount16(unk);
        BitContext* start = ctxStart + (active[i] ? 8 : 0);
        for (; unk; unk &= unk - 1) {
            if (zp.decode(start[u < 7 ? u : 7])) {
                const uint32_t k = uint32_t(std::countr_zero(unk));
                const int32_t t = Band0 ? int32_t(quantLo[k]) : bandStep;
                const int32_t v = t + (t >> 1) - (t >> 3);
                b[k] = int16_t(zp.decodePassthroughIW44() ? -v : v);
                u = 0;
            } else if (u > 0) {
                --u;
            }
        }
    }

    // One more bit of every coefficient that was already non-zero. Small magnitudes use an
    // adaptive context; large ones are close to uniform and go raw.
    if (!anyActive) return;
    for (uint32_t i = 0; i < nb; ++i) {
        int16_t* b = group[slot + i];
        for (uint32_t bits = active[i]; bits; bits &= bits - 1) {
            const uint32_t k = uint32_t(std::countr_zero(bits));
            const int32_t t = Band0 ? int32_t(quantLo[k]) : bandStep;
            const int32_t v = b[k];
            int32_t a = v < 0 ? -v : v;
            if (a <= 3 * t) {
                a += t >> 2;
                a += zp.decode(ctxMant) ? (t >> 1) : (t >> 1) - t;
            } else {
                a += zp.decodePassthroughIW44() ? (t >> 1) : (t >> 1) - t;
            }
            b[k] = int16_t(v > 0 ? a : -a);
        }
    }
}

} // namespace Vantorix::DjVu::IW44
