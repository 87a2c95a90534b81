// The IFF chunk tree of a DjVu file. A FORM becomes a collection whose identifier is its form
// type ("DJVU", "DJVM", "DJVI", "THUM"); every other chunk is a leaf holding one Data payload.
// Chunks are Lockable; the operations themselves take no lock.
#pragma once

#include <cstdint>

#include "vtx_memory.h"
#include "vtx_stream.h"
#include "vtx_string.h"

namespace Vantorix::DjVu {

class Chunk;
using ChunkArray = SimpleArray<AutoPtr<Chunk>, 1>;
// Called for every chunk by loadAll (children before their parent) and by the deserializer.
using ChunkCallback = void (*)(void* context, Chunk* chunk);

// Payload holder of a leaf chunk. The bytes belong to the Data and stay valid while the caller
// holds a reference and the payload is not changed.
class Data : public Referable, public Lockable {
public:
    virtual const uint8_t* getBytes() = 0;
    virtual uint32_t getLength() = 0;
    // How many of the payload's bytes its file held: a chunk cut short by the end of its file
    // keeps its declared length and reads as zeros past them. Decoders earn their work
    // allowances with these bytes only.
    virtual uint32_t getPresentLength() { return getLength(); }
    // A readable storage over the payload when readable is true; null otherwise.
    virtual AutoPtr<Storage> getStream(bool readable) = 0;
    // Hook that loadAll calls; nothing to do for payloads already in memory.
    virtual void load() = 0;
    virtual AutoPtr<Data> clone() = 0;
    virtual void compact() = 0;
};

// Payload kept in memory as a growable byte array.
class MemoryData : public Data {
public:
    virtual ByteArray& getArray() = 0;
    // Marks the bytes from present on as missing from the file (see getPresentLength).
    virtual void setPresentLength(uint32_t present) = 0;
    static AutoPtr<MemoryData> create(uint32_t length = 0);
};

// One node of the tree: a leaf with a payload or a collection (FORM) with children. A chunk
// holds references to its children and payload; every AutoPtr returned is a further reference.
class Chunk : public Referable, public Lockable {
public:
    virtual String getId() = 0;
    // Leaves only; a collection throws 27 "Cannot get data from collection chunk!".
    virtual AutoPtr<Data> getData() = 0;
    // Leaves only; a collection throws 27 "Cannot set data to collection chunk!".
    virtual void setData(const AutoPtr<Data>& data) = 0;
    // Collections only; a leaf throws 26 "Not a collection chunk!".
    virtual ChunkArray& getChildren() = 0;
    // Index of the first child after start (-1: from the first) whose id equals id1 or id2,
    // or -1. With onlyAvailable, children whose payload is absent are skipped.
    virtual int32_t find(const String& id1, const String& id2, int32_t start, bool onlyAvailable) = 0;
    virtual int32_t find(const String& id, int32_t start, bool onlyAvailable) = 0;
    virtual bool isRedirector() = 0;
    virtual bool isAvailable() = 0;
    virtual bool isCollection() = 0;
    // Makes every payload below present and calls callback(context, chunk) for each chunk,
    // children before their parent. The callback may be null.
    virtual void loadAll(ChunkCallback callback, void* context) = 0;
    virtual void compact() = 0;
};

// Mix-in of collections: the file name of a component when written as separate files.
class Nameable {
public:
    virtual ~Nameable() = default;
    virtual String getName() = 0;
    virtual void setName(const String& name) = 0;
};

} // namespace Vantorix::DjVu
