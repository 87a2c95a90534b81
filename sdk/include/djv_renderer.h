// Layer renderers. A page holds one Renderer per layer (mask, foreground, background), made
// from the layer's first chunk through a process-wide registry keyed by chunk id; later chunks
// of the same layer are offered with addChunk. A Dictionary is shared shape data (Djbz) that
// a mask renderer needs.
#pragma once

#include <cstdint>
#include <map>

#include "djv_chunk.h"
#include "djv_types.h"
#include "vtx_memory.h"
#include "vtx_string.h"

namespace Vantorix::DjVu {

// Decoded shared shapes, made once per document component and held by every renderer that
// uses them.
class Dictionary : public Referable {
public:
    virtual String getChunkId() = 0;
    virtual AutoPtr<Referable> getCodec() = 0;

    // Throws 7 "Unknown chunk identifier; cannot instanciate dictionary!" for an id without a
    // dictionary factory.
    static AutoPtr<Dictionary> create(const AutoPtr<Chunk>& chunk);
};

// Draws one layer of a page. The page holds its renderers; getMaskRenderer and the like return
// a further reference. Decoding errors surface from render as Exceptions.
class Renderer : public Referable {
public:
    // Offers a further chunk of the same layer; true if it was taken.
    virtual bool addChunk(const AutoPtr<Chunk>& chunk) = 0;
    virtual uint32_t getWidth() = 0;
    virtual uint32_t getHeight() = 0;
    // Draws the layer scaled to width x height (0: own size), the part rect of it, into dst.
    // fgPixels (same photometric) colours a mask's set pixels; other layers ignore it.
    virtual void render(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect, uint32_t width,
                        uint32_t height, const uint8_t* fgPixels, int32_t fgStride, uint32_t fgWidth,
                        uint32_t fgHeight, uint32_t flags) = 0;
    virtual String getChunkId() = 0;
    virtual AutoPtr<Referable> getCodec() = 0;

    // Throws 7 "Unknown chunk identifier; cannot instanciate renderer!" for an id without a
    // renderer factory.
    static AutoPtr<Renderer> create(const AutoPtr<Chunk>& chunk, const AutoPtr<Dictionary>& dictionary);
};

using RendererFactory = AutoPtr<Renderer> (*)(const AutoPtr<Chunk>& chunk, const AutoPtr<Dictionary>& dictionary);
using DictionaryFactory = AutoPtr<Dictionary> (*)(const AutoPtr<Chunk>& chunk);

// What a chunk id contributes to a page.
enum class LayerKind : int32_t { None = 0, Dictionary = 1, Mask = 2, Foreground = 3, Background = 4 };

// The process-wide map from chunk id to layer kind and factory. Built on first use (safely
// from any thread) with Djbz, Sjbz, FGbz, FG44, BG44 and Smmr, and kept until process exit.
class RendererRegistry {
public:
    static RendererRegistry& get();

    LayerKind getLayerKind(const String& chunkId) const;
    // The dictionary chunk id that renderers of chunkId need; empty when none.
    String getDictionaryId(const String& chunkId) const;
    RendererFactory getRendererFactory(const String& chunkId) const;
    DictionaryFactory getDictionaryFactory(const String& chunkId) const;

    // The extension point: a renderer factory for chunkId in layer 0 (mask), 1 (foreground) or
    // 2 (background); optionally the dictionary it needs; alias ids of the same kind. Not
    // synchronised: register before other threads use the registry.
    void registerRenderer(RendererFactory rendererFactory, uint32_t layerIndex, const String& chunkId,
                          DictionaryFactory dictionaryFactory, const String& dictionaryChunkId,
                          const String* aliasIds, uint32_t aliasCount);

private:
    RendererRegistry();
    std::map<String, DictionaryFactory> dictionaries_;
    std::map<String, RendererFactory> renderers_;
    std::map<String, LayerKind> kinds_;
    std::map<String, String> dictionaryOf_;
};

} // namespace Vantorix::DjVu
