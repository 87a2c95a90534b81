#include "vtx_utf.h"

namespace Vantorix::Utf {
namespace {

// Sum of the marker bits of a sequence of each length, subtracted after accumulation.
constexpr uint32_t kOffsets[7] = {0, 0x00000000u, 0x00003080u, 0x000E2080u, 0x03C82080u, 0xFA082080u, 0x82082080u};

int sequenceLength(uint8_t lead)
{
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    if (lead >= 0xF8 && lead <= 0xFB) return 5;
    if (lead == 0xFC || lead == 0xFD) return 6;
    return 1; // stray continuation byte, 0xFE, 0xFF: taken as its own value
}

template <class F>
void forEachCodePoint(const char* text, size_t count, F&& emit)
{
    const uint8_t* p = reinterpret_cast<const uint8_t*>(text);
    size_t i = 0;
    while (i < count && p[i] != 0) {
        uint8_t lead = p[i];
        int n = sequenceLength(lead);
        if (n == 1) {
            emit(uint32_t(lead));
            ++i;
            continue;
        }
        if (i + size_t(n) > count) return;
        uint32_t v = 0;
        for (int k = 0; k < n; ++k) {
            if (p[i + size_t(k)] == 0) return;
            v = (v << 6) + p[i + size_t(k)];
        }
        emit(v - kOffsets[n]);
        i += size_t(n);
    }
}

} // namespace

void appendUtf8(std::string& out, uint32_t c)
{
    int n;
    uint8_t first;
    if (c < 0x80) { out += char(c); return; }
    if (c < 0x800) { n = 2; first = 0xC0; }
    else if (c < 0x10000) { n = 3; first = 0xE0; }
    else if (c < 0x200000) { n = 4; first = 0xF0; }
    else if (c < 0x4000000) { n = 5; first = 0xF8; }
    else { n = 6; first = 0xFC; }
    out += char(first | ((c >> (6 * (n - 1))) & (n == 6 ? 1 : 0x3F)));
    for (int k = n - 2; k >= 0; --k) out += char(0x80 | ((c >> (6 * k)) & 0x3F));
}

std::u32string utf8ToUtf32(const char* text, size_t count)
{
    std::u32string out;
    forEachCodePoint(text, count, [&](uint32_t c) { out += char32_t(c); });
    return out;
}

std::u16string utf8ToUtf16(const char* text, size_t count)
{
    std::u16string out;
    forEachCodePoint(text, count, [&](uint32_t c) {
        if (c > 0xFFFF) {
            out += char16_t(0xD800 + ((c - 0x10000) >> 10));
            out += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            out += char16_t(c);
        }
    });
    return out;
}

std::string utf16ToUtf8(const char16_t* text, size_t count, bool honourBom)
{
    std::string out;
    size_t i = 0;
    bool swap = false;
    if (honourBom && count > 0 && text[0] == 0xFEFF) {
        i = 1;
    } else if (honourBom && count > 0 && text[0] == 0xFFFE) {
        i = 1;
        swap = true;
    }
    auto unit = [&](size_t k) -> uint32_t {
        uint32_t u = text[k];
        return swap ? (((u & 0xFF) << 8) | (u >> 8)) : u;
    };
    while (i < count && text[i] != 0) {
        uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count && text[i + 1] != 0) {
            uint32_t low = unit(i + 1);
            appendUtf8(out, (u << 10) + low - 0x35FDC00u);
            i += 2;
            continue;
        }
        appendUtf8(out, u);
        ++i;
    }
    return out;
}

} // namespace Vantorix::Utf
