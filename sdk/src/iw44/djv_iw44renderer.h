// The layer renderer of IW44 chunks (BG44, FG44): one decoder that every further chunk of the
// layer refines.
#pragma once

#include "djv_iw44decoder.h"
#include "djv_renderer.h"

namespace Vantorix::DjVu::RendererPrivate {

class IW44Renderer : public Renderer {
public:
    // Takes the layer's first chunk into a new decoder; the dictionary is not used. Errors
    // of the decoder propagate. The newest chunk is held undecoded until a further chunk comes
    // or a render tells how much of it its reduction needs.
    static AutoPtr<Renderer> create(const AutoPtr<Chunk>& chunk, const AutoPtr<Dictionary>& dictionary);

    // Takes a chunk that carries the next serial number into the image.
    bool addChunk(const AutoPtr<Chunk>& chunk) override;
    uint32_t getWidth() override { return decoder_->getWidth(); }
    uint32_t getHeight() override { return decoder_->getHeight(); }
    // The whole image scaled to width x height, unrotated; the foreground arguments are ignored.
    void render(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect, uint32_t width,
                uint32_t height, const uint8_t* fgPixels, int32_t fgStride, uint32_t fgWidth, uint32_t fgHeight,
                uint32_t flags) override;
    String getChunkId() override { return chunkId_; }
    // The IW44 decoder.
    AutoPtr<Referable> getCodec() override { return decoder_; }

    IW44Renderer(const AutoPtr<IW44::IW44DecoderImpl>& decoder, const String& chunkId);

private:
    AutoPtr<IW44::IW44DecoderImpl> decoder_;
    String chunkId_;
};

} // namespace Vantorix::DjVu::RendererPrivate
