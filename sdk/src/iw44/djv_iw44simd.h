// Vectors of four 32-bit lanes for the hot loops, through the compiler's generic vector
// extension (SSE2 on x86-64, NEON elsewhere), with the plain loops kept as the reference.
//
// Eight 16-bit samples loaded into one vector give the even samples as the sign-extended low
// halves of the lanes and the odd samples as the high halves; filters run on 32-bit lanes and
// the halves are joined back with 16-bit truncation, as the scalar stores truncate.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define VTX_IW44_VECTORS 1

namespace Vantorix::DjVu::IW44::Simd {

typedef int32_t V4 __attribute__((vector_size(16)));
typedef uint32_t U4 __attribute__((vector_size(16)));

inline V4 load(const int16_t* p)
{
    V4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void store(int16_t* p, V4 v) { std::memcpy(p, &v, sizeof v); }
inline V4 lowHalves(V4 v) { return V4(U4(v) << 16) >> 16; }
inline V4 highHalves(V4 v) { return v >> 16; }
inline V4 join(V4 low, V4 high) { return V4((U4(low) & 0xFFFF) | (U4(high) << 16)); }
inline V4 splat(int32_t x) { return V4{x, x, x, x}; }
// Lane-wise minimum and maximum from comparison masks (no vector ternary needed).
inline V4 vmin(V4 a, V4 b)
{
    V4 m = a < b;
    return (a & m) | (b & ~m);
}
inline V4 vmax(V4 a, V4 b)
{
    V4 m = a > b;
    return (a & m) | (b & ~m);
}
inline V4 clamp(V4 v, int32_t lo, int32_t hi) { return vmin(vmax(v, splat(lo)), splat(hi)); }

} // namespace Vantorix::DjVu::IW44::Simd
#endif
