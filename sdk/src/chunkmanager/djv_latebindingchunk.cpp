#include "djv_latebindingchunk.h"

#include "chunkmanager/djv_deserializer.h"
#include "chunkmanager/djv_resourcebroker.h"

namespace Vantorix::DjVu {
namespace {

const char* expectedId(uint8_t kind)
{
    switch (kind) {
    case IFF::kindPage: return "DJVU";
    case IFF::kindThumbnails: return "THUM";
    default: return nullptr;
    }
}

} // namespace

DjVuLateBindingChunk::DjVuLateBindingChunk(uint8_t kind, const String& name, const AutoPtr<Storage>& storage,
                                           uint64_t offset, const AutoPtr<ResourceBroker>& broker, uint32_t depth)
    : kind_(kind), name_(name), storage_(storage), offset_(offset), broker_(broker), depth_(depth)
{
    if (!storage_) VTX_THROW(errInvalidParam, "errInvalidParam", "Vantorix::DjVu::DjVuLateBindingChunk::DjVuLateBindingChunk");
}

String DjVuLateBindingChunk::getId()
{
    if (const char* id = expectedId(kind_)) return id;
    return forwardTarget()->getId();
}

Chunk* DjVuLateBindingChunk::forwardTarget()
{
    load(nullptr, nullptr);
    return loaded_.get();
}

void DjVuLateBindingChunk::loadAll(ChunkCallback callback, void* context)
{
    // A fresh load already ran loadAll with this callback; otherwise walk what is there.
    if (!load(callback, context)) loaded_->loadAll(callback, context);
}

bool DjVuLateBindingChunk::canAnswerId() { return expectedId(kind_) || isAvailable(); }

bool DjVuLateBindingChunk::isAvailable()
{
    AutoLock hold(*this);
    if (!storage_) return bool(loaded_);
    try {
        storage_->getSize(); // opens a component file on first access
        return true;
    } catch (const Exception&) {
        return false;
    }
}

bool DjVuLateBindingChunk::load(ChunkCallback callback, void* context)
{
    const char* function = "Vantorix::DjVu::DjVuLateBindingChunk::load";
    AutoLock hold(*this);
    if (loaded_) return false;
    if (failed_ || !storage_) VTX_THROW(errOperationFailed, "Chunk cannot be deserialized!", function);

    // From here on the chunk is loaded or failed for good, except when memory ran out: that
    // is no fault of the data, and a later call may find memory again.
    AutoPtr<Storage> storage = std::move(storage_);
    AutoPtr<ResourceBroker> broker = std::move(broker_);
    failed_ = true;
    try {
        AutoLock holdStorage(*storage);
        storage->setPos(offset_);
        IFF::ParseContext ctx;
        ctx.storage = storage;
        ctx.broker = broker;
        AutoPtr<Chunk> parsed = IFF::parseOneChunk(ctx, depth_);
        if (!parsed) VTX_THROW(errOperationFailed, "Chunk cannot be deserialized!", function);
        // A page must be a page: its identifier was answered before it was read.
        const char* expected = expectedId(kind_);
        if (expected && parsed->getId() != expected)
            VTX_THROW(errDataBroken, "The component is not of the kind its directory gives!", function);
        onLoad(*parsed, broker);
        // Loaded from here on: a callback that fails (a page's layer that cannot be built)
        // leaves a chunk that a later walk visits again.
        loaded_ = parsed;
        failed_ = false;
        parsed->loadAll(callback, context);
    } catch (const Exception& e) {
        if (e.getCode() == errOutOfMemory && !loaded_) {
            storage_ = std::move(storage);
            broker_ = std::move(broker);
            failed_ = false;
        }
        throw;
    }
    return true;
}

void DjVuLateBindingChunk2::onLoad(Chunk& loaded, const AutoPtr<ResourceBroker>& broker)
{
    if (!loaded.isCollection() || loaded.getId() != "DJVI") return;
    ChunkArray& children = loaded.getChildren();
    if (children.getSize() != 1)
        VTX_THROW(errDataBroken, "DJVI has multiple children!", "Vantorix::DjVu::DjVuLateBindingChunk2::onLoad");
    if (auto* djvu = dynamic_cast<DjVuResourceBroker*>(broker.get())) djvu->registerShared(getName(), children[0]);
}

} // namespace Vantorix::DjVu
