#include "djv_iw44renderer.h"

namespace Vantorix::DjVu::RendererPrivate {

IW44Renderer::IW44Renderer(const AutoPtr<IW44::IW44DecoderImpl>& decoder, const String& chunkId)
    : decoder_(decoder), chunkId_(chunkId)
{
}

AutoPtr<Renderer> IW44Renderer::create(const AutoPtr<Chunk>& chunk, const AutoPtr<Dictionary>&)
{
    AutoPtr<IW44::IW44DecoderImpl> decoder = makeAuto<IW44::IW44DecoderImpl>(nullptr, nullptr);
    decoder->hold(chunk);
    return makeAuto<IW44Renderer>(decoder, chunk->getId());
}

bool IW44Renderer::addChunk(const AutoPtr<Chunk>& chunk)
{
    if (!decoder_->isNextChunk(chunk)) return false;
    decoder_->hold(chunk);
    return true;
}

void IW44Renderer::render(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect, uint32_t width,
                          uint32_t height, const uint8_t*, int32_t, uint32_t, uint32_t, uint32_t flags)
{
    decoder_->renderScaled(dst, dstStride, photometric, rect, width, height, 0, flags);
}

} // namespace Vantorix::DjVu::RendererPrivate
