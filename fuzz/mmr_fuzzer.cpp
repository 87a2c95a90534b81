// Smmr payloads: decode, walk every row, and draw a small picture of the mask.
// seeds: mmr/*.mmr 262144
#include <vector>

#include "djv_mmr.h"
#include "vtx_exception.h"
#include "vtx_stream.h"

using _Vtx_Internal_NS_::SmmrRenderer;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 24)) return 0;
    try {
        Vantorix::AutoPtr<SmmrRenderer> mask =
            SmmrRenderer::decode(Vantorix::MemoryStorage::create(data, uint32_t(size)));
        const uint32_t w = mask->getWidth(), h = mask->getHeight();
        uint64_t painted = 0;
        for (uint32_t y = 0; y < h; ++y)
            mask->forEachSpan(y, y % 7, w, [&](uint32_t b, uint32_t e, const Vantorix::DjVu::Color&) {
                if (b >= e || e > w) __builtin_trap();
                painted += e - b;
            });
        // A thumbnail-sized drawing; huge masks only cost the resampler's time, not the decoder's.
        if (uint64_t(w) * h > (uint64_t(1) << 24)) return 0;
        const uint32_t tw = 1 + w % 61, th = 1 + h % 47;
        std::vector<uint8_t> gray(size_t(tw) * th, 0xFF);
        mask->render(gray.data(), int32_t(tw), Vantorix::DjVu::Photometric::Gray,
                     Vantorix::DjVu::Rect{0, 0, tw, th}, tw, th, nullptr, 0, 0, 0, uint32_t(painted & 1));
    } catch (const Vantorix::Exception&) {
    }
    return 0;
}
