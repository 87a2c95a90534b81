// The few operating-system services the portable core needs. One implementation per platform
// folder (windows/, posix/); nothing else in the core touches the system directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "vtx_string.h"

namespace Vantorix::Platform {

// The variable's value, at most maxChars characters; empty when unset.
String getEnvironment(const char* name, uint32_t maxChars);
uint32_t getProcessId();
// Opens path for appending in text mode, writes text, closes. False when it cannot open.
bool appendToFile(const String& path, const String& text);

// Fresh zero-filled memory straight from the system, aligned to its page size; null when it has
// none. Pages never written are never made resident. On POSIX, regions of kLargePageBytes or
// more are aligned to that size and may be backed by large pages. Give back with freePages and
// the same size.
inline constexpr size_t kLargePageBytes = size_t(2) << 20;
void* allocatePages(size_t bytes);
void freePages(void* p, size_t bytes);

// True where the narrow code page is UTF-8 (POSIX), so that narrow text is taken as it is.
bool narrowIsUtf8();

// Conversions between the system's narrow code page and UTF-16 (on POSIX the narrow code page
// is UTF-8). The outputs are zero-terminated.
std::u16string narrowToUtf16(const char* text, size_t len);
std::string utf16ToNarrow(const char16_t* text, size_t len);

} // namespace Vantorix::Platform
