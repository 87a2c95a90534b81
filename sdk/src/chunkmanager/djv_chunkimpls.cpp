#include <cstring>
#include <atomic>

#include "djv_chunkimpls.h"
#include "vtx_exception.h"

namespace Vantorix::DjVu {

int32_t findChild(ChunkArray& children, const String& id1, const String* id2, int32_t start, bool onlyAvailable)
{
    uint32_t n = children.getSize();
    uint32_t i = start < 0 ? 0 : uint32_t(start) + 1;
    for (; i < n; ++i) {
        Chunk* child = children[i].get();
        String id = child->getId();
        if (id != id1 && (!id2 || id != *id2)) continue;
        if (onlyAvailable && !child->isAvailable()) continue;
        return int32_t(i);
    }
    return -1;
}

// ---- ChunkImpl

ChunkImpl::ChunkImpl(const String& id, const AutoPtr<Data>& data) : id_(id), data_(data) {}

AutoPtr<Chunk> ChunkImpl::create(const String& id, const AutoPtr<Data>& data) { return makeAuto<ChunkImpl>(id, data); }

AutoPtr<Chunk> ChunkImpl::create(const String& id, const void* bytes, uint32_t length)
{
    AutoPtr<MemoryData> data = MemoryData::create(length);
    if (length) std::memcpy(data->getArray().data(), bytes, length);
    return makeAuto<ChunkImpl>(id, data);
}

ChunkArray& ChunkImpl::getChildren() { VTX_THROW(errOperationFailed, "Not a collection chunk!", "Vantorix::DjVu::ChunkImpl::getChildren"); }

int32_t ChunkImpl::find(const String&, const String&, int32_t, bool)
{
    VTX_THROW(errOperationFailed, "Not a collection chunk!", "Vantorix::DjVu::ChunkImpl::find");
}

int32_t ChunkImpl::find(const String&, int32_t, bool)
{
    VTX_THROW(errOperationFailed, "Not a collection chunk!", "Vantorix::DjVu::ChunkImpl::find");
}

void ChunkImpl::loadAll(ChunkCallback callback, void* context)
{
    if (data_) data_->load();
    if (callback) callback(context, this);
}

void ChunkImpl::compact()
{
    if (data_) data_->compact();
}

// ---- ChunkCollection

namespace {
std::atomic<uint32_t> collectionCounter{0};
}

ChunkCollection::ChunkCollection(const String& id)
    : id_(id), name_(String::format("chunk%u.iff", unsigned(++collectionCounter)))
{
}

AutoPtr<ChunkCollection> ChunkCollection::create(const String& id) { return makeAuto<ChunkCollection>(id); }

AutoPtr<Data> ChunkCollection::getData()
{
    VTX_THROW(errNotSupported, "Cannot get data from collection chunk!", "Vantorix::DjVu::ChunkCollection::getData");
}

void ChunkCollection::setData(const AutoPtr<Data>&)
{
    VTX_THROW(errNotSupported, "Cannot set data to collection chunk!", "Vantorix::DjVu::ChunkCollection::setData");
}

int32_t ChunkCollection::find(const String& id1, const String& id2, int32_t start, bool onlyAvailable)
{
    return findChild(children_, id1, &id2, start, onlyAvailable);
}

int32_t ChunkCollection::find(const String& id, int32_t start, bool onlyAvailable)
{
    return findChild(children_, id, nullptr, start, onlyAvailable);
}

bool ChunkCollection::isAvailable()
{
    for (auto& child : children_)
        if (!child->isAvailable()) return false;
    return true;
}

void ChunkCollection::loadAll(ChunkCallback callback, void* context)
{
    // Indexed on purpose: a child's load may not add children here, but it may replace one.
    for (uint32_t i = 0; i < children_.getSize(); ++i) {
        AutoPtr<Chunk> child = children_[i];
        child->loadAll(callback, context);
    }
    if (callback) callback(context, this);
}

void ChunkCollection::compact()
{
    children_.compact();
    for (auto& child : children_) child->compact();
}

// ---- ChunkRedirectorImpl

ChunkRedirectorImpl::ChunkRedirectorImpl(const AutoPtr<Chunk>& target) : target_(target)
{
    if (!target_) VTX_THROW(errInvalidParam, "errInvalidParam", "Vantorix::DjVu::ChunkRedirectorImpl::ChunkRedirectorImpl");
    while (target_->isRedirector()) target_ = static_cast<ChunkRedirector*>(target_.get())->getTarget();
}

AutoPtr<ChunkRedirector> ChunkRedirectorImpl::create(const AutoPtr<Chunk>& target)
{
    return makeAuto<ChunkRedirectorImpl>(target);
}

} // namespace Vantorix::DjVu
