#include "vtx_exception.h"
#include "vtx_stream.h"
#include "vtx_syncobjs.h"

namespace _Vtx_Internal_NS_ {

using namespace Vantorix;

// A storage opened through its broker on first use. Resolution happens once, under the mutex,
// so two threads that touch it first at the same time load it once; a failed load leaves it
// unresolved and the next operation tries again.
class LateBindingStorage final : public Storage {
public:
    LateBindingStorage(const String& name, const AutoPtr<ResourceBroker>& broker) : name_(name), broker_(broker) {}

    uint32_t readBytes(void* buffer, uint32_t size, bool exact) override
    {
        return target()->readBytes(buffer, size, exact);
    }
    void writeBytes(const void*, uint32_t) override
    {
        VTX_THROW(errNotImplemented, "writeBytes is not supported.", "_Vtx_Internal_NS_::LateBindingStorage::writeBytes");
    }
    void flushBuffer() override {}
    bool isEof() override { return target()->isEof(); }
    uint64_t getSize() override { return target()->getSize(); }

    uint64_t getPos() override
    {
        AutoPtr<Storage> t = resolved();
        return t ? t->getPos() : 0;
    }

    void reserve(uint64_t) override {}
    void setPos(uint64_t pos) override { target()->setPos(pos); }
    void setPosRelative(int64_t offset) override { target()->setPosRelative(offset); }
    void setPosFromEnd(int64_t offset) override { target()->setPosFromEnd(offset); }
    void setEof() override
    {
        VTX_THROW(errNotImplemented, "setEof is not supported.", "_Vtx_Internal_NS_::LateBindingStorage::setEof");
    }
    String getName() override { return name_; }

    AutoPtr<Storage> duplicate() override
    {
        AutoLock hold(mutex_);
        if (target_) return target_->duplicate();
        return AutoPtr<Storage>(new LateBindingStorage(name_, broker_));
    }

    void lock() override { mutex_.lock(); }
    void unlock() override { mutex_.unlock(); }

private:
    AutoPtr<Storage> resolved()
    {
        AutoLock hold(mutex_);
        return target_;
    }

    AutoPtr<Storage> target()
    {
        AutoLock hold(mutex_);
        if (!target_) {
            if (!broker_) VTX_THROW(errOperationFailed, "errOperationFailed", "_Vtx_Internal_NS_::LateBindingStorage::resolve");
            AutoPtr<Storage> loaded = broker_->load(name_);
            if (!loaded) VTX_THROW(errOperationFailed, "errOperationFailed", "_Vtx_Internal_NS_::LateBindingStorage::resolve");
            target_ = loaded;
            broker_ = nullptr; // the broker may own much more than this one component
        }
        return target_;
    }

    String name_;
    AutoPtr<ResourceBroker> broker_;
    AutoPtr<Storage> target_;
    Mutex mutex_;
};

} // namespace _Vtx_Internal_NS_

namespace Vantorix {

AutoPtr<Storage> createLateBindingStorage(const String& name, const AutoPtr<ResourceBroker>& broker)
{
    if (!broker) VTX_THROW(errInvalidParam, "errInvalidParam", "Vantorix::createLateBindingStorage");
    return AutoPtr<Storage>(new _Vtx_Internal_NS_::LateBindingStorage(name, broker));
}

AutoPtr<Storage> openStorage(const String& name, bool lateBinding, const AutoPtr<ResourceBroker>& broker)
{
    AutoPtr<ResourceBroker> use = broker ? broker : getDefaultResourceBroker();
    if (lateBinding) return createLateBindingStorage(name, use);
    AutoPtr<Storage> storage = use->load(name);
    if (!storage) VTX_THROW(errOperationFailed, "errOperationFailed", "Vantorix::openStorage");
    return storage;
}

} // namespace Vantorix
