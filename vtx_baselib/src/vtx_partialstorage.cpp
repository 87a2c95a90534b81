#include "vtx_exception.h"
#include "vtx_stream.h"
#include "vtx_syncobjs.h"

namespace Vantorix {

// A window [start, end) onto a base storage. The window has no position of its own: it reads
// and moves the base's, so the checks below always look at where the base really is.
class PartialStorageImpl final : public PartialStorage {
public:
    PartialStorageImpl(const AutoPtr<Storage>& base, uint64_t start, uint64_t end, bool readOnly)
        : base_(base), start_(start), end_(end), readOnly_(readOnly)
    {
        if (!base_ || end_ < start_ || base_->getSize() < end_)
            VTX_THROW(errInvalidParam, "The input storage is not so large!", "Vantorix::PartialStorageImpl::PartialStorageImpl");
        base_->setPos(start_);
    }

    uint32_t readBytes(void* buffer, uint32_t size, bool exact) override
    {
        uint64_t cur = base_->getPos();
        bool tooFar = cur > end_ || size > end_ - cur;
        if (exact) {
            if (tooFar)
                VTX_THROW(errReadFailed, "Cannot read because of the storage size!", "Vantorix::PartialStorageImpl::readBytes");
        } else if (tooFar) {
            if (cur > end_) VTX_THROW(errReadFailed, "Cannot read beyond EOF!", "Vantorix::PartialStorageImpl::readBytes");
            size = uint32_t(end_ - cur);
        }
        return base_->readBytes(buffer, size, exact);
    }

    void writeBytes(const void* buffer, uint32_t size) override
    {
        if (readOnly_) VTX_THROW(errWriteFailed, "The storage is read-only!", "Vantorix::PartialStorageImpl::writeBytes");
        uint64_t cur = base_->getPos();
        if (cur > end_ || size > end_ - cur)
            VTX_THROW(errWriteFailed, "Cannot write because of the storage size!", "Vantorix::PartialStorageImpl::writeBytes");
        base_->writeBytes(buffer, size);
    }

    void flushBuffer() override {}
    bool isEof() override { return base_->getPos() >= end_; }

    uint64_t getSize() override
    {
        uint64_t baseSize = base_->getSize();
        uint64_t available = baseSize > start_ ? baseSize - start_ : 0; // the base may have shrunk since
        return available < end_ - start_ ? available : end_ - start_;
    }

    uint64_t getPos() override { return base_->getPos() - start_; }
    void reserve(uint64_t) override {}
    void setPos(uint64_t pos) override { base_->setPos(start_ + pos); }
    void setPosRelative(int64_t offset) override { base_->setPosRelative(offset); }
    void setPosFromEnd(int64_t offset) override { base_->setPos(end_ + uint64_t(offset)); }
    void setEof() override { VTX_THROW(errNotImplemented, "setEof is not supported.", "Vantorix::PartialStorageImpl::setEof"); }
    String getName() override { return base_->getName(); }

    AutoPtr<Storage> duplicate() override
    {
        uint64_t pos = base_->getPos();
        AutoPtr<Storage> copy(new PartialStorageImpl(base_->duplicate(), start_, end_, readOnly_));
        copy->setPos(pos - start_);
        return copy;
    }

    void lock() override { mutex_.lock(); }
    void unlock() override { mutex_.unlock(); }

private:
    AutoPtr<Storage> base_;
    uint64_t start_;
    uint64_t end_;
    bool readOnly_;
    Mutex mutex_;
};

AutoPtr<PartialStorage> PartialStorage::create(const AutoPtr<Storage>& base, uint64_t offset, uint64_t size,
                                               bool readOnly)
{
    uint64_t end = offset + size;
    if (end < offset) // a window that wraps around cannot lie inside any storage
        VTX_THROW(errInvalidParam, "The input storage is not so large!", "Vantorix::PartialStorageImpl::PartialStorageImpl");
    return AutoPtr<PartialStorage>(new PartialStorageImpl(base, offset, end, readOnly));
}

} // namespace Vantorix
