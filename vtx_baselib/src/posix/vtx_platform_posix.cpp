#include "vtx_platform.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace Vantorix::Platform {

String getEnvironment(const char* name, uint32_t maxChars)
{
    const char* value = std::getenv(name);
    if (!value) return String();
    String s = String::fromNarrow(value);
    return s.getLength() > maxChars ? s.substring(0, maxChars) : s;
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
std::u16string narrowToUtf16(const char* text, size_t len)
{
    String s = String::fromUtf8(text, int32_t(len));
    return std::u16string(s.getUtf16());
}

std::string utf16ToNarrow(const char16_t* text, size_t len)
{
    String s = String::fromUtf16(text, int32_t(len));
    return s.toStdString();
}

} // namespace Vantorix::Platform
