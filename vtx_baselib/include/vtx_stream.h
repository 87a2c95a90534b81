// Byte sources and sinks. Stream is sequential; Storage adds a size and a movable position.
// Implementations never lock on their own: a user sharing one between threads brackets its
// calls with lock()/unlock() (each implementation owns a recursive Mutex for that).
//
// readBytes(buf, n, exact=false) returns what is available (0 at the end); with exact=true it
// delivers exactly n bytes or throws (code 16 or 26). Failures are always Exceptions.
#pragma once

#include <cstdint>

#include "vtx_memory.h"
#include "vtx_string.h"

namespace Vantorix {

// Progress of a copy: (context, bytes copied so far, total expected or 0 when unknown).
using CopyProgressCallback = void (*)(void* context, uint32_t copied, uint32_t total);

class Stream : public Referable, public Lockable {
public:
    ~Stream() override = default;
    virtual uint32_t readBytes(void* buffer, uint32_t size, bool exact) = 0;
    virtual void writeBytes(const void* buffer, uint32_t size) = 0;
    virtual void flushBuffer() = 0;
    virtual bool isEof() = 0;
    // Copies from source until it reports isEof; returns the bytes copied.
    virtual uint32_t copyAllFrom(Stream& source, uint32_t chunkSize, CopyProgressCallback callback, void* context);
    // Copies count bytes (0: everything) from source.
    virtual uint32_t copyFrom(Stream& source, uint32_t count, uint32_t chunkSize, CopyProgressCallback callback,
                              void* context);
};

class Storage : public Stream {
public:
    virtual uint64_t getSize() = 0;
    virtual uint64_t getPos() = 0;
    virtual void reserve(uint64_t size) = 0;
    virtual void setPos(uint64_t pos) = 0;
    virtual void setPosRelative(int64_t offset) = 0;
    virtual void setPosFromEnd(int64_t offset) = 0;
    virtual void setEof() = 0;
    virtual String getName() = 0;
    // A new storage over the same bytes, positioned where this one is.
    virtual AutoPtr<Storage> duplicate() = 0;
};

// In-memory storage over a byte array (its own, or one supplied by the creator).
class MemoryStorage : public Storage {
public:
    virtual ByteArray& getArray() = 0;
    virtual void setAllocationUnit(uint32_t unit) = 0;
    virtual void setReadOnly(bool readOnly) = 0;

    static AutoPtr<MemoryStorage> create();
    // Reads and writes the creator's array in place; the creator keeps it alive.
    static AutoPtr<MemoryStorage> create(ByteArray& external);
    // Copies the bytes into the storage's own array.
    static AutoPtr<MemoryStorage> create(const void* data, uint32_t size);
};

// A window [offset, offset + size) onto another storage. Its position is the base's position.
class PartialStorage : public Storage {
public:
    // Throws 7 "The input storage is not so large!" when the window ends beyond the base.
    static AutoPtr<PartialStorage> create(const AutoPtr<Storage>& base, uint64_t offset, uint64_t size,
                                          bool readOnly = true);
};

// Turns a name (file name or URL) into a storage.
class ResourceBroker : public Referable {
public:
    virtual AutoPtr<Storage> load(const String& name) = 0;
};

// A storage resolved through a broker on first use (indirect document components).
AutoPtr<Storage> createLateBindingStorage(const String& name, const AutoPtr<ResourceBroker>& broker);

// Opens a storage by name: late-bound (resolved on first use) or at once through broker.
// A null broker means the default one (see setDefaultResourceBrokerFactory).
AutoPtr<Storage> openStorage(const String& name, bool lateBinding, const AutoPtr<ResourceBroker>& broker);

// The default broker is provided by the DjVu layer; the base library only knows the hook.
using ResourceBrokerFactory = AutoPtr<ResourceBroker> (*)();
void setDefaultResourceBrokerFactory(ResourceBrokerFactory factory);
AutoPtr<ResourceBroker> getDefaultResourceBroker();

// A file on disk.
class DiskStorage : public Storage {
public:
    enum Access : uint32_t { accRead = 1, accWrite = 2, accReadWrite = 3 };
    enum Creation : uint32_t {
        crDefault = 0,
        crOpenExisting = 1,
        crOpenAlways = 2,
        crCreateNew = 3,
        crCreateAlways = 4,
        crTruncateExisting = 5,
    };
    // Read access shares the file for reading; write access does not share it (Windows). The
    // default creation opens an existing file for reading and creates or replaces it for writing.
    // Failing system calls throw with the system's last-error value (errno on POSIX) as code and
    // "DiskStorageImpl::<operation>: <system text>" as message; bad modes throw 7.
    static AutoPtr<DiskStorage> create(const String& path, uint32_t access = accRead, uint32_t creation = crDefault);
    // A fresh temporary file for reading and writing, deleted when the storage goes away.
    // Throws 26 "errOperationFailed" when it cannot be made.
    static AutoPtr<DiskStorage> createTemp();

    // Locks [offset, offset + length) of the file, shared or exclusive, against other handles.
    // With wait false a held conflicting lock fails at once. Throws "LockFileEx failed!" or
    // "UnlockFileEx failed!" with the system's error value as code; a length of 0 throws 7.
    virtual void lockRange(uint64_t offset, uint64_t length, bool exclusive, bool wait = true) = 0;
    virtual void unlockRange(uint64_t offset, uint64_t length) = 0;
};

// zlib filter streams. zlib failures throw 26 "zlib(<code>): <zlib's text>\n"; the direction a
// stream does not have (reading a deflater, writing or flushing an inflater) throws 28.
//
// Deflation compresses what is written into its output. flushBuffer pushes everything written
// so far on to the output (a reader can inflate it) and flushes the output; the compressed
// stream goes on. It ends when the object goes away (errors there cannot be reported).
class DeflateStream : public Stream {
public:
    static AutoPtr<DeflateStream> create(const AutoPtr<Stream>& output);
    // "zlib deflate stream (<address>h)", for messages.
    virtual String getName() const = 0;
};

// Inflation reads compressed bytes from its input 1024 at a time. It ends with the compressed
// stream (bytes after it stay unread data of the input) or when the input runs dry; an exact
// read that cannot be filled throws 13 "errEOF".
class InflateStream : public Stream {
public:
    static AutoPtr<InflateStream> create(const AutoPtr<Stream>& input);
    // "zlib inflate stream (<address>h)", for messages.
    virtual String getName() const = 0;
};

} // namespace Vantorix
