// The few operating-system services the portable core needs. One implementation per platform
// folder (windows/, posix/); nothing else in the core touches the system directly.
#pragma once

#include <cstdint>
#include <string>

#include "vtx_string.h"

namespace Vantorix::Platform {

// The variable's value, at most maxChars characters; empty when unset.
String getEnvironment(const char* name, uint32_t maxChars);
uint32_t getProcessId();
// Opens path for appending in text mode, writes text, closes. False when it cannot open.
bool appendToFile(const String& path, const String& text);

// True where the narrow code page is UTF-8 (POSIX), so that narrow text is taken as it is.
bool narrowIsUtf8();

// Conversions between the system's narrow code page and UTF-16 (on POSIX the narrow code page
// is UTF-8). The outputs are zero-terminated.
std::u16string narrowToUtf16(const char* text, size_t len);
std::string utf16ToNarrow(const char16_t* text, size_t len);

} // namespace Vantorix::Platform
