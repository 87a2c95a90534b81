// The shell's COM stream seen as a Storage, so that the document reader parses the file's
// contents without knowing where they come from. Every failing IStream call becomes an
// Exception; nothing here retries.
#pragma once

#include <objidl.h>

#include "vtx_stream.h"
#include "vtx_syncobjs.h"

class StorageFromIStream : public Vantorix::Storage {
public:
    // Holds one COM reference to stream for the adapter's whole life. Make it with new and
    // hand it out at once in an AutoPtr.
    explicit StorageFromIStream(IStream* stream);
    ~StorageFromIStream() override;
    StorageFromIStream(const StorageFromIStream&) = delete;
    StorageFromIStream& operator=(const StorageFromIStream&) = delete;

    void lock() override { mutex_.lock(); }
    void unlock() override { mutex_.unlock(); }

    // Throws 16 "IStream::Read failed!" for any Read result but S_OK (S_FALSE too), and when an
    // exact read gets 0 bytes before it is complete. A short read sets the end flag for good.
    uint32_t readBytes(void* buffer, uint32_t size, bool exact) override;
    // Throws 17 "IStream::Write failed!" for any result but S_OK, and for a Write that
    // reports success while taking nothing (it would never finish).
    void writeBytes(const void* buffer, uint32_t size) override;
    void flushBuffer() override;
    bool isEof() override { return eof_; }

    // Each throws 26: "IStream::Stat failed!" (getSize) or "IStream::Seek failed!".
    uint64_t getSize() override;
    uint64_t getPos() override;
    void reserve(uint64_t) override {}
    void setPos(uint64_t pos) override;
    void setPosRelative(int64_t offset) override;
    void setPosFromEnd(int64_t offset) override;
    void setEof() override;
    // The stream's own name, or "IStream <address>" when it has none.
    Vantorix::String getName() override;
    // The adapter itself: a copy would share the stream's one position anyway.
    Vantorix::AutoPtr<Vantorix::Storage> duplicate() override;

private:
    uint64_t seek(int64_t offset, DWORD origin, const char* function);

    IStream* stream_;
    Vantorix::Mutex mutex_;
    bool eof_ = false;
};
