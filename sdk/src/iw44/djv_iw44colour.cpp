#include "djv_iw44colour.h"

#include "djv_iw44simd.h"

namespace Vantorix::DjVu::IW44 {
namespace {

inline int32_t signedByte(int16_t sample) { return int8_t(sampleToByte(sample)); }

void referencePixels(uint8_t* out, const SampleRows& in, uint32_t from, uint32_t width, Photometric photometric,
                     bool colour)
{
    const uint32_t step = photometric == Photometric::Gray ? 1 : 3;
    for (uint32_t x = from; x < width; ++x) {
        uint8_t* p = out + size_t(x) * step;
        const int32_t y = signedByte(in.y[x]);
        if (!colour) {
            const uint8_t dark = uint8_t(127 - y);
            switch (photometric) {
            case Photometric::Gray: p[0] = dark; break;
            case Photometric::YCbCr: p[0] = uint8_t(y), p[1] = p[2] = 0; break;
            default: p[0] = p[1] = p[2] = dark; break;
            }
            continue;
        }
        if (photometric == Photometric::Gray) {
            p[0] = uint8_t(y + 128);
            continue;
        }
        const uint32_t cx = in.halfColumns ? x >> 1 : x;
        const int32_t cb = signedByte(in.cb[cx]), cr = signedByte(in.cr[cx]);
        switch (photometric) {
        case Photometric::YCbCr: p[0] = uint8_t(y), p[1] = uint8_t(cb), p[2] = uint8_t(cr); break;
        case Photometric::BGR: ycbcrToRgb(y, cb, cr, p[2], p[1], p[0]); break;
        default: ycbcrToRgb(y, cb, cr, p[0], p[1], p[2]); break;
        }
    }
}

#ifdef VTX_IW44_VECTORS
using namespace Simd;

inline V4 signedBytes(V4 samples) { return clamp((samples + 32) >> 6, -128, 127); }

// Colour pixels eight at a time; red at byte RedAt of each pixel, blue at 2 - RedAt. Returns
// how many pixels were done.
template <int RedAt>
uint32_t colourPixels(uint8_t* out, const SampleRows& in, uint32_t width)
{
    uint32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        V4 y[2], cb[2], cr[2];
        const V4 vy = load(in.y + x);
        y[0] = signedBytes(lowHalves(vy));
        y[1] = signedBytes(highHalves(vy));
        if (in.halfColumns) {
            // Both pixels of a pair take the same chroma sample.
            const int16_t* b = in.cb + x / 2;
            const int16_t* r = in.cr + x / 2;
            cb[0] = cb[1] = signedBytes(V4{b[0], b[1], b[2], b[3]});
            cr[0] = cr[1] = signedBytes(V4{r[0], r[1], r[2], r[3]});
        } else {
            const V4 vcb = load(in.cb + x), vcr = load(in.cr + x);
            cb[0] = signedBytes(lowHalves(vcb));
            cb[1] = signedBytes(highHalves(vcb));
            cr[0] = signedBytes(lowHalves(vcr));
            cr[1] = signedBytes(highHalves(vcr));
        }
        for (int h = 0; h < 2; ++h) {
            const V4 t2 = cr[h] + (cr[h] >> 1);
            const V4 t3 = y[h] + 128 - (cb[h] >> 2);
            const V4 r = clamp(y[h] + 128 + t2, 0, 255);
            const V4 g = clamp(t3 - (t2 >> 1), 0, 255);
            const V4 b = clamp(t3 + 2 * cb[h], 0, 255);
            for (int i = 0; i < 4; ++i) {
                uint8_t* p = out + size_t(x + 2 * i + h) * 3;
                p[RedAt] = uint8_t(r[i]);
                p[1] = uint8_t(g[i]);
                p[2 - RedAt] = uint8_t(b[i]);
            }
        }
    }
    return x;
}
#endif

} // namespace

void emitRowReference(uint8_t* out, const SampleRows& rows, uint32_t width, Photometric photometric, bool colour)
{
    referencePixels(out, rows, 0, width, photometric, colour);
}

void emitRow(uint8_t* out, const SampleRows& rows, uint32_t width, Photometric photometric, bool colour)
{
    uint32_t done = 0;
#ifdef VTX_IW44_VECTORS
    if (colour && photometric == Photometric::RGB) done = colourPixels<0>(out, rows, width);
    if (colour && photometric == Photometric::BGR) done = colourPixels<2>(out, rows, width);
#endif
    referencePixels(out, rows, done, width, photometric, colour);
}

} // namespace Vantorix::DjVu::IW44
