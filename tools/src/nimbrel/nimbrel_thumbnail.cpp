#include "nimbrel_thumbnail.h"

#include <bit>
#include <cstring>

#include "vtx_exception.h"

namespace Vantorix::Nimbrel {

using DjVu::Page;
using DjVu::Photometric;
using DjVu::Rect;

ThumbnailSize thumbnailSize(uint32_t pageWidth, uint32_t pageHeight, uint32_t cx)
{
    const char* function = "Vantorix::Nimbrel::thumbnailSize";
    if (pageWidth == 0 || pageHeight == 0) VTX_THROW(errDataBroken, "errDataBroken", function);
    if (cx == 0) VTX_THROW(errInvalidParam, "errInvalidParam", function);
    ThumbnailSize size;
    // 32-bit products on purpose: the shell's provider computes the size this way.
    if (pageWidth >= pageHeight) {
        size.width = cx;
        size.height = pageHeight * cx / pageWidth;
    } else {
        size.height = cx;
        size.width = pageWidth * cx / pageHeight;
    }
    // A bitmap of no pixels cannot be rendered into, and the render takes the row stride as a
    // signed 32-bit byte count.
    if (size.width == 0 || size.height == 0 || size.width > uint32_t(INT32_MAX) / 4)
        VTX_THROW(errInvalidParam, "errInvalidParam", function);
    return size;
}

namespace {

void widenPixel(uint8_t* row, uint32_t x)
{
    const uint8_t b = row[3 * size_t(x)], g = row[3 * size_t(x) + 1], r = row[3 * size_t(x) + 2];
    uint8_t* out = row + 4 * size_t(x);
    out[0] = b;
    out[1] = g;
    out[2] = r;
    out[3] = 0;
}

// Pixels x .. x + 3: their twelve source bytes are read before the sixteen are written.
void widenFour(uint8_t* row, uint32_t x)
{
    uint64_t a;
    uint32_t b;
    std::memcpy(&a, row + 3 * size_t(x), 8);
    std::memcpy(&b, row + 3 * size_t(x) + 8, 4);
    const uint64_t out[2] = {(a & 0xFFFFFF) | ((a << 8) & 0xFFFFFF00000000),
                             (a >> 48) | (uint64_t(b & 0xFF) << 16) | (uint64_t(b >> 8) << 32)};
    std::memcpy(row + 4 * size_t(x), out, 16);
}

} // namespace

void widenRows(uint8_t* bits, uint32_t width, uint32_t height)
{
    const size_t stride = size_t(width) * 4;
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = bits + y * stride;
        // From the right end: the 4-byte slot of pixel x never covers the 3-byte source of a
        // pixel left of x, so every source is read before it is overwritten. Groups of four
        // pixels move as words where the byte order lets them.
        uint32_t x = width;
        if constexpr (std::endian::native == std::endian::little) {
            for (; x % 4 != 0; --x) widenPixel(row, x - 1);
            for (; x > 0; x -= 4) widenFour(row, x - 4);
        }
        for (; x-- > 0;) widenPixel(row, x);
    }
}

ThumbnailSize buildThumbnail(Page& page, uint32_t cx, const ThumbnailAllocator& allocate)
{
    const ThumbnailSize size = thumbnailSize(page.getWidth(), page.getHeight(), cx);
    const uint32_t w = size.width, h = size.height;
    uint8_t* bits = allocate(w, h);
    if (!bits) VTX_THROW(errOutOfMemory, "errOutOfMemory", "Vantorix::Nimbrel::buildThumbnail");
    const int32_t stride = int32_t(w * 4);
    // The last row in memory is the top of the picture: render upwards from there.
    uint8_t* top = bits + size_t(h - 1) * size_t(stride);
    page.render(top, -stride, Photometric::BGR, Rect{0, 0, w, h}, w, h, Page::layerAll, 0);
    widenRows(bits, w, h);
    return size;
}

} // namespace Vantorix::Nimbrel
