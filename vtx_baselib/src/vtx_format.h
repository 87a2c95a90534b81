// The library's printf engine, narrow and UTF-16. Besides the usual conversions it knows
// %z (a narrow string that the engine frees), %q/%Q (single quotes doubled; Q also encloses
// the text in quotes and prints NULL for a null pointer) and prints %p in decimal.
#pragma once

#include <cstdarg>
#include <string>

namespace Vantorix::Format {

std::string formatNarrow(const char* fmt, va_list args);
std::u16string formatWide(const char16_t* fmt, va_list args);

} // namespace Vantorix::Format
