#include "vtx_platform.h"
#include "vtx_utf.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace Vantorix::Platform {

String getEnvironment(const char* name, uint32_t maxChars)
{
    const char* value = std::getenv(name);
    if (!value) return String();
    String s = String::fromNarrow(value);
    // a value too long for the caller's limit is treated as unset, never cut to another name
    return s.getUtf16() && std::char_traits<char16_t>::length(s.getUtf16()) > maxChars ? String() : s;
}

uint32_t getProcessId() { return uint32_t(::getpid()); }

bool appendToFile(const String& path, const String& text)
{
    std::FILE* f = std::fopen(path.getNarrow(), "a");
    if (!f) return false;
    std::fputs(text.getNarrow(), f);
    std::fclose(f);
    return true;
}

// The narrow code page is UTF-8 here; String's own codec does the work.
bool narrowIsUtf8() { return true; }

std::u16string narrowToUtf16(const char* text, size_t len) { return Utf::utf8ToUtf16(text, len); }

std::string utf16ToNarrow(const char16_t* text, size_t len) { return Utf::utf16ToUtf8(text, len, false); }

} // namespace Vantorix::Platform
