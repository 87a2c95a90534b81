// The shell's thumbnail of a page as plain bytes, for tests that compare pictures.
#pragma once

#include <cstdint>
#include <vector>

#include "djv_page.h"
#include "nimbrel_thumbnail.h"

namespace vtxtest {

// buildThumbnail's bitmap: bottom-up rows of blue, green, red, 0; longer side edge.
inline std::vector<uint8_t> thumbnailPixels(Vantorix::DjVu::Page& page, uint32_t edge)
{
    std::vector<uint8_t> bits;
    Vantorix::Nimbrel::buildThumbnail(page, edge, [&bits](uint32_t w, uint32_t h) {
        bits.assign(size_t(w) * h * 4, 0);
        return bits.data();
    });
    return bits;
}

} // namespace vtxtest
