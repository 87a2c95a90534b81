#include "vtx_platform.h"

#include <windows.h>

#include <cstdio>

namespace Vantorix::Platform {

String getEnvironment(const char* name, uint32_t maxChars)
{
    std::u16string wname = narrowToUtf16(name, std::char_traits<char>::length(name));
    std::u16string buf(size_t(maxChars) + 1, u'\0');
    DWORD n = GetEnvironmentVariableW(reinterpret_cast<LPCWSTR>(wname.c_str()), reinterpret_cast<LPWSTR>(buf.data()),
                                      DWORD(buf.size()));
    if (n == 0 || n >= buf.size()) return String();
    return String::fromUtf16(buf.c_str(), int32_t(n));
}

uint32_t getProcessId() { return uint32_t(GetCurrentProcessId()); }

bool appendToFile(const String& path, const String& text)
{
    FILE* f = nullptr;
    if (_wfopen_s(&f, reinterpret_cast<const wchar_t*>(path.getUtf16()), L"at") != 0 || !f) return false;
    std::fputs(text.getNarrow(), f);
    std::fclose(f);
    return true;
}

// Committed pages come zero-filled; large pages would need a privilege users do not hold.
void* allocatePages(size_t bytes) { return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE); }

void freePages(void* p, size_t) { VirtualFree(p, 0, MEM_RELEASE); }

bool narrowIsUtf8() { return GetACP() == CP_UTF8; }

std::u16string narrowToUtf16(const char* text, size_t len)
{
    if (len == 0) return std::u16string();
    int n = MultiByteToWideChar(CP_ACP, 0, text, int(len), nullptr, 0);
    std::u16string out(size_t(n), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text, int(len), reinterpret_cast<LPWSTR>(out.data()), n);
    return out;
}

std::string utf16ToNarrow(const char16_t* text, size_t len)
{
    if (len == 0) return std::string();
    LPCWSTR w = reinterpret_cast<LPCWSTR>(text);
    int n = WideCharToMultiByte(CP_ACP, 0, w, int(len), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, w, int(len), out.data(), n, nullptr, nullptr);
    return out;
}

} // namespace Vantorix::Platform
