// The object's COM contract: its six interfaces, the IDispatch codes, class information,
// aggregation, the module's lock count, and the trace and diagnostic files.
#include <gtest/gtest.h>

#include <propsys.h>

#include <cstdlib>

#include "StreamWrapper.h"
#include "com_testutil.h"
#include "djv_document.h"
#include "nimbrel_h.h"
#include "vtx_exception.h"

using namespace Vantorix;

namespace {

const std::string kFixtures = VTX_FIXTURE_DIR "/";

template <class F> F exported(const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"nimbrel.dll"), name)));
}

// The whole file, or "<no file>".
std::string fileText(const std::wstring& path)
{
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return "<no file>";
    std::string s;
    for (int c; (c = fgetc(f)) != EOF;) s += char(c);
    fclose(f);
    return s;
}

std::wstring tempPath(const wchar_t* name)
{
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + name;
}

void create(ComPtr<IUnknown>& object)
{
    ASSERT_EQ(CoCreateInstance(CLSID_CNimbrelV, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.outVoid()), S_OK);
}

TEST(Interfaces, QueryInterfaceAnswersExactlySix)
{
    ComPtr<IUnknown> object;
    create(object);
    const IID answered[] = {IID_IUnknown, IID_INimbrelV, IID_IDispatch, IID_IThumbnailProvider, IID_IInitializeWithStream,
                            IID_IProvideClassInfo};
    const IID refused[] = {IID_IClassFactory, IID_IPersist, IID_IPersistStream, IID_IStream, IID_IMarshal,
                           IID_IInitializeWithFile, IID_IInitializeWithItem, IID_IProvideClassInfo2, IID_ITypeInfo};
    for (const IID& iid : answered) {
        ComPtr<IUnknown> face;
        EXPECT_EQ(object->QueryInterface(iid, face.outVoid()), S_OK);
        // One identity whichever interface asks.
        ComPtr<IUnknown> identity;
        EXPECT_EQ(face->QueryInterface(IID_IUnknown, identity.outVoid()), S_OK);
        EXPECT_EQ(identity.get(), object.get());
    }
    for (const IID& iid : refused) {
        void* face = reinterpret_cast<void*>(1);
        EXPECT_EQ(object->QueryInterface(iid, &face), E_NOINTERFACE);
        EXPECT_EQ(face, nullptr);
    }
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST(Interfaces, DispatchCodes)
{
    ComPtr<IUnknown> object;
    create(object);
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(object->QueryInterface(IID_INimbrelV, dispatch.outVoid()), S_OK);
    UINT count = 7;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(dispatch->GetTypeInfoCount(nullptr), E_POINTER);

    ComPtr<ITypeInfo> info;
    EXPECT_EQ(dispatch->GetTypeInfo(1, 0, info.out()), DISP_E_BADINDEX);
    ASSERT_EQ(dispatch->GetTypeInfo(0, 0, info.out()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(attr->guid == IID_INimbrelV);
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    info->ReleaseTypeAttr(attr);

    OLECHAR name[] = L"Anything";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);

    VARIANT arg, result;
    VariantInit(&arg);
    result.vt = VT_I4;
    DISPPARAMS none = {nullptr, nullptr, 0, 0}, one = {&arg, nullptr, 1, 0};
    EXPECT_EQ(dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, nullptr, &result, nullptr, nullptr), DISP_E_BADVARTYPE);
    EXPECT_EQ(dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &one, &result, nullptr, nullptr), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(result.vt, VT_EMPTY);
    EXPECT_EQ(dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
}

TEST(Interfaces, ClassInfoIsTheCoclass)
{
    ComPtr<IUnknown> object;
    create(object);
    ComPtr<IProvideClassInfo> provide;
    ASSERT_EQ(object->QueryInterface(IID_IProvideClassInfo, provide.outVoid()), S_OK);
    EXPECT_EQ(provide->GetClassInfo(nullptr), E_POINTER);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(provide->GetClassInfo(info.out()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(attr->guid == CLSID_CNimbrelV);
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    info->ReleaseTypeAttr(attr);
}

// An outer object that only counts the references its inner object passes on to it.
struct Outer : IUnknown {
    ULONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

using CanUnload = HRESULT(STDAPICALLTYPE*)();

TEST(Module, FactoryAggregationAndLockCount)
{
    ComPtr<IUnknown> object;
    create(object); // loads the module
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto getClassObject = exported<GetClassObject>("DllGetClassObject");
    const auto canUnload = exported<CanUnload>("DllCanUnloadNow");
    ASSERT_TRUE(getClassObject && canUnload);

    ComPtr<IClassFactory> factory;
    EXPECT_EQ(getClassObject(CLSID_CNimbrelV, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(getClassObject(IID_IDispatch, IID_IClassFactory, factory.outVoid()), CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(getClassObject(CLSID_CNimbrelV, IID_IClassFactory, factory.outVoid()), S_OK);
    ComPtr<IClassFactory> again;
    ASSERT_EQ(getClassObject(CLSID_CNimbrelV, IID_IClassFactory, again.outVoid()), S_OK);
    EXPECT_EQ(again.get(), factory.get()); // made once and kept

    EXPECT_EQ(canUnload(), S_FALSE); // object alive
    object.reset();
    EXPECT_EQ(canUnload(), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(canUnload(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(canUnload(), S_OK);

    Outer outer;
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IThumbnailProvider, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IThumbnailProvider, nullptr), E_POINTER);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(canUnload(), S_OK); // the failed query destroyed the object

    ComPtr<IUnknown> inner;
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, inner.outVoid()), S_OK);
    EXPECT_EQ(canUnload(), S_FALSE);
    ComPtr<IThumbnailProvider> provider;
    ASSERT_EQ(inner->QueryInterface(IID_IThumbnailProvider, provider.outVoid()), S_OK);
    EXPECT_EQ(outer.refs, 2u); // the interface's reference belongs to the outer object
    IUnknown* raw = provider.get();
    EXPECT_EQ(raw->QueryInterface(IID_IStream, &out), E_NOINTERFACE); // asked of the outer object
    provider.reset();
    EXPECT_EQ(outer.refs, 1u);
    inner.reset();
    EXPECT_EQ(canUnload(), S_OK);
}

// Points the provider's trace at a file for the life of the value.
class TraceSetting {
public:
    // The value names the file, of the given type, or is an empty string.
    explicit TraceSetting(DWORD type = REG_SZ, bool empty = false)
    {
        DeleteFileW(path.c_str());
        const std::wstring stored = empty ? L"" : path;
        RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"DebugLogFileName", type, stored.c_str(),
                        DWORD((stored.size() + 1) * sizeof(wchar_t)));
    }
    ~TraceSetting()
    {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, L"DebugLogFileName");
        DeleteFileW(path.c_str());
    }
    std::string text() const { return fileText(path); }
    const std::wstring path = tempPath(L"nimbrel_trace.log");

private:
    static constexpr const wchar_t* kKey = L"Software\\Vantorix Technology Inc.\\Tessaline";
};

struct Traced : Provider {
    std::string name; // the stream's name in the trace
    explicit Traced(const std::vector<uint8_t>& bytes)
    {
        EXPECT_EQ(initializeWith(bytes), S_OK);
        name = "IStream " + std::to_string(reinterpret_cast<uintptr_t>(stream.get()));
    }
    HRESULT thumbnail(UINT cx) { return comThumbnail(provider.get(), cx).result; }
};

// The message the document factory throws for these bytes given as a stream.
std::string openingError(const std::vector<uint8_t>& bytes)
{
    ComPtr<IStream> stream;
    *stream.out() = SHCreateMemStream(bytes.data(), UINT(bytes.size()));
    try {
        DjVu::Document::create(AutoPtr<Storage>(new StorageFromIStream(stream.get())));
    } catch (const Exception& e) {
        return e.what();
    }
    return "<no exception>";
}

// The trace file is written in text mode.
std::string crlf(const std::string& text)
{
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

TEST(Trace, LinesOfEachOutcome)
{
    const std::vector<uint8_t> page = readFile(kFixtures + "container/photo.djvu");
    const std::vector<uint8_t> notDjvu = {'h', 'e', 'l', 'l', 'o', ',', ' ', 'w', 'o', 'r', 'l', 'd', '\n'};
    const std::vector<uint8_t> truncated(page.begin(), page.begin() + 14);
    {
        TraceSetting trace;
        Traced t(page);
        EXPECT_EQ(t.thumbnail(96), S_OK);
        EXPECT_EQ(trace.text(), crlf("FILE: " + t.name + "\n640 x 480 -> 96 x 72\nOK.\n"));
    }
    for (const auto* bytes : {&notDjvu, &truncated}) {
        TraceSetting trace;
        Traced t(*bytes);
        EXPECT_EQ(t.thumbnail(96), E_FAIL);
        EXPECT_EQ(trace.text(), crlf("FILE: " + t.name + "\n" + t.name + " : " + openingError(*bytes) + "\n"));
    }
    {
        TraceSetting trace;
        Traced t(readFile(kFixtures + "container/empty.djvu"));
        EXPECT_EQ(t.thumbnail(96), E_FAIL);
        EXPECT_EQ(t.thumbnail(96), E_FAIL); // the document stays open and fails the same way
        EXPECT_EQ(trace.text(), crlf("FILE: " + t.name + "\nNo pages.\nNo pages.\n"));
    }
}

TEST(Trace, OffUnlessAStringValueNamesTheFile)
{
    const std::vector<uint8_t> page = readFile(kFixtures + "container/photo.djvu");
    {
        Traced t(page); // no value
        EXPECT_EQ(t.thumbnail(32), S_OK);
    }
    const std::pair<DWORD, bool> settings[] = {{REG_SZ, true}, {REG_EXPAND_SZ, false}, {REG_BINARY, false}};
    for (const auto& [type, empty] : settings) {
        TraceSetting trace(type, empty);
        Traced t(page);
        EXPECT_EQ(t.thumbnail(32), S_OK);
        EXPECT_EQ(trace.text(), "<no file>");
    }
}

TEST(Diagnostics, EveryExceptionIsAppendedWithTheProcessId)
{
    const std::wstring path = tempPath(L"nimbrel_diag.log");
    DeleteFileW(path.c_str());
    SetEnvironmentVariableW(L"_QRMB_DEBUG_FILE", path.c_str());
    _wputenv_s(L"_QRMB_DEBUG_FILE", path.c_str());
    const std::vector<uint8_t> notDjvu(40, 'x');
    Traced t(notDjvu);
    EXPECT_EQ(t.thumbnail(64), E_FAIL);
    SetEnvironmentVariableW(L"_QRMB_DEBUG_FILE", nullptr);
    _wputenv_s(L"_QRMB_DEBUG_FILE", L"");
    const std::string text = fileText(path);
    DeleteFileW(path.c_str());
    const std::string prefix = std::to_string(GetCurrentProcessId()) + " ";
    EXPECT_EQ(text.compare(0, prefix.size(), prefix), 0) << text;
    EXPECT_NE(text.find("Error 20"), std::string::npos) << text;
}

} // namespace
