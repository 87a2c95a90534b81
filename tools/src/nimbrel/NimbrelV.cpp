#include "NimbrelV.h"

#include "StreamWrapper.h"
#include "nimbrel_module.h"
#include "nimbrel_thumbnail.h"
#include "vtx_exception.h"

namespace Vantorix::Nimbrel {

using DjVu::Document;
using DjVu::PageArray;

namespace {

// A bottom-up 32-bit DIB section; bits receives its (zeroed) pixels. Null on failure.
HBITMAP createBitmap(uint32_t w, uint32_t h, uint8_t** bits)
{
    // A height past INT32_MAX would turn negative in the header and mean top-down.
    if (h > uint32_t(INT32_MAX)) return nullptr;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = LONG(w);
    info.bmiHeader.biHeight = LONG(h);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    *bits = bitmap ? static_cast<uint8_t*>(pixels) : nullptr;
    return bitmap;
}

} // namespace

CNimbrelV::CNimbrelV(IUnknown* outer) : inner_(*this), controlling_(outer ? outer : &inner_)
{
    lockModule();
}

CNimbrelV::~CNimbrelV()
{
    unlockModule();
}

HRESULT CNimbrelV::Inner::QueryInterface(REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown)
        *out = static_cast<IUnknown*>(this);
    else if (iid == IID_INimbrelV || iid == IID_IDispatch)
        *out = static_cast<INimbrelV*>(&self);
    else if (iid == IID_IThumbnailProvider)
        *out = static_cast<IThumbnailProvider*>(&self);
    else if (iid == IID_IInitializeWithStream)
        *out = static_cast<IInitializeWithStream*>(&self);
    else if (iid == IID_IProvideClassInfo)
        *out = static_cast<IProvideClassInfo*>(&self);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    static_cast<IUnknown*>(*out)->AddRef();
    return S_OK;
}

ULONG CNimbrelV::Inner::Release()
{
    const ULONG left = --self.refCount_;
    if (left == 0) delete &self;
    return left;
}

HRESULT CNimbrelV::GetTypeInfoCount(UINT* count)
{
    if (!count) return E_POINTER;
    ITypeInfo* info = nullptr;
    *count = SUCCEEDED(moduleTypeInfo(IID_INimbrelV, &info)) ? 1 : 0;
    if (info) info->Release();
    return S_OK;
}

HRESULT CNimbrelV::GetTypeInfo(UINT index, LCID, ITypeInfo** info)
{
    if (index != 0) return DISP_E_BADINDEX;
    if (!info) return E_POINTER;
    return moduleTypeInfo(IID_INimbrelV, info);
}

HRESULT CNimbrelV::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return DISP_E_UNKNOWNNAME;
}

HRESULT CNimbrelV::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    if (!params) return DISP_E_BADVARTYPE;
    if (params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    if (result) VariantInit(result);
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT CNimbrelV::GetClassInfo(ITypeInfo** info)
{
    if (!info) return E_POINTER;
    return moduleTypeInfo(CLSID_CNimbrelV, info);
}

HRESULT CNimbrelV::Initialize(IStream* stream, DWORD)
{
    if (!stream) return E_FAIL;
    try {
        storage_ = AutoPtr<Storage>(new StorageFromIStream(stream));
        document_ = nullptr;
        page_ = nullptr;
        trace_.write("FILE: %s\n", storage_->getName().getUtf8());
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT CNimbrelV::GetThumbnail(UINT cx, HBITMAP* bitmap, WTS_ALPHATYPE* alphaType)
{
    if (!bitmap || !alphaType) return E_POINTER;
    if (!storage_) return E_FAIL;
    try {
        return makeThumbnail(cx, bitmap, alphaType);
    } catch (const Exception& e) {
        trace_.write("%s : %s\n", sourceName().getUtf8(), e.what());
    } catch (...) {
        trace_.write("%s\n", sourceName().getUtf8());
    }
    return E_FAIL;
}

HRESULT CNimbrelV::makeThumbnail(UINT cx, HBITMAP* bitmap, WTS_ALPHATYPE* alphaType)
{
    if (!document_) document_ = Document::create(storage_, nullptr, nullptr, false);
    const PageArray pages = document_->getPages();
    if (pages.getSize() == 0) {
        trace_.write("No pages.\n");
        return E_FAIL;
    }
    if (!page_) page_ = pages[0];
    HBITMAP made = nullptr;
    try {
        buildThumbnail(*page_, cx, [&](uint32_t w, uint32_t h) {
            trace_.write("%u x %u -> %u x %u\n", page_->getWidth(), page_->getHeight(), w, h);
            uint8_t* bits = nullptr;
            made = createBitmap(w, h, &bits);
            return bits;
        });
    } catch (...) {
        // Only a failing render leaves a bitmap behind; it is discarded without a trace line.
        if (!made) throw;
        DeleteObject(made);
        return E_FAIL;
    }
    *alphaType = WTSAT_RGB;
    *bitmap = made;
    trace_.write("OK.\n");
    return S_OK;
}

String CNimbrelV::sourceName() const
{
    try {
        return storage_->getName();
    } catch (...) {
        return String();
    }
}

} // namespace Vantorix::Nimbrel
