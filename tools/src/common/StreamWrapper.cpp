#include "StreamWrapper.h"

#include "vtx_exception.h"

using Vantorix::AutoPtr;
using Vantorix::Storage;
using Vantorix::String;

StorageFromIStream::StorageFromIStream(IStream* stream) : stream_(stream)
{
    stream_->AddRef();
}

StorageFromIStream::~StorageFromIStream()
{
    stream_->Release();
}

uint32_t StorageFromIStream::readBytes(void* buffer, uint32_t size, bool exact)
{
    const char* function = "StorageFromIStream::readBytes";
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t total = 0, wanted = size;
    for (;;) {
        ULONG got = 0;
        if (stream_->Read(out, wanted, &got) != S_OK || got > wanted)
            VTX_THROW(Vantorix::errReadFailed, "IStream::Read failed!", function);
        wanted -= got;
        total += got;
        out += got;
        if (wanted == 0) return total;
        if (!exact) {
            eof_ = true;
            return total;
        }
        if (got == 0) {
            eof_ = true;
            VTX_THROW(Vantorix::errReadFailed, "IStream::Read failed!", function);
        }
    }
}

void StorageFromIStream::writeBytes(const void* buffer, uint32_t size)
{
    auto* in = static_cast<const uint8_t*>(buffer);
    while (size > 0) {
        ULONG put = 0;
        if (stream_->Write(in, size, &put) != S_OK || put == 0 || put > size)
            VTX_THROW(Vantorix::errWriteFailed, "IStream::Write failed!", "StorageFromIStream::writeBytes");
        in += put;
        size -= put;
    }
}

void StorageFromIStream::flushBuffer()
{
    stream_->Commit(STGC_DEFAULT);
}

uint64_t StorageFromIStream::getSize()
{
    STATSTG stat = {};
    if (stream_->Stat(&stat, STATFLAG_NONAME) != S_OK)
        VTX_THROW(Vantorix::errOperationFailed, "IStream::Stat failed!", "StorageFromIStream::getSize");
    return stat.cbSize.QuadPart;
}

uint64_t StorageFromIStream::seek(int64_t offset, DWORD origin, const char* function)
{
    LARGE_INTEGER move;
    move.QuadPart = offset;
    ULARGE_INTEGER now = {};
    if (stream_->Seek(move, origin, &now) != S_OK)
        VTX_THROW(Vantorix::errOperationFailed, "IStream::Seek failed!", function);
    return now.QuadPart;
}

uint64_t StorageFromIStream::getPos()
{
    return seek(0, STREAM_SEEK_CUR, "StorageFromIStream::getPos");
}

void StorageFromIStream::setPos(uint64_t pos)
{
    seek(int64_t(pos), STREAM_SEEK_SET, "StorageFromIStream::setPos");
}

void StorageFromIStream::setPosRelative(int64_t offset)
{
    seek(offset, STREAM_SEEK_CUR, "StorageFromIStream::setPosRelative");
}

void StorageFromIStream::setPosFromEnd(int64_t offset)
{
    seek(offset, STREAM_SEEK_END, "StorageFromIStream::setPosFromEnd");
}

void StorageFromIStream::setEof()
{
    ULARGE_INTEGER size;
    size.QuadPart = getPos();
    stream_->SetSize(size);
    eof_ = true;
}

String StorageFromIStream::getName()
{
    STATSTG stat = {};
    if (stream_->Stat(&stat, STATFLAG_DEFAULT) == S_OK && stat.pwcsName) {
        String name = String::fromUtf16(reinterpret_cast<const char16_t*>(stat.pwcsName));
        CoTaskMemFree(stat.pwcsName);
        return name;
    }
    return String::format("IStream %p", static_cast<void*>(stream_));
}

AutoPtr<Storage> StorageFromIStream::duplicate()
{
    return AutoPtr<Storage>(this);
}
