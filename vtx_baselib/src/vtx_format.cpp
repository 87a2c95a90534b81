#include "vtx_format.h"

#include <cstdio>

namespace Vantorix::Format {

// Provisional: the platform's vsnprintf until the engine of our own lands.
std::string formatNarrow(const char* fmt, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out(size_t(n > 0 ? n : 0), '\0');
    if (n > 0) std::vsnprintf(out.data(), size_t(n) + 1, fmt, args);
    return out;
}

std::u16string formatWide(const char16_t* fmt, va_list)
{
    return std::u16string(fmt);
}

} // namespace Vantorix::Format
