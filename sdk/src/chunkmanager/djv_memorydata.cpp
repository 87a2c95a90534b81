#include <algorithm>
#include <cstdint>
#include <cstring>

#include "djv_chunk.h"
#include "djv_payloadextent.h"
#include "vtx_exception.h"
#include "vtx_syncobjs.h"

namespace Vantorix::DjVu {
namespace {

// A read-only window over a payload that keeps the payload alive, so that a stream handed out
// by getStream stays valid even when the chunk gets another payload meanwhile.
class DataStorage final : public Storage, public _Vtx_Internal_NS_::PayloadExtent {
public:
    explicit DataStorage(const AutoPtr<Data>& data) : data_(data) {}

    void lock() override { mutex_.lock(); }
    void unlock() override { mutex_.unlock(); }

    uint32_t readBytes(void* buffer, uint32_t size, bool exact) override
    {
        uint64_t n = data_->getLength();
        if (pos_ >= n || pos_ + size > n) {
            if (exact) VTX_THROW(errOperationFailed, "No more data!", "Vantorix::DjVu::DataStorage::readBytes");
            if (pos_ >= n) return 0;
            size = uint32_t(n - pos_);
        }
        if (buffer && size) std::memcpy(buffer, data_->getBytes() + pos_, size);
        pos_ += size;
        return size;
    }
    void writeBytes(const void*, uint32_t) override
    {
        VTX_THROW(errWriteFailed, "The instance is read-only!", "Vantorix::DjVu::DataStorage::writeBytes");
    }
    void flushBuffer() override {}
    bool isEof() override { return pos_ >= data_->getLength(); }
    uint64_t getSize() override { return data_->getLength(); }
    uint64_t getPresentSize() override { return data_->getPresentLength(); }
    uint64_t getPos() override { return pos_; }
    void reserve(uint64_t) override {}
    void setPos(uint64_t pos) override { pos_ = pos; }
    void setPosRelative(int64_t offset) override
    {
        pos_ = moved(int64_t(pos_) + offset, "Vantorix::DjVu::DataStorage::setPosRelative");
    }
    void setPosFromEnd(int64_t offset) override
    {
        pos_ = moved(int64_t(data_->getLength()) + offset, "Vantorix::DjVu::DataStorage::setPosFromEnd");
    }
    void setEof() override { VTX_THROW(errOperationFailed, "The instance is read-only!", "Vantorix::DjVu::DataStorage::setEof"); }
    String getName() override { return String::format("ChunkData %Xh", unsigned(uintptr_t(data_.get()))); }
    AutoPtr<Storage> duplicate() override
    {
        AutoPtr<DataStorage> copy = makeAuto<DataStorage>(data_);
        copy->pos_ = pos_;
        return copy;
    }

private:
    static uint64_t moved(int64_t to, const char* function)
    {
        if (to < 0) VTX_THROW(errInvalidParam, "errInvalidParam", function);
        return uint64_t(to);
    }

    AutoPtr<Data> data_;
    uint64_t pos_ = 0;
    Mutex mutex_;
};

class MemoryDataImpl final : public MemoryData {
public:
    // New payloads are zero-filled: a chunk cut short by the end of its file reads as zeros.
    explicit MemoryDataImpl(uint32_t length) : bytes_(length, length)
    {
        if (length) std::memset(bytes_.data(), 0, length);
    }

    void lock() override { mutex_.lock(); }
    void unlock() override { mutex_.unlock(); }

    const uint8_t* getBytes() override { return bytes_.data(); }
    uint32_t getLength() override { return bytes_.getSize(); }
    uint32_t getPresentLength() override { return std::min(present_, bytes_.getSize()); }
    void setPresentLength(uint32_t present) override { present_ = present; }
    AutoPtr<Storage> getStream(bool readable) override
    {
        if (!readable) return nullptr;
        return makeAuto<DataStorage>(AutoPtr<Data>(this));
    }
    void load() override {}
    AutoPtr<Data> clone() override
    {
        AutoPtr<MemoryDataImpl> copy = makeAuto<MemoryDataImpl>(0);
        copy->bytes_ = bytes_;
        copy->present_ = present_;
        return copy;
    }
    void compact() override { bytes_.compact(); }
    ByteArray& getArray() override { return bytes_; }

private:
    ByteArray bytes_;
    uint32_t present_ = UINT32_MAX;
    Mutex mutex_;
};

} // namespace

AutoPtr<MemoryData> MemoryData::create(uint32_t length) { return makeAuto<MemoryDataImpl>(length); }

} // namespace Vantorix::DjVu
