#include "vtx_string.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "vtx_exception.h"
#include "vtx_format.h"
#include "vtx_platform.h"
#include "vtx_stringbuffer.h"
#include "vtx_utf.h"

namespace _Vtx_Internal_NS_ {

namespace {
// The text of every empty string, with the same zero bytes behind it as any buffer.
const char* emptyText()
{
    static const char empty[8] = {};
    return empty;
}
} // namespace

// The only ReferableString: UTF-8 bytes with six zero bytes behind them, so that any
// conversion may read a little past the end safely.
class ReferableUtf8StringImpl final : public Vantorix::ReferableString {
public:
    static constexpr uint32_t kUnknownLength = 0x80000000u;

    ~ReferableUtf8StringImpl() override { releaseBlock(); }

    void setText(const char* text, int32_t len) override
    {
        uint32_t n = len < 0 ? (text ? uint32_t(std::strlen(text)) : 0) : uint32_t(len);
        if (!text || n == 0) {
            releaseBlock();
            return;
        }
        if (n + 6 > allocated_) {
            // copy before freeing: the text may live in the old block
            char* block = newBlock(n);
            std::memcpy(block, text, n);
            releaseBlock();
            data_ = block;
            allocated_ = n + 6;
        } else {
            std::memmove(data_, text, n);
        }
        std::memset(data_ + n, 0, 6);
        length_ = n;
    }

    // Makes room for n bytes (contents undefined, six zero bytes behind) for a caller to fill.
    char* prepare(uint32_t n)
    {
        if (n + 6 > allocated_) {
            char* block = newBlock(n);
            releaseBlock();
            data_ = block;
            allocated_ = n + 6;
        }
        std::memset(data_ + n, 0, 6);
        length_ = n;
        return data_;
    }

    const char* getData() const override { return data_ ? data_ : emptyText(); }
    uint32_t getLength() const override
    {
        if (length_ == kUnknownLength) length_ = uint32_t(std::strlen(getData()));
        return length_;
    }
    bool isAllocated() const override { return data_ != nullptr; }

private:
    static char* newBlock(uint32_t n)
    {
        if (n > 0x7FFFFFF0u) VTX_THROW(Vantorix::errOperationFailed, "errOperationFailed", "_Vtx_Internal_NS_::ReferableUtf8StringImpl::setText");
        char* block = static_cast<char*>(std::malloc(size_t(n) + 6));
        if (!block) VTX_THROW(Vantorix::errOutOfMemory, "Out of memory!", "_Vtx_Internal_NS_::ReferableUtf8StringImpl::setText");
        return block;
    }
    void releaseBlock()
    {
        if (data_) {
            std::memset(data_, 0, allocated_);
            std::free(data_);
        }
        data_ = nullptr;
        allocated_ = 0;
        length_ = 0;
    }

    char* data_ = nullptr;
    uint32_t allocated_ = 0;
    mutable uint32_t length_ = 0;
};

} // namespace _Vtx_Internal_NS_

namespace Vantorix {

// An empty String holds no buffer: threads making and dropping empty strings then share no
// reference count.
AutoPtr<ReferableString> makeWritableBuffer(uint32_t length, char*& data)
{
    if (length == 0) {
        data = nullptr;
        return nullptr;
    }
    auto* impl = new _Vtx_Internal_NS_::ReferableUtf8StringImpl();
    AutoPtr<ReferableString> buf(impl);
    data = impl->prepare(length);
    return buf;
}

namespace {

AutoPtr<ReferableString> makeBuffer(const char* text, int32_t len)
{
    if (!text || len == 0 || (len < 0 && *text == 0)) return nullptr;
    AutoPtr<ReferableString> buf(new _Vtx_Internal_NS_::ReferableUtf8StringImpl());
    buf->setText(text, len);
    return buf;
}

uint32_t lengthOf(const AutoPtr<ReferableString>& buf) { return buf ? buf->getLength() : 0; }

template <class C>
void freeCache(C*& p, uint32_t& size)
{
    std::free(p);
    p = nullptr;
    size = 0;
}

template <class C>
C* cacheCopy(const C* src, size_t units)
{
    C* p = static_cast<C*>(std::malloc((units + 1) * sizeof(C)));
    if (!p) VTX_THROW(errOutOfMemory, "Out of memory!", "Vantorix::cacheCopy");
    std::memcpy(p, src, units * sizeof(C));
    p[units] = 0;
    return p;
}

} // namespace

String::String() = default;
String::String(const char* utf8) : buf_(makeBuffer(utf8, -1)), len_(int32_t(lengthOf(buf_))) {}
String::String(const std::string& utf8)
    : buf_(makeBuffer(utf8.data(), int32_t(utf8.size()))), len_(int32_t(lengthOf(buf_)))
{
}
String::String(AutoPtr<ReferableString> buf, uint32_t offset, int32_t len) : buf_(std::move(buf)), offset_(offset), len_(len) {}
String::String(const String& o) : buf_(o.buf_), offset_(o.offset_), len_(o.len_) {}
String::String(String&& o) noexcept
    : buf_(std::move(o.buf_)), offset_(o.offset_), len_(o.len_), utf16_(o.utf16_), utf16Size_(o.utf16Size_),
      utf32_(o.utf32_), utf32Size_(o.utf32Size_), narrow_(o.narrow_), narrowSize_(o.narrowSize_)
{
    o.offset_ = 0;
    o.len_ = 0;
    o.utf16_ = nullptr;
    o.utf32_ = nullptr;
    o.narrow_ = nullptr;
}

String& String::operator=(const String& o)
{
    if (this != &o) {
        dropCaches();
        buf_ = o.buf_;
        offset_ = o.offset_;
        len_ = o.len_;
    }
    return *this;
}

String& String::operator=(String&& o) noexcept
{
    if (this != &o) {
        dropCaches();
        buf_ = std::move(o.buf_);
        offset_ = o.offset_;
        len_ = o.len_;
        utf16_ = o.utf16_; utf16Size_ = o.utf16Size_;
        utf32_ = o.utf32_; utf32Size_ = o.utf32Size_;
        narrow_ = o.narrow_; narrowSize_ = o.narrowSize_;
        o.offset_ = 0;
        o.len_ = 0;
        o.utf16_ = nullptr;
        o.utf32_ = nullptr;
        o.narrow_ = nullptr;
    }
    return *this;
}

String::~String() { dropCaches(); }

void String::dropCaches() const
{
    freeCache(utf16_, utf16Size_);
    freeCache(utf32_, utf32Size_);
    freeCache(narrow_, narrowSize_);
}

String String::fromUtf8(const char* text, int32_t len)
{
    AutoPtr<ReferableString> buf = makeBuffer(text, len);
    int32_t n = int32_t(lengthOf(buf));
    return String(std::move(buf), 0, n);
}

String String::fromNarrow(const char* text, int32_t len)
{
    if (!text) return String();
    size_t n = len < 0 ? std::strlen(text) : size_t(len);
    if (Platform::narrowIsUtf8()) return fromUtf8(text, int32_t(n));
    std::u16string wide = Platform::narrowToUtf16(text, n);
    return String(Utf::utf16ToUtf8(wide.data(), wide.size(), false));
}

String String::fromUtf16(const char16_t* text, int32_t len)
{
    if (!text) return String();
    std::string utf8 = Utf::utf16ToUtf8(text, len < 0 ? SIZE_MAX : size_t(len));
    return String(utf8);
}

namespace {
struct FreeBlock {
    void operator()(void* p) const { std::free(p); }
};
} // namespace

String String::formatV(const char* fmt, va_list args)
{
    size_t n = 0;
    std::unique_ptr<char, FreeBlock> text(Format::formatAlloc(fmt, args, &n));
    return fromNarrow(text.get(), int32_t(n));
}

String String::formatWideV(const char16_t* fmt, va_list args)
{
    size_t n = 0;
    std::unique_ptr<char16_t, FreeBlock> text(Format::formatAlloc(fmt, args, &n));
    return String(Utf::utf16ToUtf8(text.get(), n, false));
}

String String::format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    String s = formatV(fmt, args);
    va_end(args);
    return s;
}

String String::formatWide(const char16_t* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    String s = formatWideV(fmt, args);
    va_end(args);
    return s;
}

const char* String::getUtf8() const { return buf_ ? buf_->getData() + offset_ : _Vtx_Internal_NS_::emptyText(); }

uint32_t String::getLength() const
{
    if (len_ < 0) len_ = int32_t(std::strlen(getUtf8()));
    return uint32_t(len_);
}

const char* String::getNarrow() const
{
    if (getLength() == 0) return "";
    if (!narrow_ && Platform::narrowIsUtf8()) {
        narrow_ = cacheCopy(getUtf8(), getLength());
        narrowSize_ = getLength();
    }
    if (!narrow_) {
        const char16_t* wide = getUtf16();
        std::string narrow = Platform::utf16ToNarrow(wide, utf16Size_);
        narrow_ = cacheCopy(narrow.data(), narrow.size());
        narrowSize_ = uint32_t(narrow.size());
    }
    return narrow_;
}

const char16_t* String::getUtf16() const
{
    if (!utf16_) {
        std::u16string wide = Utf::utf8ToUtf16(getUtf8(), getLength());
        utf16_ = cacheCopy(wide.data(), wide.size());
        utf16Size_ = uint32_t(wide.size());
    }
    return utf16_;
}

const char32_t* String::getUtf32() const
{
    if (!utf32_) {
        std::u32string cps = Utf::utf8ToUtf32(getUtf8(), getLength());
        utf32_ = cacheCopy(cps.data(), cps.size());
        utf32Size_ = uint32_t(cps.size());
    }
    return utf32_;
}

int32_t String::find(const String& what, uint32_t from) const
{
    uint32_t n = getLength(), m = what.getLength();
    if (m == 0) return from <= n ? int32_t(from) : -1;
    if (m > n) return -1;
    const char* s = getUtf8();
    const char* w = what.getUtf8();
    for (uint32_t i = from; i + m <= n; ++i)
        if (s[i] == w[0] && std::memcmp(s + i, w, m) == 0) return int32_t(i);
    return -1;
}

String String::substring(uint32_t start, uint32_t len) const
{
    uint32_t n = getLength();
    if (start >= n) return String();
    if (len > n - start) len = n - start;
    if (len == 0) return String();
    return String(buf_, offset_ + start, int32_t(len));
}

bool String::startsWith(const String& prefix) const
{
    uint32_t m = prefix.getLength();
    return m <= getLength() && std::memcmp(getUtf8(), prefix.getUtf8(), m) == 0;
}

bool String::endsWith(const String& suffix) const
{
    uint32_t n = getLength(), m = suffix.getLength();
    return m <= n && std::memcmp(getUtf8() + n - m, suffix.getUtf8(), m) == 0;
}

int String::compare(const String& other) const
{
    uint32_t n = getLength(), m = other.getLength();
    int c = std::memcmp(getUtf8(), other.getUtf8(), n < m ? n : m);
    if (c != 0) return c;
    return n < m ? -1 : (n > m ? 1 : 0);
}

String String::operator+(const String& other) const
{
    std::string joined;
    joined.reserve(size_t(getLength()) + other.getLength());
    joined.append(getUtf8(), getLength());
    joined.append(other.getUtf8(), other.getLength());
    return String(joined);
}

String& String::operator+=(const String& other)
{
    *this = *this + other;
    return *this;
}

String String::replaced(const String& replacee, const String& replacement) const
{
    String result;
    replace(*this, result, replacee, replacement);
    return result;
}

} // namespace Vantorix
