// The class factory of CNimbrelV. The module makes one on first request and keeps it.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace Vantorix::Nimbrel {

class NimbrelFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // An outer object may only ask for IUnknown (CLASS_E_NOAGGREGATION otherwise).
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    LONG refCount_ = 1; // the module's own reference
};

} // namespace Vantorix::Nimbrel
