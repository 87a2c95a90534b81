#include "djv_jb2renderer.h"

#include "djv_jb2decoder.h"
#include "djv_maskscaling.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;

namespace _Vtx_Internal_NS_ {

void JB2PageImpl::renderMask(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect,
                             uint32_t width, uint32_t height, uint32_t reserved, uint32_t flags)
{
    renderMaskForeground(dst, dstStride, photometric, rect, width, height, nullptr, 0, 0, 0, reserved, flags);
}

void JB2PageImpl::renderMaskForeground(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect,
                                       uint32_t width, uint32_t height, const uint8_t* fgPixels, int32_t fgStride,
                                       uint32_t fgWidth, uint32_t fgHeight, uint32_t reserved, uint32_t flags)
{
    JB2RowSource source = getRowSource();
    resampleMaskT(dst, dstStride, rect, width ? width : width_, height ? height : height_, source, width_, height_,
                  fgPixels, fgStride, fgWidth, fgHeight, photometric, reserved, flags);
}

} // namespace _Vtx_Internal_NS_

namespace Vantorix::DjVu::RendererPrivate {

AutoPtr<Dictionary> JB2MaskDict::create(const AutoPtr<Chunk>& chunk)
{
    return makeAuto<JB2MaskDict>(JB2::JB2Dictionary::create(chunk));
}

AutoPtr<Renderer> JB2MaskRenderer::create(const AutoPtr<Chunk>& chunk, const AutoPtr<Dictionary>& dictionary)
{
    AutoPtr<JB2::JB2Dictionary> shapes;
    if (dictionary) {
        AutoPtr<Referable> codec = dictionary->getCodec();
        shapes = dynamic_cast<JB2::JB2Dictionary*>(codec.get());
    }
    return makeAuto<JB2MaskRenderer>(JB2::JB2Page::create(chunk, shapes));
}

bool JB2MaskRenderer::addChunk(const AutoPtr<Chunk>& chunk)
{
    if (page_->hasFGbz() || !chunk || chunk->getId() != "FGbz") return false;
    page_->addFGbz(chunk);
    return true;
}

void JB2MaskRenderer::render(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect,
                             uint32_t width, uint32_t height, const uint8_t* fgPixels, int32_t fgStride,
                             uint32_t fgWidth, uint32_t fgHeight, uint32_t flags)
{
    if (fgPixels)
        page_->renderMaskForeground(dst, dstStride, photometric, rect, width, height, fgPixels, fgStride, fgWidth,
                                    fgHeight, 0, flags);
    else
        page_->renderMask(dst, dstStride, photometric, rect, width, height, 0, flags);
}

} // namespace Vantorix::DjVu::RendererPrivate
