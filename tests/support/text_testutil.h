// Builds hidden-text payloads for tests: the page text and a zone tree with its stored,
// relative and bottom-up fields.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "djv_text.h"

namespace vtxtest {

struct StoredZone {
    uint8_t type;
    int32_t x, y, w, h;  // as stored: relative, bottom-up
    int32_t offset;      // relative to the end of the previous sibling's text
    uint32_t length;
    std::vector<StoredZone> children;
};

inline void putBig(std::string& out, uint32_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i) out += char(v >> (8 * i));
}

// A zone's fields, then its children's.
inline void putTree(std::string& out, const StoredZone& z)
{
    out += char(z.type);
    for (int32_t v : {z.x, z.y, z.w, z.h, z.offset}) putBig(out, uint32_t(v + 0x8000), 2);
    putBig(out, z.length, 3);
    putBig(out, uint32_t(z.children.size()), 3);
    for (const StoredZone& c : z.children) putTree(out, c);
}

// A TXTa/TXTz payload (before compression).
inline std::string textPayload(const std::string& text, const StoredZone& root, uint8_t version = 1)
{
    std::string out;
    putBig(out, uint32_t(text.size()), 3);
    out += text;
    out += char(version);
    putTree(out, root);
    return out;
}

// The rectangles of a zone tree's leaves, in order.
inline std::vector<Vantorix::DjVu::ZoneRect> leafRects(const Vantorix::DjVu::TextZone& z)
{
    if (z.getChildren().empty()) return {z.getRect()};
    std::vector<Vantorix::DjVu::ZoneRect> out;
    for (const Vantorix::AutoPtr<Vantorix::DjVu::TextZone>& c : z.getChildren())
        for (const Vantorix::DjVu::ZoneRect& r : leafRects(*c)) out.push_back(r);
    return out;
}

} // namespace vtxtest
