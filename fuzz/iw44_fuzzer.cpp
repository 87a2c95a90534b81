// IW44 decoding and reduced reconstruction on arbitrary input.
//
// The input is either a DjVu file (starting "AT&T": its BG44/FG44 chunks are decoded in order,
// so the c44 fixtures in build/<preset>/fixtures/iw44/*.djvu are the seed corpus), or a
// sequence of chunks, each a 16-bit big-endian length and that many bytes (the last one takes
// what is left). Every chunk goes into one decoder; then the image is rendered whole at a
// subsample that keeps it small, and a rectangle of it at another.
#include <cstddef>
#include <cstdint>
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
        auto stream = MemoryStorage::create(data, uint32_t(size));
        decoder.decode(stream.get());
    } catch (const Exception&) {
    }
}

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// The IW44 chunks of an IFF body, descending into FORMs (depth-limited).
void decodeIff(IW44::IW44Decoder& decoder, const uint8_t* p, size_t size, int depth)
{
    for (size_t pos = 0; pos + 8 <= size && depth < 8;) {
        const uint32_t len = be32(p + pos + 4);
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
    const uint32_t h = rect ? rect->h : decoder.getHeight() / subsample;
    std::vector<uint8_t> pixels(size_t(w) * h * 3 + 1);
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
            size_t len = size - pos;
            if (len >= 2) {
                len = std::min<size_t>(size_t(data[pos]) << 8 | data[pos + 1], len - 2);
                pos += 2;
            }
            decodeChunk(*decoder, data + pos, len);
            pos += len;
        }
    }
    if (!decoder->hasImage()) return 0;

    // The smallest subsample that keeps the reduced image within 256 x 256 (at most 32).
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
