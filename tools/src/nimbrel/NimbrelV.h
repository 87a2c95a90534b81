// The thumbnail provider object: the shell hands it a file's contents as a COM stream and asks
// for a bitmap of the first page. The work itself is buildThumbnail; this class adapts it to
// the shell's interfaces and turns every failure into E_FAIL.
//
// Apartment-threaded: one object is called from one thread, so its count is not interlocked.
// It can be aggregated: the interfaces' IUnknown methods then go to the outer object, and
// only the inner IUnknown (innerUnknown) owns the object.
#pragma once

#include <windows.h>
#include <propsys.h>
#include <thumbcache.h>

#include "djv_document.h"
#include "nimbrel_h.h"
#include "nimbrel_tracelog.h"

namespace Vantorix::Nimbrel {

class CNimbrelV final : public INimbrelV, public IThumbnailProvider, public IInitializeWithStream, public IProvideClassInfo {
public:
    // outer is the controlling object when aggregated, else null. Reads the trace setting.
    explicit CNimbrelV(IUnknown* outer);
    ~CNimbrelV();
    CNimbrelV(const CNimbrelV&) = delete;
    CNimbrelV& operator=(const CNimbrelV&) = delete;

    // The object's own IUnknown, with no reference added; the object dies at its last Release.
    IUnknown* innerUnknown() { return &inner_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override { return controlling_->QueryInterface(iid, out); }
    ULONG STDMETHODCALLTYPE AddRef() override { return controlling_->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return controlling_->Release(); }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

    HRESULT STDMETHODCALLTYPE GetThumbnail(UINT cx, HBITMAP* bitmap, WTS_ALPHATYPE* alphaType) override;
    HRESULT STDMETHODCALLTYPE Initialize(IStream* stream, DWORD mode) override;
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override;

private:
    // The non-delegating IUnknown: identity and lifetime of the object.
    struct Inner final : IUnknown {
        CNimbrelV& self;
        explicit Inner(CNimbrelV& owner) : self(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
        ULONG STDMETHODCALLTYPE AddRef() override { return ++self.refCount_; }
        ULONG STDMETHODCALLTYPE Release() override;
    };

    HRESULT makeThumbnail(UINT cx, HBITMAP* bitmap, WTS_ALPHATYPE* alphaType);
    // The storage's name for the trace; never throws.
    String sourceName() const;

    ULONG refCount_ = 0;
    AutoPtr<Storage> storage_;
    AutoPtr<DjVu::Document> document_;
    AutoPtr<DjVu::Page> page_;
    TraceLog trace_;
    Inner inner_;
    IUnknown* controlling_;
};

} // namespace Vantorix::Nimbrel
