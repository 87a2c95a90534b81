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

class DjVuLateBindingChunk : public ForwardingChunk<Chunk>, public Nameable {
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
    // Whether the component's storage opens: a missing file of an indirect document does not;
    // a file that opens may still fail to parse. True once loaded, false after a failed load.
    bool isAvailable() override;
    // Whether getId can answer other than for want of the file: pages and thumbnails answer
    // from the directory, another kind once it is available.
    bool canAnswerId();

    void lock() override { mutex_.lock(); }
    void unlock() override { mutex_.unlock(); }
    String getId() override;
    bool isRedirector() override { return false; }
    void loadAll(ChunkCallback callback, void* context) override;

    String getName() override { return name_; }
    void setName(const String& name) override { name_ = name; }

protected:
    // Runs after a successful parse, still under the locks, with the broker the chunk held.
    virtual void onLoad(Chunk& loaded, const AutoPtr<ResourceBroker>& broker) { (void)loaded, (void)broker; }

    // Loads first.
    Chunk* forwardTarget() override;

private:
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
