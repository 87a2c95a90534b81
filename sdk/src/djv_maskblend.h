// The last step of enlarging a mask: two mask rows already interpolated across to the output
// columns are interpolated down and blended into an output row, byte by byte:
//
//   v   = int(gy * colourA + fy * colourB)
//   cov = int(gy * coverageA + fy * coverageB)
//   out = out * (255 - cov) / 255 + v, clamped to a byte
//
// Each colour byte comes with the coverage of its pixel, so the bytes are independent and four
// of them fill one vector. Every float operation is the scalar one in the same order (no
// contraction, no reassociation), so the vector and plain loops give the same bytes; coverages
// lie in [0, 255], which keeps the products below 65026, where x / 255 equals
// (x + 1 + (x >> 8)) >> 8.
#pragma once

#include <cstdint>
#include <cstring>

namespace _Vtx_Internal_NS_ {

// One mask row interpolated across: colour and coverage for each output byte.
struct AcrossRow {
    const float* colour;
    const float* coverage;
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

#if defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__

inline void blendDown(uint8_t* d, const AcrossRow& a, const AcrossRow& b, uint32_t t0, uint32_t t1, float gy, float fy)
{
    typedef float F4 __attribute__((vector_size(16)));
    typedef int32_t I4 __attribute__((vector_size(16)));
    typedef uint8_t B4 __attribute__((vector_size(4)));
    const auto across = [](const float* p) {
        F4 v;
        std::memcpy(&v, p, sizeof v);
        return v;
    };
    const F4 g = {gy, gy, gy, gy}, f = {fy, fy, fy, fy};
    const I4 zero = {0, 0, 0, 0}, full = {255, 255, 255, 255};
    uint32_t t = t0;
    for (; t + 4 <= t1; t += 4) {
        const I4 v = __builtin_convertvector(g * across(a.colour + t) + f * across(b.colour + t), I4);
        const I4 cov = __builtin_convertvector(g * across(a.coverage + t) + f * across(b.coverage + t), I4);
        B4 bytes;
        std::memcpy(&bytes, d + t, sizeof bytes);
        const I4 x = __builtin_convertvector(bytes, I4) * (full - cov);
        I4 out = ((x + 1 + (x >> 8)) >> 8) + v;
        out = out < zero ? zero : out > full ? full : out;
        bytes = __builtin_convertvector(out, B4);
        std::memcpy(d + t, &bytes, sizeof bytes);
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
