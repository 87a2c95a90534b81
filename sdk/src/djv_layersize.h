// Whether a layer can belong to its page. Encoders write the mask at the page's size and the
// images at the page's size divided by a whole factor of 1 to 12, rounded up; anything else is
// a hostile or broken file, and is refused before the layer is decoded where the chunk's
// header tells the size (IW44 first chunks, MMR masks), else right after.
#pragma once

#include <cstdint>
#include <optional>

#include "djv_chunk.h"
#include "djv_page.h"
#include "djv_renderer.h"

namespace _Vtx_Internal_NS_ {

struct LayerSize {
    uint32_t width = 0;
    uint32_t height = 0;
};

// The largest factor by which a background or foreground image may be reduced against the page.
constexpr uint32_t kMaxLayerReduction = 12;

// The size that the header of chunk declares: an IW44 first chunk (BG44, FG44) or an MMR mask
// (Smmr). Nothing for other chunks, later IW44 chunks and headers too short to tell.
std::optional<LayerSize> peekLayerSize(Vantorix::DjVu::Chunk& chunk);

// Throws errDataBroken "Incorrect size in <id> chunk" unless a layer of this kind and size fits
// the page: a mask exactly, an image at one of the reductions.
void checkLayerSize(const Vantorix::String& chunkId, Vantorix::DjVu::LayerKind kind, const LayerSize& size,
                    const Vantorix::DjVu::PageInfo& page);

} // namespace _Vtx_Internal_NS_
