// Hidden text of a page: the page's UTF-8 text and the tree of zones (page, column, region,
// paragraph, line, word, character) that places each piece of it on the page.
//
// The tree holds absolute top-down rectangles in the page's displayed orientation. A zone with
// children answers the bounding box of its children and the concatenation of their texts, so
// only the leaves carry their own.
#pragma once
#include <cstdint>
#include "djv_chunk.h"
#include "djv_page.h"
#include "vtx_memory.h"
#include "vtx_stream.h"
#include "vtx_string.h"

namespace Vantorix::DjVu {

// A zone rectangle: x, y from the top-left corner, in page pixels. Signed, since damaged or
// turned zones may reach past the page.
struct ZoneRect {
    int32_t x = 0, y = 0, w = 0, h = 0;
    bool operator==(const ZoneRect&) const = default;
};

class TextZone;
using TextZoneArray = SimpleArray<AutoPtr<TextZone>, 1>;

class TextZone : public Referable {
public:
    enum Type : uint32_t { page = 1, column, region, paragraph, line, word, character };

    virtual uint32_t getType() const = 0;
    // A leaf's own rectangle; a parent's is the bounding box of its children's.
    virtual ZoneRect getRect() const = 0;
    // A leaf's own text; a parent's is its children's joined with nothing between them.
    virtual String getText() const = 0;
    virtual const TextZoneArray& getChildren() const = 0;
    // The page text as stored, separators between zones included; empty below the root.
    virtual String getPageText() const = 0;
    // The orientation the rectangles are held in (0 to 3 quarter turns), from the root's copy
    // of the page record; 0 for zones below the root.
    virtual uint32_t getRotation() const = 0;
    // Turns every rectangle of the tree to rotation (0 to 3) and records it. Called on the root;
    // throws 7 for a rotation above 3.
    virtual void setRotation(uint32_t rotation) = 0;

    // Reads a "TXTa" (plain) or "TXTz" (compressed) chunk into its zone tree, turned to the
    // page's displayed orientation. info is the page's record (stored size, orientation).
    // Throws 7 "The input is not TXT* chunk!" for other chunks, 20 "Unknown TXT? chunk format!"
    // for a version other than 1, and the stream's end-of-data error for a short payload.
    static AutoPtr<TextZone> decode(Chunk& chunk, const PageInfo& info);
};

} // namespace Vantorix::DjVu
