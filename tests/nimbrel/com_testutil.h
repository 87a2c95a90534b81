// Small helpers for the tests that drive nimbrel.dll as the shell does.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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

inline std::vector<uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

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
