// The last step of enlarging a mask: two mask rows already interpolated across to the output
// columns are interpolated down and blended into an output row, byte by byte:
//
//   v   = int(gy * colourA + fy * colourB)
//   cov = int(gy * coverageA + fy * coverageB)
//   out = out * (255 - cov) / 255 + v, clamped to a byte
//
// Each colour byte comes with the coverage of its pixel, so the bytes are independent and the
// loop runs over bytes whatever the pixel size. The vector loop does every float operation of
// the plain one in the same order (no contraction, no reassociation), so both give the same
// bytes. Values lie in [0, 255], which keeps the products below 65026, where x / 255 equals
// (x + 1 + (x >> 8)) >> 8, and every sum inside 16 bits.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace _Vtx_Internal_NS_ {

// One mask row interpolated across: colour and coverage for each output byte.
struct AcrossRow {
    const float* colour;
    const float* coverage;
    bool black; // every colour value is 0 (black shapes): v is 0 when both rows are black
};

inline uint8_t blendDownByte(uint8_t d, const AcrossRow& a, const AcrossRow& b, uint32_t t, float gy, float fy)
{
    const int v = int(gy * a.colour[t] + fy * b.colour[t]);
    const int cov = int(gy * a.coverage[t] + fy * b.coverage[t]);
    const int out = d * (255 - cov) / 255 + v;
    return uint8_t(out < 0 ? 0 : out > 255 ? 255 : out);
}

// The reference loop over output bytes [t0, t1).
inline void blendDownPlain(uint8_t* d, const AcrossRow& a, const AcrossRow& b, uint32_t t0, uint32_t t1, float gy,
                           float fy)
{
    for (uint32_t t = t0; t < t1; ++t) d[t] = blendDownByte(d[t], a, b, t, gy, fy);
}

#if defined(__SSE2__)

// Sixteen bytes at a time: four float lanes per step, the sums in 16-bit lanes. Packing
// saturates, which within the contract ([0, 255] values) changes nothing, and the last pack
// clamps to a byte as the plain loop does.
inline void blendDown(uint8_t* d, const AcrossRow& a, const AcrossRow& b, uint32_t t0, uint32_t t1, float gy, float fy)
{
    const __m128 g = _mm_set1_ps(gy), f = _mm_set1_ps(fy);
    const auto down = [g, f](const float* pa, const float* pb) {
        const __m128i lo = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(g, _mm_loadu_ps(pa)), _mm_mul_ps(f, _mm_loadu_ps(pb))));
        const __m128i hi = _mm_cvttps_epi32(
            _mm_add_ps(_mm_mul_ps(g, _mm_loadu_ps(pa + 4)), _mm_mul_ps(f, _mm_loadu_ps(pb + 4))));
        return _mm_packs_epi32(lo, hi);
    };
    const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi16(255), one = _mm_set1_epi16(1);
    const auto blend = [&](__m128i bytes, __m128i v, __m128i cov) {
        const __m128i x = _mm_mullo_epi16(bytes, _mm_sub_epi16(full, cov));
        const __m128i q = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(x, one), _mm_srli_epi16(x, 8)), 8);
        return _mm_add_epi16(q, v);
    };
    const bool colour = !(a.black && b.black);
    uint32_t t = t0;
    for (; t + 16 <= t1; t += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + t));
        const __m128i lo = blend(_mm_unpacklo_epi8(bytes, zero), colour ? down(a.colour + t, b.colour + t) : zero,
                                 down(a.coverage + t, b.coverage + t));
        const __m128i hi = blend(_mm_unpackhi_epi8(bytes, zero),
                                 colour ? down(a.colour + t + 8, b.colour + t + 8) : zero,
                                 down(a.coverage + t + 8, b.coverage + t + 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + t), _mm_packus_epi16(lo, hi));
    }
    blendDownPlain(d, a, b, t, t1, gy, fy);
}

#else

inline void blendDown(uint8_t* d, const AcrossRow& a, const AcrossRow& b, uint32_t t0, uint32_t t1, float gy, float fy)
{
    blendDownPlain(d, a, b, t0, t1, gy, fy);
}

#endif

} // namespace _Vtx_Internal_NS_
