// The chunk classes behind djv_chunk.h: leaves (ChunkImpl, ChunkEncodedImpl), collections
// (ChunkCollection) and the two forwarders (ChunkRedirectorImpl, LazyLoadChunk).
//
// Ownership: children are held by owning references, so one chunk may sit in several trees
// (a shared component included by several pages). Every class owns a recursive Mutex that
// callers take through Lockable; no operation locks by itself.
#pragma once

#include <cstdint>

#include "djv_chunk.h"
#include "vtx_syncobjs.h"

namespace Vantorix::DjVu {

// A leaf: an identifier and one Data payload (possibly null, which makes it unavailable).
class ChunkImpl : public Chunk {
public:
    explicit ChunkImpl(const String& id, const AutoPtr<Data>& data = nullptr);
    static AutoPtr<Chunk> create(const String& id, const AutoPtr<Data>& data = nullptr);
    // A leaf over a copy of the given bytes (test and tool convenience).
    static AutoPtr<Chunk> create(const String& id, const void* bytes, uint32_t length);

    void lock() override { mutex_.lock(); }
    void unlock() override { mutex_.unlock(); }

    String getId() override { return id_; }
    AutoPtr<Data> getData() override { return data_; }
    void setData(const AutoPtr<Data>& data) override { data_ = data; }
    // Throws 26 "Not a collection chunk!".
    ChunkArray& getChildren() override;
    int32_t find(const String& id1, const String& id2, int32_t start, bool onlyAvailable) override;
    int32_t find(const String& id, int32_t start, bool onlyAvailable) override;
    bool isRedirector() override { return false; }
    bool isAvailable() override { return bool(data_); }
    bool isCollection() override { return false; }
    void loadAll(ChunkCallback callback, void* context) override;
    void compact() override;

private:
    String id_;
    AutoPtr<Data> data_;
    Mutex mutex_;
};

// The encoded flag of a leaf whose payload is still in its stored (compressed) form.
class ChunkEncoded {
public:
    virtual bool isEncoded() = 0;
    virtual void clearEncoded() = 0;
    virtual ~ChunkEncoded() = default;
};

class ChunkEncodedImpl : public ChunkImpl, public ChunkEncoded {
public:
    ChunkEncodedImpl(const String& id, const AutoPtr<Data>& data, bool encoded = true)
        : ChunkImpl(id, data), encoded_(encoded) {}
    bool isEncoded() override { return encoded_; }
    void clearEncoded() override { encoded_ = false; }

private:
    bool encoded_;
};

// A FORM: its identifier is the form type; its payload is the ordered children.
class ChunkCollection : public Chunk, public Nameable {
public:
    // A new collection is named "chunkN.iff" (N counts collections made in this process).
    explicit ChunkCollection(const String& id);
    static AutoPtr<ChunkCollection> create(const String& id);

    void lock() override { mutex_.lock(); }
    void unlock() override { mutex_.unlock(); }

    String getId() override { return id_; }
    // Throws 27 "Cannot get data from collection chunk!".
    AutoPtr<Data> getData() override;
    // Throws 27 "Cannot set data to collection chunk!".
    void setData(const AutoPtr<Data>& data) override;
    ChunkArray& getChildren() override { return children_; }
    int32_t find(const String& id1, const String& id2, int32_t start, bool onlyAvailable) override;
    int32_t find(const String& id, int32_t start, bool onlyAvailable) override;
    bool isRedirector() override { return false; }
    bool isAvailable() override;
    bool isCollection() override { return true; }
    void loadAll(ChunkCallback callback, void* context) override;
    void compact() override;

    String getName() override { return name_; }
    void setName(const String& name) override { name_ = name; }

    void append(const AutoPtr<Chunk>& child) { children_.append(child); }

private:
    String id_;
    ChunkArray children_;
    Mutex mutex_;
    String name_;
};

// A chunk that stands for another one: every operation goes to forwardTarget(). The
// forwarders below override what they answer themselves.
template <class Interface>
class ForwardingChunk : public Interface {
public:
    void lock() override { forwardTarget()->lock(); }
    void unlock() override { forwardTarget()->unlock(); }
    String getId() override { return forwardTarget()->getId(); }
    AutoPtr<Data> getData() override { return forwardTarget()->getData(); }
    void setData(const AutoPtr<Data>& data) override { forwardTarget()->setData(data); }
    ChunkArray& getChildren() override { return forwardTarget()->getChildren(); }
    int32_t find(const String& id1, const String& id2, int32_t start, bool onlyAvailable) override
    {
        return forwardTarget()->find(id1, id2, start, onlyAvailable);
    }
    int32_t find(const String& id, int32_t start, bool onlyAvailable) override
    {
        return forwardTarget()->find(id, start, onlyAvailable);
    }
    bool isRedirector() override { return forwardTarget()->isRedirector(); }
    bool isAvailable() override { return forwardTarget()->isAvailable(); }
    bool isCollection() override { return forwardTarget()->isCollection(); }
    void loadAll(ChunkCallback callback, void* context) override { forwardTarget()->loadAll(callback, context); }
    void compact() override { forwardTarget()->compact(); }

protected:
    // The chunk that answers; kept alive by the forwarder or the tree it lives in.
    virtual Chunk* forwardTarget() = 0;
};

// A chunk that stands for another one and forwards everything to it.
class ChunkRedirector : public Chunk {
public:
    virtual AutoPtr<Chunk> getTarget() = 0;
};

class ChunkRedirectorImpl : public ForwardingChunk<ChunkRedirector> {
public:
    // A redirector to a redirector points at the final target instead. Throws 7 on a null target.
    explicit ChunkRedirectorImpl(const AutoPtr<Chunk>& target);
    static AutoPtr<ChunkRedirector> create(const AutoPtr<Chunk>& target);

    AutoPtr<Chunk> getTarget() override { return target_; }
    bool isRedirector() override { return true; }

protected:
    Chunk* forwardTarget() override { return target_.get(); }

private:
    AutoPtr<Chunk> target_;
};

// Child number `index` of a collection, looked up again at every call, so that it follows
// replacements in the collection. Every operation throws 7 "index out of range!" while the
// collection has no such child.
class LazyLoadChunk : public ForwardingChunk<Chunk> {
public:
    LazyLoadChunk(const AutoPtr<Chunk>& collection, uint32_t index);
    static AutoPtr<Chunk> create(const AutoPtr<Chunk>& collection, uint32_t index);

    AutoPtr<Chunk> getChunk();
    bool isAvailable() override;

protected:
    Chunk* forwardTarget() override { return getChunk().get(); } // the collection holds it

private:
    AutoPtr<Chunk> collection_;
    uint32_t index_;
};

// The search of find over any child array: first index after start whose id is id1 or id2.
int32_t findChild(ChunkArray& children, const String& id1, const String* id2, int32_t start, bool onlyAvailable);

} // namespace Vantorix::DjVu
