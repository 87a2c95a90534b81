// The mask layer of a page drawn from JB2 data, and the shared dictionary it draws on; made by
// the renderer registry from "Sjbz" and "Djbz" chunks.
#pragma once

#include "djv_jb2.h"
#include "djv_renderer.h"

namespace Vantorix::DjVu::RendererPrivate {

class JB2MaskDict final : public Dictionary {
public:
    explicit JB2MaskDict(const AutoPtr<JB2::JB2Dictionary>& dictionary) : dictionary_(dictionary) {}
    String getChunkId() override { return "Djbz"; }
    AutoPtr<Referable> getCodec() override { return dictionary_; }

    // Decodes the Djbz chunk; decoding errors propagate.
    static AutoPtr<Dictionary> create(const AutoPtr<Chunk>& chunk);

private:
    AutoPtr<JB2::JB2Dictionary> dictionary_;
};

class JB2MaskRenderer final : public Renderer {
public:
    explicit JB2MaskRenderer(const AutoPtr<JB2::JB2Page>& page) : page_(page) {}
    // Takes an FGbz chunk while the page has no colours yet.
    bool addChunk(const AutoPtr<Chunk>& chunk) override;
    uint32_t getWidth() override { return page_->getWidth(); }
    uint32_t getHeight() override { return page_->getHeight(); }
    void render(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect, uint32_t width,
                uint32_t height, const uint8_t* fgPixels, int32_t fgStride, uint32_t fgWidth, uint32_t fgHeight,
                uint32_t flags) override;
    String getChunkId() override { return "Sjbz"; }
    AutoPtr<Referable> getCodec() override { return page_; }

    // Decodes the Sjbz chunk with the dictionary's shapes; a dictionary whose codec is not a JB2
    // dictionary counts as none.
    static AutoPtr<Renderer> create(const AutoPtr<Chunk>& chunk, const AutoPtr<Dictionary>& dictionary);

private:
    AutoPtr<JB2::JB2Page> page_;
};

} // namespace Vantorix::DjVu::RendererPrivate
