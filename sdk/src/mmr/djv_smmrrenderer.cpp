#include <cstring>

#include "djv_maskscaling.h"
#include "djv_mmr.h"
#include "djv_mmrdecode.h"
#include "vtx_exception.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;

namespace _Vtx_Internal_NS_ {

SmmrRenderer::SmmrRenderer(const AutoPtr<Stream>& stream, uint32_t maxRuns)
{
    AutoPtr<MMRDecoder> decoder = makeAuto<MMRDecoder>(stream);
    width_ = decoder->getWidth();
    height_ = decoder->getHeight();
    inverted_ = decoder->isInverted() ? 1 : 0;
    runs_.setGrowthUnit(128);
    rowStart_.resize(height_ + 1);
    rowStart_[0] = 0;
    for (uint32_t y = 0; y < height_; ++y) {
        const uint16_t* end = nullptr;
        const uint16_t* row = decoder->getScanline(end);
        const uint32_t n = row ? uint32_t(end - row) : 0;
        const uint32_t at = runs_.size();
        if (n > maxRuns - at)
            VTX_THROW(errLimitExceeded, "MMR mask too complex!", "_Vtx_Internal_NS_::SmmrRenderer::SmmrRenderer");
        if (n) {
            runs_.resize(at + n);
            std::memcpy(runs_.data() + at, row, n * sizeof(uint16_t));
        }
        rowStart_[y + 1] = at + n;
    }
}

AutoPtr<SmmrRenderer> SmmrRenderer::decode(const AutoPtr<Stream>& stream, uint32_t maxRuns)
{
    return AutoPtr<SmmrRenderer>(new SmmrRenderer(stream, maxRuns));
}

AutoPtr<Renderer> SmmrRenderer::create(const AutoPtr<Chunk>& chunk, const AutoPtr<Dictionary>&)
{
    AutoPtr<Storage> payload = chunk->getData()->getStream(true);
    return decode(payload);
}

bool SmmrRenderer::addChunk(const AutoPtr<Chunk>&) { return false; }

String SmmrRenderer::getChunkId() { return String("Smmr"); }

AutoPtr<Referable> SmmrRenderer::getCodec() { return AutoPtr<Referable>(this); }

void SmmrRenderer::render(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect, uint32_t width,
                          uint32_t height, const uint8_t* fgPixels, int32_t fgStride, uint32_t fgWidth,
                          uint32_t fgHeight, uint32_t flags)
{
    resampleMaskT(dst, dstStride, rect, width ? width : width_, height ? height : height_, *this, width_, height_,
                  fgPixels, fgStride, fgWidth, fgHeight, photometric, 0, flags);
}

} // namespace _Vtx_Internal_NS_
