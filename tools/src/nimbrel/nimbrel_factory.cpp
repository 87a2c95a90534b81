#include "nimbrel_factory.h"

#include <new>

#include "NimbrelV.h"
#include "nimbrel_module.h"

namespace Vantorix::Nimbrel {

HRESULT NimbrelFactory::QueryInterface(REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

ULONG NimbrelFactory::AddRef()
{
    return ULONG(InterlockedIncrement(&refCount_));
}

ULONG NimbrelFactory::Release()
{
    const LONG left = InterlockedDecrement(&refCount_);
    if (left == 0) delete this;
    return ULONG(left);
}

HRESULT NimbrelFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    auto* object = new (std::nothrow) CNimbrelV(outer);
    if (!object) return E_OUTOFMEMORY;
    // Holding a reference across the query makes a failed query destroy the object.
    IUnknown* inner = object->innerUnknown();
    inner->AddRef();
    const HRESULT result = inner->QueryInterface(iid, out);
    inner->Release();
    return result;
}

HRESULT NimbrelFactory::LockServer(BOOL lock)
{
    if (lock)
        lockModule();
    else
        unlockModule();
    return S_OK;
}

} // namespace Vantorix::Nimbrel
