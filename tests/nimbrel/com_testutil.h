// Small helpers for the tests that drive nimbrel.dll as the shell does.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>
#include <thumbcache.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testutil.h"

using vtxtest::readFile;

// Owns one COM reference.
template <class T> class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    T** out()
    {
        reset();
        return &p_;
    }
    void** outVoid() { return reinterpret_cast<void**>(out()); }
    void reset()
    {
        if (p_) p_->Release();
        p_ = nullptr;
    }

private:
    T* p_ = nullptr;
};

inline std::wstring widen(const std::string& s)
{
    return std::wstring(s.begin(), s.end());
}

// The default value (name null) or a named string value of HKEY key\sub; "<missing>" if absent.
inline std::wstring regString(HKEY root, const std::wstring& sub, const wchar_t* name = nullptr)
{
    wchar_t buf[1024];
    DWORD bytes = sizeof buf;
    if (RegGetValueW(root, sub.c_str(), name, RRF_RT_REG_SZ, nullptr, buf, &bytes) != ERROR_SUCCESS) return L"<missing>";
    return buf;
}

inline bool regKeyExists(HKEY root, const std::wstring& sub)
{
    HKEY key;
    if (RegOpenKeyExW(root, sub.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// The handler class as the shell finds it.
inline CLSID handlerClass()
{
    const std::wstring text = regString(HKEY_CLASSES_ROOT, L".djvu\\ShellEx\\{E357FCCD-A995-4576-B01F-234630154E96}");
    CLSID clsid = {};
    EXPECT_EQ(CLSIDFromString(text.c_str(), &clsid), S_OK) << text;
    return clsid;
}

inline HRESULT initialize(IThumbnailProvider* provider, IStream* stream)
{
    ComPtr<IInitializeWithStream> init;
    EXPECT_EQ(provider->QueryInterface(IID_IInitializeWithStream, init.outVoid()), S_OK);
    return init->Initialize(stream, STGM_READ);
}

// A provider of the handler class and, once given bytes, the memory stream it was initialised with.
struct Provider {
    ComPtr<IThumbnailProvider> provider;
    ComPtr<IStream> stream;
    Provider()
    {
        EXPECT_EQ(CoCreateInstance(handlerClass(), nullptr, CLSCTX_INPROC_SERVER, IID_IThumbnailProvider,
                                   provider.outVoid()), S_OK);
    }
    HRESULT initializeWith(const std::vector<uint8_t>& bytes)
    {
        *stream.out() = SHCreateMemStream(bytes.data(), UINT(bytes.size()));
        return initialize(provider.get(), stream.get());
    }
};

struct Picture {
    HRESULT result = E_UNEXPECTED;
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> bits; // bottom-up rows of 4-byte pixels
};

// GetThumbnail, with the form of the returned bitmap checked.
inline Picture comThumbnail(IThumbnailProvider* provider, UINT cx)
{
    Picture p;
    HBITMAP bitmap = reinterpret_cast<HBITMAP>(0x1234);
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    p.result = provider->GetThumbnail(cx, &bitmap, &alpha);
    if (p.result != S_OK) {
        EXPECT_EQ(bitmap, reinterpret_cast<HBITMAP>(0x1234)); // untouched on failure
        EXPECT_EQ(alpha, WTSAT_UNKNOWN);
        return p;
    }
    EXPECT_EQ(alpha, WTSAT_RGB);
    DIBSECTION dib = {};
    EXPECT_EQ(GetObjectW(bitmap, sizeof dib, &dib), int(sizeof dib));
    EXPECT_EQ(dib.dsBmih.biBitCount, 32);
    EXPECT_EQ(dib.dsBmih.biPlanes, 1);
    EXPECT_EQ(dib.dsBmih.biCompression, DWORD(BI_RGB));
    EXPECT_GT(dib.dsBmih.biHeight, 0); // bottom-up
    p.width = uint32_t(dib.dsBmih.biWidth);
    p.height = uint32_t(dib.dsBmih.biHeight);
    const auto* bits = static_cast<const uint8_t*>(dib.dsBm.bmBits);
    p.bits.assign(bits, bits + size_t(p.width) * p.height * 4);
    DeleteObject(bitmap);
    return p;
}
