#include "djv_iw44.h"
#include "djv_page_impl.h"

namespace _Vtx_Internal_NS_ {

using namespace Vantorix;
using namespace Vantorix::DjVu;

bool PageImpl::renderThumbnail(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect,
                               uint32_t width, uint32_t height, uint32_t flags, bool wholePage)
{
    if (!thumbnailChunk_) {
        if (wholePage) render(dst, dstStride, photometric, rect, width, height, layerAll, flags);
        return wholePage;
    }
    // A stored thumbnail is one small IW44 chunk, already drawn as the page is displayed:
    // decoded afresh on each call rather than kept.
    AutoPtr<IW44::IW44Decoder> decoder = IW44::IW44Decoder::create();
    decoder->decode(thumbnailChunk_);
    decoder->renderScaled(dst, dstStride, photometric, rect, width, height, 0, flags);
    return true;
}

} // namespace _Vtx_Internal_NS_
