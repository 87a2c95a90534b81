// Slice decoding: the coefficient side of a component.
#include <cstring>

#include "djv_iw44codec.h"

namespace Vantorix::DjVu::IW44 {

ComponentCodec::ComponentCodec()
    : quantHi{0, 0x20000, 0x20000, 0x40000, 0x40000, 0x40000, 0x80000, 0x40000, 0x40000, 0x80000},
      quantLo{0x4000, 0x8000, 0x8000, 0x10000, 0x10000, 0x10000, 0x10000, 0x10000, 0x10000, 0x10000, 0x10000,
              0x10000, 0x20000, 0x20000, 0x20000, 0x20000},
      coeffState{}, bucketState{}, ctxStart{}, ctxBucket{}, ctxMant(0), ctxRoot(0)
{
}

ComponentDecoder::ComponentDecoder(const AutoPtr<Map>& m) : map(m) {}

int ComponentDecoder::decodeSlice(ZPDecoder& zp)
{
    if (curBit < 0) return 0;
    if (!isNullSlice(curBand)) {
        if (curBand == 0)
            decodeBand<true>(zp, 0);
        else
            decodeBand<false>(zp, curBand);
    }
    return nextQuant();
}

// Every block in order. A row without records is decoded on a scratch block, and gets its
// records once one of its blocks gains a bucket.
template <bool Band0>
void ComponentDecoder::decodeBand(ZPDecoder& zp, uint32_t band)
{
    const uint32_t wide = map->getBlocksWide();
    for (uint32_t by = 0; by < map->getBlocksHigh(); ++by) {
        Map::Block* row = map->getRow(by);
        for (uint32_t bx = 0; bx < wide; ++bx) {
            Map::Block scratch = {};
            decodeBlock<Band0>(zp, row ? row[bx] : scratch, band);
            if (!row && (scratch.groups[0] || scratch.groups[1] || scratch.groups[2] || scratch.groups[3])) {
                row = map->makeRow(by);
                row[bx] = scratch;
            }
        }
    }
}

bool ComponentDecoder::isNullSlice(uint32_t band)
{
    if (band > 0) return quantHi[band] >= 0x8000;
    bool null = true;
    for (int k = 0; k < 16; ++k) {
        coeffState[k] = quantLo[k] >= 0x8000 ? ZERO : UNK;
        null &= coeffState[k] == ZERO;
    }
    return null;
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

// The buckets of one band in one block. Band 0 has one step per coefficient (quantLo) and
// coefficients whose step is still too large (ZERO, prepared by isNullSlice); the other bands
// share quantHi[band].
template <bool Band0>
void ComponentDecoder::decodeBlock(ZPDecoder& zp, Map::Block& block, uint32_t band)
{
    const uint32_t first = kBandFirstBucket[band];
    const uint32_t nb = kBandBuckets[band];
    const int32_t bandStep = int32_t(quantHi[band]);
    int16_t* buckets[16];

    // Current states from the values; a missing bucket is wholly zero (UNK), the states of
    // its coefficients are set if it comes to life.
    uint8_t blockState = 0;
    for (uint32_t i = 0; i < nb; ++i) {
        int16_t* b = Map::getBucket(block, first + i);
        buckets[i] = b;
        if (!b) {
            bucketState[i] = UNK;
            blockState |= UNK;
            continue;
        }
        uint8_t* cs = coeffState + 16 * i;
        uint8_t bs = 0;
        for (int k = 0; k < 16; ++k) {
            uint8_t st = b[k] ? ACTIVE : UNK;
            if (Band0 && cs[k] == ZERO) st = ZERO;
            cs[k] = st;
            bs |= st;
        }
        bucketState[i] = bs;
        blockState |= bs;
    }

    // Does the block hold anything new? Small bands always ask the buckets.
    if (nb < 16 || (blockState & ACTIVE)) {
        blockState |= NEW;
    } else if (blockState & UNK) {
        if (zp.decode(ctxRoot)) blockState |= NEW;
    }

    if (blockState & NEW) {
        // Which buckets: the context counts the non-zero parents (coarser coefficients at
        // the same place), and whether the block is already active.
        const uint32_t activeCtx = (blockState & ACTIVE) ? 4 : 0;
        BitContext* ctx = ctxBucket[band];
        for (uint32_t i = 0; i < nb; ++i) {
            if (!(bucketState[i] & UNK)) continue;
            uint32_t c = 0;
            if (!Band0) {
                const uint32_t parent = 4 * (first + i);
                if (const int16_t* pb = Map::getBucket(block, parent >> 4)) {
                    const int16_t* p = pb + (parent & 15);
                    c = uint32_t(p[0] != 0) + uint32_t(p[1] != 0) + uint32_t(p[2] != 0) + uint32_t(p[3] != 0);
                    if (c > 3) c = 3;
                }
            }
            if (zp.decode(ctx[c + activeCtx])) bucketState[i] |= NEW;
        }

        // Which coefficients, with their sign; the context is the number of zero coefficients
        // still ahead in the bucket (reset by each one found).
        for (uint32_t i = 0; i < nb; ++i) {
            if (!(bucketState[i] & NEW)) continue;
            uint8_t* cs = coeffState + 16 * i;
            int16_t* b = buckets[i];
            if (!b) {
                b = buckets[i] = map->makeBucket(block, first + i);
                for (int k = 0; k < 16; ++k) cs[k] = (Band0 && cs[k] == ZERO) ? ZERO : UNK;
            }
            uint32_t u = 0;
            for (int k = 0; k < 16; ++k) u += (cs[k] & UNK) ? 1 : 0;
            BitContext* start = ctxStart + ((bucketState[i] & ACTIVE) ? 8 : 0);
            for (int k = 0; k < 16; ++k) {
                if (!(cs[k] & UNK)) continue;
                if (zp.decode(start[u < 7 ? u : 7])) {
                    cs[k] |= NEW;
                    const int32_t t = Band0 ? int32_t(quantLo[k]) : bandStep;
                    const int32_t v = t + (t >> 1) - (t >> 3);
                    b[k] = int16_t(zp.decodePassthroughIW44() ? -v : v);
                    u = 0;
                } else if (u > 0) {
                    --u;
                }
            }
        }
    }

    if (blockState & ACTIVE) {
        // One more bit of every coefficient that was already non-zero. Small magnitudes use
        // an adaptive context; large ones are close to uniform and go raw.
        for (uint32_t i = 0; i < nb; ++i) {
            if (!(bucketState[i] & ACTIVE)) continue;
            const uint8_t* cs = coeffState + 16 * i;
            int16_t* b = buckets[i];
            for (int k = 0; k < 16; ++k) {
                if (!(cs[k] & ACTIVE)) continue;
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
}

} // namespace Vantorix::DjVu::IW44
