#include <cstring>

#include "vtx_exception.h"
#include "vtx_stream.h"
#include "vtx_syncobjs.h"

namespace Vantorix {

class MemoryStorageImpl final : public MemoryStorage {
public:
    static constexpr uint32_t kGrowthUnit = 0x80000; // 512 KiB

    MemoryStorageImpl() : array_(&own_) { array_->setGrowthUnit(kGrowthUnit); }
    explicit MemoryStorageImpl(ByteArray& external) : array_(&external) { array_->setGrowthUnit(kGrowthUnit); }
    // A duplicate shares the bytes and keeps the storage that owns them alive.
    explicit MemoryStorageImpl(MemoryStorageImpl* original) : array_(original->array_), pos_(original->pos_)
    {
        if (original->owner_)
            owner_ = original->owner_;
        else if (original->array_ == &original->own_)
            owner_ = original;
    }

    uint32_t readBytes(void* buffer, uint32_t size, bool exact) override
    {
        uint32_t n = array_->getSize();
        if (pos_ >= n) {
            if (exact)
                VTX_THROW(errOperationFailed, "Current position exceeds the storage end!", "Vantorix::MemoryStorageImpl::readBytes");
            return 0;
        }
        if (uint64_t(pos_) + size > n) {
            if (exact) VTX_THROW(errOperationFailed, "No more data!", "Vantorix::MemoryStorageImpl::readBytes");
            size = n - pos_;
        }
        if (buffer) std::memcpy(buffer, array_->data() + pos_, size);
        pos_ += size;
        return size;
    }

    void writeBytes(const void* buffer, uint32_t size) override
    {
        if (readOnly_) VTX_THROW(errWriteFailed, "The instance is read-only!", "Vantorix::MemoryStorageImpl::writeBytes");
        if (size == 0) return;
        uint64_t end = uint64_t(pos_) + size;
        if (end > 0xFFFFFFFFu) VTX_THROW(errWriteFailed, "Cannot write because of the storage size!", "Vantorix::MemoryStorageImpl::writeBytes");
        if (end > array_->getSize()) array_->resize(uint32_t(end));
        std::memcpy(array_->data() + pos_, buffer, size);
        pos_ = uint32_t(end);
    }

    void flushBuffer() override {}
    bool isEof() override { return pos_ >= array_->getSize(); }
    uint64_t getSize() override { return array_->getSize(); }
    uint64_t getPos() override { return pos_; }

    void reserve(uint64_t size) override
    {
        if (readOnly_) VTX_THROW(errOperationFailed, "The instance is read-only!", "Vantorix::MemoryStorageImpl::reserve");
        if (size >= array_->getCapacity()) {
            if (size > 0xFFFFFFFFu) VTX_THROW(errInvalidParam, "errInvalidParam", "Vantorix::MemoryStorageImpl::reserve");
            array_->reserve(uint32_t(size));
        }
    }

    void setPos(uint64_t pos) override
    {
        if (pos >= (uint64_t(1) << 32)) VTX_THROW(errInvalidParam, "errInvalidParam", "Vantorix::MemoryStorageImpl::setPos");
        pos_ = uint32_t(pos);
    }

    void setPosRelative(int64_t offset) override
    {
        pos_ = moved(int64_t(uint64_t(pos_) + uint64_t(offset)), "Vantorix::MemoryStorageImpl::setPosRelative");
    }

    void setPosFromEnd(int64_t offset) override
    {
        pos_ = moved(int64_t(uint64_t(array_->getSize()) + uint64_t(offset)), "Vantorix::MemoryStorageImpl::setPosFromEnd");
    }

    void setEof() override
    {
        if (readOnly_) VTX_THROW(errOperationFailed, "The instance is read-only!", "Vantorix::MemoryStorageImpl::setEof");
        array_->resize(pos_);
    }

    String getName() override
    {
        return String::format("MemoryStorage %llXh", (unsigned long long)reinterpret_cast<uintptr_t>(this));
    }

    AutoPtr<Storage> duplicate() override { return AutoPtr<Storage>(new MemoryStorageImpl(this)); }

    ByteArray& getArray() override
    {
        if (readOnly_) VTX_THROW(errOperationFailed, "The instance is read-only!", "Vantorix::MemoryStorageImpl::getArray");
        return *array_;
    }

    void setAllocationUnit(uint32_t unit) override
    {
        if (readOnly_) VTX_THROW(errOperationFailed, "The instance is read-only!", "Vantorix::MemoryStorageImpl::setAllocationUnit");
        array_->setGrowthUnit(unit);
    }

    void setReadOnly(bool readOnly) override { readOnly_ = readOnly; }
    void lock() override { mutex_.lock(); }
    void unlock() override { mutex_.unlock(); }

private:
    // Positions live in 32 bits: 2^32 or more is refused, anything else (negative included)
    // keeps its low 32 bits.
    static uint32_t moved(int64_t target, const char* function)
    {
        if (target >= int64_t(1) << 32) VTX_THROW(errInvalidParam, "errInvalidParam", function);
        return uint32_t(uint64_t(target));
    }

    ByteArray own_;
    AutoPtr<MemoryStorageImpl> owner_;
    ByteArray* array_;
    uint32_t pos_ = 0;
    bool readOnly_ = false;
    Mutex mutex_;
};

AutoPtr<MemoryStorage> MemoryStorage::create() { return AutoPtr<MemoryStorage>(new MemoryStorageImpl()); }

AutoPtr<MemoryStorage> MemoryStorage::create(ByteArray& external)
{
    return AutoPtr<MemoryStorage>(new MemoryStorageImpl(external));
}

AutoPtr<MemoryStorage> MemoryStorage::create(const void* data, uint32_t size)
{
    AutoPtr<MemoryStorage> s(new MemoryStorageImpl());
    s->reserve(size);
    s->writeBytes(data, size);
    s->setPos(0);
    return s;
}

} // namespace Vantorix
