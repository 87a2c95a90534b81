// One IW44 component (Y, Cb or Cr): its coefficients and the coding state that carries over
// from slice to slice and from chunk to chunk.
//
// A slice is one band at one bit-plane. Each band has a quantisation step that halves after
// every slice of that band; a coefficient is coded once its step allows (it turns non-zero, then
// active), and every later slice refines it by one more bit. Band 0 (the 16 coarsest
// coefficients of a block) has a step per coefficient. The decoder visits every block of the
// map for each slice, deciding with adaptive bits whether the block, then each bucket of the
// band, then each coefficient carries anything new.
#pragma once

#include <cstdint>

#include "djv_iw44map.h"
#include "djv_types.h"
#include "djv_zpdecoder.h"
#include "vtx_memory.h"

namespace Vantorix::DjVu::IW44 {

// Bucket ranges of the ten bands, coarse to fine.
inline constexpr uint8_t kBandFirstBucket[10] = {0, 1, 2, 3, 4, 8, 12, 16, 32, 48};
inline constexpr uint8_t kBandBuckets[10] = {1, 1, 1, 1, 4, 4, 4, 16, 16, 16};

// The bands that a reconstruction at reduction level k (subsample 32 >> k) reads: the first
// 4^k coefficients of each block, so the finer bands never change its pixels.
constexpr uint32_t bandsRead(uint32_t level)
{
    const uint32_t buckets = ((1u << 2 * level) + 15) / 16;
    uint32_t n = 0;
    while (n < 10 && kBandFirstBucket[n] < buckets) ++n;
    return n;
}

// Coefficient number n of a block (0..1023) sits at column 16*b0 + 8*b2 + 4*b4 + 2*b6 + b8
// and row 16*b1 + 8*b3 + 4*b5 + 2*b7 + b9 of the 32 x 32 block (b0 the lowest bit of n).
constexpr uint32_t coefficientColumn(uint32_t n)
{
    return ((n & 1) << 4) | ((n & 4) << 1) | ((n & 16) >> 2) | ((n & 64) >> 5) | ((n & 256) >> 8);
}
constexpr uint32_t coefficientRow(uint32_t n) { return coefficientColumn(n >> 1); }

class ComponentCodec : public Referable {
public:
    ComponentCodec();

    uint32_t quantHi[10];
    uint32_t quantLo[16];
    BitContext ctxStart[16];
    BitContext ctxBucket[10][8];
    BitContext ctxMant;
    BitContext ctxRoot;
};

class ComponentDecoder : public ComponentCodec {
public:
    explicit ComponentDecoder(const AutoPtr<Map>& map);

    // Decodes the next slice; 1 while more slices may follow, 0 once the component is
    // exhausted (then nothing is read).
    int decodeSlice(ZPDecoder& zp);

    // The component reduced by subsample, the rectangle rect of it in the plane's bottom-up
    // coordinates, as signed bytes at dst, dst + pixelStep, ... with dstStride between rows.
    // Throws 7 for a subsample other than a power of two up to 32 and for a rectangle that is
    // empty or leaves the reduced image.
    void composeImage(uint8_t* dst, int32_t dstStride, uint32_t subsample, const Rect& rect, uint32_t pixelStep,
                      bool chromaHalf) const;
    // The whole component at full resolution, bottom row first.
    void composeImage(uint8_t* dst, int32_t dstStride, uint32_t pixelStep, bool chromaHalf) const;

    const Map& getMap() const { return *map; }

    int32_t curBit = 1;
    uint32_t curBand = 0;

private:
    bool isNullSlice(uint32_t band);
    int nextQuant();
    // One instance per bucket count of a band (1, 4 or 16), and one for band 0.
    template <uint32_t Nb, bool Band0>
    void decodeBand(ZPDecoder& decoder, uint32_t band);
    // How many blocks from bx on in the row (null while it has none) are quiet in the band.
    template <uint32_t Nb, bool Band0>
    uint32_t quietBlocks(const Map::Block* row, uint32_t bx, uint32_t band) const;
    // Inlined into the band loop, so that the Session's interval stays in registers.
    template <uint32_t Nb, bool Band0>
    [[gnu::always_inline]] inline void decodeBlock(ZPDecoder::Session& zp, Map::Block& block, uint32_t band);
    void composeReduced(uint8_t* dst, int32_t dstStride, uint32_t level, const Rect& rect, uint32_t pixelStep,
                        bool chromaHalf) const;

    AutoPtr<Map> map;
    uint32_t codableLo = 0; // band 0 in this slice: bit k set while quantLo[k] allows coding
};

} // namespace Vantorix::DjVu::IW44
