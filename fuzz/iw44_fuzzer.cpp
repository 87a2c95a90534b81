// seeds: iw44/*.djvu 200000
// IW44 decoding and reduced rendering. Input: a DjVu file (its BG44/FG44 chunks in order; the
// c44 fixtures seed it), or chunks each behind a 16-bit big-endian length.
#include <cstring>
#include <vector>

#include "djv_iw44.h"
#include "vtx_exception.h"
#include "vtx_stream.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;

namespace {

void decodeChunk(IW44::IW44Decoder& decoder, const uint8_t* data, size_t size)
{
    try {
        decoder.decode(MemoryStorage::create(data, uint32_t(size)).get());
    } catch (const Exception&) {
    }
}

void decodeIff(IW44::IW44Decoder& decoder, const uint8_t* p, size_t size, int depth)
{
    for (size_t pos = 0; pos + 8 <= size && depth < 8;) {
        const uint8_t* l = p + pos + 4;
        const uint32_t len = uint32_t(l[0]) << 24 | uint32_t(l[1]) << 16 | uint32_t(l[2]) << 8 | l[3];
        if (len > size - pos - 8) return;
        const uint8_t* body = p + pos + 8;
        if (!std::memcmp(p + pos, "FORM", 4) && len >= 4)
            decodeIff(decoder, body + 4, len - 4, depth + 1);
        else if (!std::memcmp(p + pos, "BG44", 4) || !std::memcmp(p + pos, "FG44", 4))
            decodeChunk(decoder, body, len);
        pos += 8 + size_t(len) + (len & 1);
    }
}

void render(IW44::IW44Decoder& decoder, uint32_t subsample, const Rect* rect, Photometric photometric)
{
    const uint32_t w = rect ? rect->w : decoder.getWidth() / subsample;
    std::vector<uint8_t> pixels(size_t(w) * (rect ? rect->h : decoder.getHeight() / subsample) * 3 + 1);
    try {
        decoder.render(pixels.data(), int32_t(w * 3), photometric, subsample, rect);
    } catch (const Exception&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto decoder = IW44::IW44Decoder::create();
    if (size >= 4 && !std::memcmp(data, "AT&T", 4)) {
        decodeIff(*decoder, data + 4, size - 4, 0);
    } else {
        for (size_t pos = 0; pos < size;) {
            size_t len = size - pos; // the last chunk takes what is left
            if (len >= 2) len = std::min<size_t>(size_t(data[pos]) << 8 | data[pos + 1], len - 2), pos += 2;
            decodeChunk(*decoder, data + pos, len);
            pos += len;
        }
    }
    if (!decoder->hasImage()) return 0;

    // The whole image at a subsample that keeps it within 256 x 256, a part at the next one.
    uint32_t s = 1;
    while (s < 32 && (decoder->getWidth() / s > 256 || decoder->getHeight() / s > 256)) s <<= 1;
    if (decoder->getWidth() / s > 2048 || decoder->getHeight() / s > 2048) return 0;
    render(*decoder, s, nullptr, decoder->isColor() ? Photometric::BGR : Photometric::Gray);
    const uint32_t t = s < 32 ? s * 2 : s;
    const uint32_t w = decoder->getWidth() / t, h = decoder->getHeight() / t;
    if (w && h) {
        const Rect r{w / 3, h / 4, w - w / 3, h / 2 ? h / 2 : 1};
        render(*decoder, t, &r, Photometric::RGB);
    }
    return 0;
}
