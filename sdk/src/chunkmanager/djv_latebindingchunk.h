// A chunk parsed on first use: a page or component of a multi-page document, or the page of a
// single-page file. It answers its identifier for pages and thumbnails without reading, and
// loads before any other operation. A failed load fails every later use with 26 "Chunk cannot
// be deserialized!".
#pragma once

#include "djv_chunkimpls.h"
#include "djv_iff.h"
#include "vtx_syncobjs.h"

namespace Vantorix::DjVu {

class DjVuResourceBroker;

class DjVuLateBindingChunk : public Chunk, public Nameable {
public:
    // kind as in the DIRM; storage and offset locate the "FORM" header; depth is the nesting
    // at which it is read.
    DjVuLateBindingChunk(uint8_t kind, const String& name, const AutoPtr<Storage>& storage, uint64_t offset,
                         const AutoPtr<ResourceBroker>& broker, uint32_t depth);

    // Parses the chunk unless that happened already (false then), and runs loadAll on it.
    bool load(ChunkCallback callback, void* context);

    AutoPtr<Storage> getStorage() { return storage_; }
    AutoPtr<ResourceBroker> getBroker() { return broker_; }
    uint64_t getOffset() const { return offset_; }
    uint8_t getKind() const { return kind_; }
    bool isLoaded() const { return bool(loaded_); }

    void lock() override { mutex_.lock(); }
    void unlock() override { mutex_.unlock(); }
    String getId() override;
    AutoPtr<Data> getData() override { return target()->getData(); }
    void setData(const AutoPtr<Data>& data) override { target()->setData(data); }
    ChunkArray& getChildren() override { return target()->getChildren(); }
    int32_t find(const String& id1, const String& id2, int32_t start, bool onlyAvailable) override
    {
        return target()->find(id1, id2, start, onlyAvailable);
    }
    int32_t find(const String& id, int32_t start, bool onlyAvailable) override
    {
        return target()->find(id, start, onlyAvailable);
    }
    bool isRedirector() override { return false; }
    bool isAvailable() override { return target()->isAvailable(); }
    bool isCollection() override { return target()->isCollection(); }
    void loadAll(ChunkCallback callback, void* context) override;
    void compact() override { target()->compact(); }

    String getName() override { return name_; }
    void setName(const String& name) override { name_ = name; }

protected:
    // Runs after a successful parse, still under the locks, with the broker the chunk held.
    virtual void onLoad(Chunk& loaded, const AutoPtr<ResourceBroker>& broker) { (void)loaded, (void)broker; }

private:
    Chunk* target();

    uint8_t kind_;
    String name_;
    AutoPtr<Storage> storage_;
    uint64_t offset_;
    AutoPtr<ResourceBroker> broker_;
    uint32_t depth_;
    AutoPtr<Chunk> loaded_;
    bool failed_ = false;
    Mutex mutex_;
};

// A component of a bundled document: a shared component registers its one child with the
// broker once parsed, so that pages including it share that chunk.
class DjVuLateBindingChunk2 : public DjVuLateBindingChunk {
public:
    using DjVuLateBindingChunk::DjVuLateBindingChunk;

protected:
    void onLoad(Chunk& loaded, const AutoPtr<ResourceBroker>& broker) override;
};

} // namespace Vantorix::DjVu
