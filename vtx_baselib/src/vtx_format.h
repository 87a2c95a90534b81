// The library's printf engine, narrow and UTF-16. Besides the usual conversions it knows
// %z (a string that the engine frees with std::free after printing it), %q and %Q (single
// quotes doubled; Q also encloses the text in quotes and prints NULL for a null pointer),
// prints %p in decimal, a null string as "(NULL)" and a NaN as "NaN". In the wide engine the
// string conversions take char16_t strings.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace Vantorix::Format {

// The result is a zero-terminated heap block that the caller frees with std::free; *length
// (if given) receives its length in units.
char* formatAlloc(const char* fmt, va_list args, size_t* length);
char16_t* formatAlloc(const char16_t* fmt, va_list args, size_t* length);

} // namespace Vantorix::Format
