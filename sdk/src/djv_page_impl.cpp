#include "djv_page_impl.h"

#include "djv_layersize.h"
#include "vtx_exception.h"

namespace Vantorix::DjVu {

PageInfo PageInfo::read(Storage& payload)
{
    PageInfo info;
    uint8_t b[5];
    payload.readBytes(b, 5, true);
    info.width = uint32_t(b[0]) << 8 | b[1];
    info.height = uint32_t(b[2]) << 8 | b[3];
    info.minorVersion = b[4];
    // Older writers stop early: each missing field keeps its default.
    try {
        payload.readBytes(b, 1, true);
        info.majorVersion = b[0];
        payload.readBytes(b, 2, true);
        info.dpi = uint32_t(b[0]) | uint32_t(b[1]) << 8;
        payload.readBytes(b, 1, true);
        info.gamma = b[0];
        payload.readBytes(b, 1, true);
        info.flags = b[0];
    } catch (const Exception&) {
    }
    return info;
}

uint32_t PageInfo::getRotation() const
{
    if (minorVersion < 22) return 0;
    switch (flags & 6) {
    case 6: return 1;
    case 2: return 2;
    case 4: return 3;
    default: return 0;
    }
}

void PageInfo::setRotation(uint32_t rotation)
{
    static const uint8_t kFlags[4] = {0, 6, 2, 4};
    if (rotation > 3) VTX_THROW(errInvalidParam, "errInvalidParam", "Vantorix::DjVu::PageInfo::setRotation");
    flags = (flags & ~7u) | kFlags[rotation];
    if (minorVersion < 22) minorVersion = 25;
}

} // namespace Vantorix::DjVu

namespace _Vtx_Internal_NS_ {

using namespace Vantorix;
using namespace Vantorix::DjVu;

PageImpl::PageImpl(const AutoPtr<Chunk>& chunk, const AutoPtr<DictMap>& dictMap) : chunk_(chunk), dictMap_(dictMap)
{
    if (!chunk_) VTX_THROW(errInvalidParam, "errInvalidParam", "_Vtx_Internal_NS_::PageImpl::PageImpl");
}

const PageInfo& PageImpl::getInfo()
{
    // Under the lock even when read before: another thread may be filling the record in.
    AutoLock hold(*chunk_);
    if (info_.width == 0) {
        int32_t at = chunk_->find("INFO", -1, false);
        if (at < 0) VTX_THROW(errDataBroken, "The page has no INFO chunk!", "_Vtx_Internal_NS_::PageImpl::getInfo");
        AutoPtr<Chunk> info = chunk_->getChildren()[at];
        readInfo(*info);
    }
    return info_;
}

void PageImpl::readInfo(Chunk& infoChunk)
{
    AutoPtr<Data> data = infoChunk.getData();
    if (!data) VTX_THROW(errDataBroken, "The page has no INFO chunk!", "_Vtx_Internal_NS_::PageImpl::readInfo");
    info_ = PageInfo::read(*data->getStream(true));
}

uint32_t PageImpl::getWidth()
{
    const PageInfo& info = getInfo();
    return info.getRotation() & 1 ? info.height : info.width;
}

uint32_t PageImpl::getHeight()
{
    const PageInfo& info = getInfo();
    return info.getRotation() & 1 ? info.width : info.height;
}

void PageImpl::setDpi(uint32_t dpi)
{
    AutoLock hold(*chunk_);
    getInfo();
    info_.dpi = dpi;
}

void PageImpl::setRotation(uint32_t rotation)
{
    AutoLock hold(*chunk_);
    getInfo();
    info_.setRotation(rotation);
    if (text_) text_->setRotation(rotation);
}

void PageImpl::visit(Photometric photometric)
{
    AutoLock hold(*chunk_);
    if (!visited_) {
        try {
            chunk_->loadAll(&PageImpl::onChunk, this);
        } catch (...) {
            // A later call starts again from nothing rather than refining half-built layers.
            dropLayers();
            throw;
        }
        visited_ = true;
    }
    lastPhotometric_ = int32_t(photometric);
}

void PageImpl::onChunk(void* self, Chunk* chunk)
{
    PageImpl* page = static_cast<PageImpl*>(self);
    AutoPtr<Chunk> held(chunk);
    if (held->getId() == "INFO") {
        if (!page->hasInfo()) page->readInfo(*held);
    } else {
        page->buildLayer(held);
    }
    if (page->callback_) page->callback_(page->callbackContext_, chunk);
}

void PageImpl::buildLayer(const AutoPtr<Chunk>& chunk)
{
    const RendererRegistry& registry = RendererRegistry::get();
    String id = chunk->getId();
    LayerKind kind = registry.getLayerKind(id);
    if (kind == LayerKind::None) return;
    if (kind == LayerKind::Dictionary) {
        // Pages of one document share the dictionary of a shared chunk.
        dictionaries_[id] = dictMap_ ? dictMap_->obtain(chunk, &Dictionary::create) : Dictionary::create(chunk);
        return;
    }
    AutoPtr<Renderer>& layer = slot(kind);
    if (layer) {
        layer->addChunk(chunk); // refinement, colours; a refused chunk is ignored
        return;
    }
    // A layer that cannot belong to the page is refused before its data costs anything.
    const PageInfo& page = getInfo();
    if (std::optional<LayerSize> declared = peekLayerSize(*chunk)) checkLayerSize(id, kind, *declared, page);
    auto dict = dictionaries_.find(registry.getDictionaryId(id));
    AutoPtr<Renderer> made = Renderer::create(chunk, dict == dictionaries_.end() ? AutoPtr<Dictionary>() : dict->second);
    checkLayerSize(id, kind, {made->getWidth(), made->getHeight()}, page);
    layer = made;
}

void PageImpl::dropLayers()
{
    dictionaries_.clear();
    for (AutoPtr<Renderer>& layer : layers_) layer = nullptr;
    AutoLock hold(foregroundMutex_);
    foreground_ = nullptr;
}

void PageImpl::unload()
{
    AutoLock hold(*chunk_);
    dropLayers();
    visited_ = false;
}

void PageImpl::setChunkCallback(ChunkCallback callback, void* context)
{
    callback_ = callback;
    callbackContext_ = context;
}

} // namespace _Vtx_Internal_NS_
