#include "djv_renderer.h"

#include "djv_mmr.h"
#include "iw44/djv_iw44renderer.h"
#include "jb2/djv_jb2renderer.h"
#include "vtx_exception.h"

namespace Vantorix::DjVu {

RendererRegistry::RendererRegistry()
{
    // FGbz has a layer kind but no factory: it is handed to the mask renderer that exists.
    const String jb2Aliases[] = {"FGbz"};
    registerRenderer(&RendererPrivate::JB2MaskRenderer::create, 0, "Sjbz", &RendererPrivate::JB2MaskDict::create,
                     "Djbz", jb2Aliases, 1);
    registerRenderer(&RendererPrivate::IW44Renderer::create, 1, "FG44", nullptr, String(), nullptr, 0);
    registerRenderer(&RendererPrivate::IW44Renderer::create, 2, "BG44", nullptr, String(), nullptr, 0);
    registerRenderer(&_Vtx_Internal_NS_::SmmrRenderer::create, 0, "Smmr", nullptr, String(), nullptr, 0);
}

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
        VTX_THROW(7, "errInvalidParam", "Vantorix::DjVu::RendererRegistry::registerRenderer");
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
        VTX_THROW(7, "Unknown chunk identifier; cannot instanciate dictionary!", "Vantorix::DjVu::Dictionary::create");
    return make(chunk);
}

AutoPtr<Renderer> Renderer::create(const AutoPtr<Chunk>& chunk, const AutoPtr<Dictionary>& dictionary)
{
    RendererFactory make = chunk ? RendererRegistry::get().getRendererFactory(chunk->getId()) : nullptr;
    if (!make)
        VTX_THROW(7, "Unknown chunk identifier; cannot instanciate renderer!", "Vantorix::DjVu::Renderer::create");
    return make(chunk, dictionary);
}

} // namespace Vantorix::DjVu
