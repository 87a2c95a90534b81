// Scaling, rotation and mask drawing with every parameter from the input; mask runs may be
// unordered, overlapping, reversed or out of range, as a broken decoder might give them.
// seeds: imaging/*.djvu 8192
#include <vector>

#include "djv_maskscaling.h"
#include "djv_scaling.h"
#include "vtx_exception.h"

using namespace Vantorix::DjVu;

namespace {

struct Input {
    const uint8_t* data;
    size_t size, pos = 0;
    uint32_t byte() { return pos < size ? data[pos++] : 0; }
    uint32_t upTo(uint32_t n) { return 1 + (byte() | byte() << 8) % n; } // 1 .. n
    std::vector<uint8_t> bytes(size_t n)
    {
        std::vector<uint8_t> v(n);
        for (size_t i = 0; i < n; ++i) v[i] = size ? data[(pos + i * 7) % size] ^ uint8_t(i) : uint8_t(i);
        return v;
    }
};

// Up to four runs per row, straight from a table of bytes.
struct FuzzRows {
    std::vector<uint8_t> table;
    uint32_t w;
    template <class Paint>
    bool forEachSpan(uint32_t y, uint32_t x0, uint32_t x1, Paint&& paint) const
    {
        bool any = false;
        for (uint32_t k = 0; k < 4; ++k) {
            const uint8_t* t = &table[(size_t(y) * 4 + k) * 5 % (table.size() - 5)];
            const uint32_t b = x0 + t[0] % (w + 4) - 2, e = b + t[1] % 40;
            if (t[4] & 1) continue;
            paint(b, e, Color{t[2], t[3], uint8_t(t[2] ^ t[3]), 0});
            any = true;
        }
        (void)x1;
        return any;
    }
};


} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in{data, size};
    const Photometric p = Photometric(int(in.byte() % 10) - 1); // -1 .. 8
    static const uint32_t kBpp[8] = {3, 3, 1, 3, 1, 2, 3, 4};
    const uint32_t bpp = uint32_t(p) <= 7 ? kBpp[int(p)] : 4;
    const uint32_t sw = in.upTo(96), sh = in.upTo(96), dw = in.upTo(160), dh = in.upTo(160);
    const uint32_t flags = in.byte();
    Rect r;
    r.x = in.upTo(dw) - 1, r.y = in.upTo(dh) - 1, r.w = in.upTo(dw - r.x), r.h = in.upTo(dh - r.y);
    std::vector<uint8_t> src = in.bytes(size_t(sw) * sh * bpp);
    std::vector<uint8_t> dst(size_t(r.w) * r.h * bpp, 0x5A);
    try {
        Imaging::resample(dst.data(), int32_t(r.w * bpp), r, dw, dh, src.data(), int32_t(sw * bpp), sw, sh, p, flags);
    } catch (const Vantorix::Exception&) {
    }
    try {
        std::vector<uint8_t> turned(src.size());
        Imaging::rotate90(turned.data(), int32_t(sh * bpp), src.data(), int32_t(sw * bpp), sw, sh, p, flags & 1);
        Imaging::horzMirror(turned.data(), int32_t(sh * bpp), p, sh, sw);
        const int turns = int(int8_t(flags)) % 4;
        const bool quarter = turns % 2 != 0;
        const int32_t stride = int32_t((quarter ? sh : sw) * bpp);
        uint8_t* start = turned.data() + ((turns + 4) % 4 == 2 ? size_t(sh - 1) * stride : 0);
        Imaging::rotate(start, stride, src.data(), int32_t(sw * bpp), sw, sh, p, int(int8_t(flags)));
    } catch (const Vantorix::Exception&) {
    }
    try {
        FuzzRows rows{in.bytes(64), sw};
        const uint32_t fgW = in.byte() % 9, fgH = in.byte() % 9;
        std::vector<uint8_t> fg = in.bytes(size_t(fgW) * fgH * bpp + 1);
        _Vtx_Internal_NS_::resampleMaskT(dst.data(), int32_t(r.w * bpp), r, dw, dh, rows, sw, sh,
                                         fgW && fgH ? fg.data() : nullptr, int32_t(fgW * bpp), fgW, fgH, p, 0, flags);
    } catch (const Vantorix::Exception&) {
    }
    return 0;
}
