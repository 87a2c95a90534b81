#include <zlib.h>

#include <cstring>

#include "vtx_exception.h"
#include "vtx_stream.h"
#include "vtx_syncobjs.h"

namespace Vantorix {
namespace {

// The oldest zlib whose stream layout we accept; zlib itself only compares the major version.
constexpr const char* kZlibVersion = "1.2.3";
constexpr uint32_t kBufferSize = 1024;

voidpf zAlloc(voidpf, uInt items, uInt size)
{
    if (size != 0 && items > ~size_t(0) / size) return Z_NULL;
    return MemoryAllocator::getDefault()->allocate(size_t(items) * size);
}

void zFree(voidpf, voidpf p) { MemoryAllocator::getDefault()->free(p); }

void initState(z_stream& z)
{
    std::memset(&z, 0, sizeof z);
    z.zalloc = zAlloc;
    z.zfree = zFree;
}

[[noreturn]] void throwZlib(int rc, const z_stream& z, const char* function)
{
    VTX_THROW(errOperationFailed, String::format("zlib(%d): %s\n", rc, z.msg ? z.msg : "error"), function);
}

} // namespace

class DeflateStreamImpl final : public DeflateStream {
public:
    explicit DeflateStreamImpl(const AutoPtr<Stream>& output) : output_(output)
    {
        if (!output_) VTX_THROW(errInvalidParam, "errInvalidParam", "Vantorix::DeflateStreamImpl::DeflateStreamImpl");
        initState(z_);
        int rc = deflateInit_(&z_, Z_DEFAULT_COMPRESSION, kZlibVersion, int(sizeof(z_stream)));
        if (rc != Z_OK) throwZlib(rc, z_, "Vantorix::DeflateStreamImpl::DeflateStreamImpl");
    }

    ~DeflateStreamImpl() override
    {
        // Closing is the only place where the stream ends.
        if (started_) {
            try {
                drain(Z_FINISH);
            } catch (const Exception&) {
                // a destructor cannot report; callers that care call flushBuffer first
            }
        }
        deflateEnd(&z_);
    }

    uint32_t readBytes(void*, uint32_t, bool) override
    {
        VTX_THROW(errNotImplemented, "errNotImplemented", "Vantorix::DeflateStreamImpl::readBytes");
    }

    void writeBytes(const void* buffer, uint32_t size) override
    {
        if (size == 0) return;
        z_.next_in = static_cast<Bytef*>(const_cast<void*>(buffer));
        z_.avail_in = size;
        started_ = true;
        while (z_.avail_in > 0) pump(Z_NO_FLUSH, "Vantorix::DeflateStreamImpl::writeBytes");
    }

    void flushBuffer() override
    {
        // A sync flush ends the output on a byte boundary, so a reader gets everything written
        // so far, and the stream goes on.
        if (started_) drain(Z_SYNC_FLUSH);
        output_->flushBuffer();
    }

    bool isEof() override { return true; }
    String getName() const override { return String::format("zlib deflate stream (%llxh)", address()); }
    void lock() override { mutex_.lock(); }
    void unlock() override { mutex_.unlock(); }

private:
    unsigned long long address() const { return (unsigned long long)reinterpret_cast<uintptr_t>(this); }

    // One deflate call into the out buffer, whose contents go to the output. Returns zlib's code.
    int pump(int flush, const char* function)
    {
        z_.next_out = out_;
        z_.avail_out = kBufferSize;
        int rc = deflate(&z_, flush);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) throwZlib(rc, z_, function);
        uint32_t produced = kBufferSize - z_.avail_out;
        if (produced) output_->writeBytes(out_, produced);
        return rc;
    }

    // Runs deflate with flush (sync or finish) until it has no more output for it.
    void drain(int flush)
    {
        z_.next_in = nullptr;
        z_.avail_in = 0;
        int rc;
        do {
            rc = pump(flush, "Vantorix::DeflateStreamImpl::flushBuffer");
        } while (z_.avail_out == 0 && rc != Z_STREAM_END);
    }

    AutoPtr<Stream> output_;
    z_stream z_;
    Bytef out_[kBufferSize];
    bool started_ = false;
    Mutex mutex_;
};

// Decompresses a zlib stream read from the input, 1024 bytes at a time.
class InflateStreamImpl final : public InflateStream {
public:
    explicit InflateStreamImpl(const AutoPtr<Stream>& input) : input_(input)
    {
        if (!input_) VTX_THROW(errInvalidParam, "errInvalidParam", "Vantorix::InflateStreamImpl::InflateStreamImpl");
        initState(z_);
        int rc = inflateInit_(&z_, kZlibVersion, int(sizeof(z_stream)));
        if (rc != Z_OK) throwZlib(rc, z_, "Vantorix::InflateStreamImpl::InflateStreamImpl");
    }

    ~InflateStreamImpl() override { inflateEnd(&z_); }

    uint32_t readBytes(void* buffer, uint32_t size, bool exact) override
    {
        uint32_t produced = 0;
        while (produced < size && !ended_) {
            bool dry = false;
            if (z_.avail_in == 0) {
                uint32_t n = input_->readBytes(in_, kBufferSize, false);
                z_.next_in = in_;
                z_.avail_in = n;
                dry = n == 0;
            }
            z_.next_out = static_cast<Bytef*>(buffer) + produced;
            z_.avail_out = size - produced;
            int rc = inflate(&z_, Z_NO_FLUSH);
            produced = size - z_.avail_out;
            if (rc == Z_STREAM_END) {
                ended_ = true;
            } else if (rc == Z_BUF_ERROR) {
                // No progress was possible: with the input dry the compressed data is cut short.
                if (dry) ended_ = true;
            } else if (rc != Z_OK) {
                throwZlib(rc, z_, "Vantorix::InflateStreamImpl::readBytes");
            }
        }
        if (produced < size && exact) VTX_THROW(errEOF, "errEOF", "Vantorix::InflateStreamImpl::readBytes");
        return produced;
    }

    void writeBytes(const void*, uint32_t) override
    {
        VTX_THROW(errNotImplemented, "errNotImplemented", "Vantorix::InflateStreamImpl::writeBytes");
    }
    void flushBuffer() override { VTX_THROW(errNotImplemented, "errNotImplemented", "Vantorix::InflateStreamImpl::flushBuffer"); }
    bool isEof() override { return ended_; }
    String getName() const override { return String::format("zlib inflate stream (%llxh)", address()); }
    void lock() override { mutex_.lock(); }
    void unlock() override { mutex_.unlock(); }

private:
    unsigned long long address() const { return (unsigned long long)reinterpret_cast<uintptr_t>(this); }

    AutoPtr<Stream> input_;
    z_stream z_;
    Bytef in_[kBufferSize];
    bool ended_ = false;
    Mutex mutex_;
};

AutoPtr<DeflateStream> DeflateStream::create(const AutoPtr<Stream>& output)
{
    return AutoPtr<DeflateStream>(new DeflateStreamImpl(output));
}

AutoPtr<InflateStream> InflateStream::create(const AutoPtr<Stream>& input)
{
    return AutoPtr<InflateStream>(new InflateStreamImpl(input));
}

} // namespace Vantorix
