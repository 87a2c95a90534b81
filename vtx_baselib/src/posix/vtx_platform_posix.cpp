#include "vtx_platform.h"
#include "vtx_utf.h"

#include <sys/mman.h>
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

namespace {
// Large regions are whole large pages, so that both of their ends can be cut on a boundary.
size_t mappedBytes(size_t bytes)
{
    return bytes >= kLargePageBytes ? (bytes + kLargePageBytes - 1) & ~(kLargePageBytes - 1) : bytes;
}
} // namespace

void* allocatePages(size_t bytes)
{
    // Large regions are mapped with room to slide to a large-page boundary; the rest goes back.
    if (bytes > SIZE_MAX - 2 * kLargePageBytes) return nullptr;
    const size_t span = mappedBytes(bytes), slack = span >= kLargePageBytes ? kLargePageBytes : 0;
    void* m = ::mmap(nullptr, span + slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) return nullptr;
    if (!slack) return m;
    const uintptr_t start = reinterpret_cast<uintptr_t>(m);
    const uintptr_t aligned = (start + kLargePageBytes - 1) & ~uintptr_t(kLargePageBytes - 1);
    if (aligned > start) ::munmap(m, aligned - start);
    ::munmap(reinterpret_cast<void*>(aligned + span), start + slack - aligned);
    void* p = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    // One fault then fills 2 MiB instead of 512 faults filling 4 KiB each; only a hint.
    ::madvise(p, span, MADV_HUGEPAGE);
#endif
    return p;
}

void freePages(void* p, size_t bytes) { ::munmap(p, mappedBytes(bytes)); }

// The narrow code page is UTF-8 here; String's own codec does the work.
bool narrowIsUtf8() { return true; }

std::u16string narrowToUtf16(const char* text, size_t len) { return Utf::utf8ToUtf16(text, len); }

std::string utf16ToNarrow(const char16_t* text, size_t len) { return Utf::utf16ToUtf8(text, len, false); }

} // namespace Vantorix::Platform
