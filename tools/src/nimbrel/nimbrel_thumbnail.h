// The portable heart of the shell thumbnail: from an open page and an edge length to a
// bottom-up bitmap of 32-bit pixels (blue, green, red, 0), the same layout that a Windows
// device-independent bitmap section has. The COM module and tessaline both call it; nothing
// here depends on Windows.
#pragma once

#include <cstdint>
#include <functional>

#include "djv_page.h"

namespace Vantorix::Nimbrel {

struct ThumbnailSize {
    uint32_t width = 0;
    uint32_t height = 0;
    bool operator==(const ThumbnailSize&) const = default;
};

// The longer displayed side becomes cx, the other is scaled in unsigned 32-bit arithmetic and
// truncated (no minimum). Throws 20 "errDataBroken" for a page with a side of 0, and 7
// "errInvalidParam" when cx is 0 or a side of the result would be 0 or too wide for a
// 32-bit row stride.
ThumbnailSize thumbnailSize(uint32_t pageWidth, uint32_t pageHeight, uint32_t cx);

// Gives the memory of a width x height bitmap: 4 * width * height zeroed bytes, rows 4 * width
// bytes apart, the bottom row of the picture first. The memory stays the caller's; a null
// result counts as out of memory.
using ThumbnailAllocator = std::function<uint8_t*(uint32_t width, uint32_t height)>;

// Measures the page as displayed (after its rotation), asks allocate for the bitmap, renders
// the whole page into it upright with all layers and widens the pixels to 32 bits in place.
// Throws before allocating for the sizes thumbnailSize rejects, 1 "errOutOfMemory" when
// allocate returns null, and whatever the page's render throws (the bitmap then holds
// whatever was drawn; the caller discards it).
ThumbnailSize buildThumbnail(DjVu::Page& page, uint32_t cx, const ThumbnailAllocator& allocate);

// Turns rows of width 3-byte pixels (at the start of each 4 * width-byte row) into 4-byte
// pixels with a zero fourth byte, in place. Exposed for its test.
void widenRows(uint8_t* bits, uint32_t width, uint32_t height);

} // namespace Vantorix::Nimbrel
