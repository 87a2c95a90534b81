#include "djv_renderer.h"

#include "djv_builtin_renderers.h"
#include "vtx_exception.h"

namespace Vantorix::DjVu {

RendererRegistry::RendererRegistry() { registerBuiltinRenderers(*this); }

RendererRegistry& RendererRegistry::get()
{
    static RendererRegistry registry;
    return registry;
}

void RendererRegistry::registerRenderer(RendererFactory rendererFactory, uint32_t layerIndex, const String& chunkId,
                                        DictionaryFactory dictionaryFactory, const String& dictionaryChunkId,
                                        const String* aliasIds, uint32_t aliasCount)
{
    if (!rendererFactory || layerIndex > 2 || chunkId.isEmpty())
        VTX_THROW(errInvalidParam, "errInvalidParam", "Vantorix::DjVu::RendererRegistry::registerRenderer");
    LayerKind kind = LayerKind(int32_t(LayerKind::Mask) + int32_t(layerIndex));
    renderers_[chunkId] = rendererFactory;
    kinds_[chunkId] = kind;
    if (dictionaryFactory && !dictionaryChunkId.isEmpty()) {
        dictionaries_[dictionaryChunkId] = dictionaryFactory;
        kinds_[dictionaryChunkId] = LayerKind::Dictionary;
        dictionaryOf_[chunkId] = dictionaryChunkId;
    }
    for (uint32_t i = 0; i < aliasCount; ++i) kinds_[aliasIds[i]] = kind;
}

LayerKind RendererRegistry::getLayerKind(const String& chunkId) const
{
    auto it = kinds_.find(chunkId);
    return it == kinds_.end() ? LayerKind::None : it->second;
}

String RendererRegistry::getDictionaryId(const String& chunkId) const
{
    auto it = dictionaryOf_.find(chunkId);
    return it == dictionaryOf_.end() ? String() : it->second;
}

RendererFactory RendererRegistry::getRendererFactory(const String& chunkId) const
{
    auto it = renderers_.find(chunkId);
    return it == renderers_.end() ? nullptr : it->second;
}

DictionaryFactory RendererRegistry::getDictionaryFactory(const String& chunkId) const
{
    auto it = dictionaries_.find(chunkId);
    return it == dictionaries_.end() ? nullptr : it->second;
}

AutoPtr<Dictionary> Dictionary::create(const AutoPtr<Chunk>& chunk)
{
    DictionaryFactory make = chunk ? RendererRegistry::get().getDictionaryFactory(chunk->getId()) : nullptr;
    if (!make)
        VTX_THROW(errInvalidParam, "Unknown chunk identifier; cannot instanciate dictionary!", "Vantorix::DjVu::Dictionary::create");
    return make(chunk);
}

AutoPtr<Renderer> Renderer::create(const AutoPtr<Chunk>& chunk, const AutoPtr<Dictionary>& dictionary)
{
    RendererFactory make = chunk ? RendererRegistry::get().getRendererFactory(chunk->getId()) : nullptr;
    if (!make)
        VTX_THROW(errInvalidParam, "Unknown chunk identifier; cannot instanciate renderer!", "Vantorix::DjVu::Renderer::create");
    return make(chunk, dictionary);
}

} // namespace Vantorix::DjVu
