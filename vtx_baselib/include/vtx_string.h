// String: UTF-8 text in a shared, reference-counted buffer, with cached UTF-16, UTF-32 and
// narrow (system code page) forms. Copies share the buffer; the caches are per value and are
// filled lazily, so one String value must not be used from two threads at once.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

#include "vtx_memory.h"

namespace Vantorix {

// The shared text buffer.
class ReferableString : public Referable {
public:
    // len < 0: up to the terminating zero byte.
    virtual void setText(const char* text, int32_t len) = 0;
    virtual const char* getData() const = 0;
    virtual uint32_t getLength() const = 0;
    virtual bool isAllocated() const = 0;
};

class String {
public:
    String();
    // Zero-terminated UTF-8 (the sources of this library are ASCII/UTF-8).
    String(const char* utf8);
    String(const std::string& utf8);
    String(const String& other);
    String(String&& other) noexcept;
    String& operator=(const String& other);
    String& operator=(String&& other) noexcept;
    ~String();

    // len < 0 means zero-terminated. UTF-16 input honours a byte-order mark (0xFEFF skipped,
    // 0xFFFE skipped and the following units byte-swapped).
    static String fromUtf8(const char* text, int32_t len = -1);
    static String fromNarrow(const char* text, int32_t len = -1);
    static String fromUtf16(const char16_t* text, int32_t len = -1);

    // printf-style formatting through the library's own engine (see vtx_format.h).
    static String format(const char* fmt, ...);
    static String formatV(const char* fmt, va_list args);
    // The same engine over UTF-16: format and string arguments (%s, %z, %q, %Q) are char16_t.
    static String formatWide(const char16_t* fmt, ...);
    static String formatWideV(const char16_t* fmt, va_list args);

    // Replaces every non-overlapping occurrence of replacee in source, left to right.
    // Throws 7 "inReplacee is empty!" for an empty replacee.
    static void replace(const String& source, String& result, const String& replacee, const String& replacement);
    String replaced(const String& replacee, const String& replacement) const;

    // UTF-8 bytes; not necessarily zero-terminated (a substring shares its parent's buffer).
    const char* getUtf8() const;
    uint32_t getLength() const;
    bool isEmpty() const { return getLength() == 0; }

    // Zero-terminated conversions, cached in this value until it changes.
    const char* getNarrow() const;
    const char16_t* getUtf16() const;
    const char32_t* getUtf32() const;
    std::string toStdString() const { return std::string(getUtf8(), getLength()); }

    int32_t find(const String& what, uint32_t from = 0) const; // byte offset or -1
    String substring(uint32_t start, uint32_t len = 0xFFFFFFFFu) const;
    bool startsWith(const String& prefix) const;
    bool endsWith(const String& suffix) const;
    int compare(const String& other) const;

    String operator+(const String& other) const;
    String& operator+=(const String& other);
    bool operator==(const String& other) const { return compare(other) == 0; }
    bool operator!=(const String& other) const { return compare(other) != 0; }
    bool operator<(const String& other) const { return compare(other) < 0; }
    bool operator==(const char* other) const { return *this == String(other); }
    bool operator!=(const char* other) const { return !(*this == other); }

private:
    String(AutoPtr<ReferableString> buf, uint32_t offset, int32_t len);
    void dropCaches() const;

    AutoPtr<ReferableString> buf_;
    uint32_t offset_ = 0;
    mutable int32_t len_ = 0; // < 0: up to the first zero byte, found on first use
    mutable char16_t* utf16_ = nullptr;
    mutable uint32_t utf16Size_ = 0;
    mutable char32_t* utf32_ = nullptr;
    mutable uint32_t utf32Size_ = 0;
    mutable char* narrow_ = nullptr;
    mutable uint32_t narrowSize_ = 0;
};

} // namespace Vantorix
