#include "vtx_format.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "vtx_formatbuffer.h"

namespace Vantorix::Format {
namespace {

// va_list is an array type on some ABIs; wrapped in a struct it can be passed by reference.
struct Args {
    va_list ap;
};

enum class Length { none, hh, h, l, ll, L, j, z, t };

struct Directive {
    bool left = false, plus = false, space = false, alternate = false, zero = false;
    int width = 0;
    int precision = -1; // -1: not given
    Length length = Length::none;
    char conversion = 0;
};

template <class C>
size_t unitsLength(const C* s, int precision)
{
    size_t n = 0;
    while ((precision < 0 || n < size_t(precision)) && s[n]) ++n;
    return n;
}

// Writes one field: prefix (sign, 0x), zeros, body, padded to the width.
template <class C>
void emitField(OutBuffer<C>& out, const Directive& d, const char* prefix, size_t zeros, const C* body, size_t bodyLen)
{
    size_t prefixLen = std::strlen(prefix);
    size_t content = prefixLen + zeros + bodyLen;
    size_t pad = size_t(d.width) > content ? size_t(d.width) - content : 0;
    bool padWithZeros = d.zero && !d.left && pad > 0;
    C* p = out.room(content + pad);
    C* start = p;
    if (!d.left && !padWithZeros)
        for (size_t i = 0; i < pad; ++i) *p++ = C(' ');
    for (size_t i = 0; i < prefixLen; ++i) *p++ = C(prefix[i]);
    if (padWithZeros)
        for (size_t i = 0; i < pad; ++i) *p++ = C('0');
    for (size_t i = 0; i < zeros; ++i) *p++ = C('0');
    for (size_t i = 0; i < bodyLen; ++i) *p++ = body[i];
    if (d.left)
        for (size_t i = 0; i < pad; ++i) *p++ = C(' ');
    out.commit(size_t(p - start));
}

template <class C>
void emitText(OutBuffer<C>& out, Directive d, const C* text, size_t n)
{
    d.zero = false;
    emitField(out, d, "", 0, text, n);
}

template <class C>
void emitInteger(OutBuffer<C>& out, Directive d, uint64_t magnitude, bool negative, bool isSigned)
{
    const char* digitSet = d.conversion == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    unsigned base = d.conversion == 'o' ? 8 : (d.conversion == 'x' || d.conversion == 'X') ? 16 : 10;
    constexpr size_t kCap = 24; // 22 octal digits hold 64 bits
    C digits[kCap];
    size_t n = 0;
    for (uint64_t v = magnitude; v; v /= base) digits[kCap - 1 - n++] = C(digitSet[v % base]);
    if (n == 0 && d.precision != 0) digits[kCap - ++n] = C('0');
    size_t zeros = d.precision > 0 && size_t(d.precision) > n ? size_t(d.precision) - n : 0;
    if (base == 8 && d.alternate && zeros == 0 && (n == 0 || digits[kCap - n] != C('0'))) zeros = 1;
    char prefix[3] = {0, 0, 0};
    if (isSigned && negative) prefix[0] = '-';
    else if (isSigned && d.plus) prefix[0] = '+';
    else if (isSigned && d.space) prefix[0] = ' ';
    else if (base == 16 && d.alternate && magnitude != 0) {
        // the prefix is kept reversed ("x0") next to the reversed digits; written out it reads 0x
        const char* reversed = d.conversion == 'X' ? "X0" : "x0";
        prefix[0] = reversed[1];
        prefix[1] = reversed[0];
    }
    if (d.precision >= 0) d.zero = false;
    emitField(out, d, prefix, zeros, digits + kCap - n, n);
}

template <class C>
void emitFloat(OutBuffer<C>& out, Directive d, long double value, bool isLong)
{
    if (std::isnan(value)) {
        static const C nan[] = {C('N'), C('a'), C('N')};
        emitText(out, d, nan, 3);
        return;
    }
    // The digits come from the C library; flags, width and precision are passed on unchanged.
    char fmt[16];
    char* f = fmt;
    *f++ = '%';
    if (d.left) *f++ = '-';
    if (d.plus) *f++ = '+';
    if (d.space) *f++ = ' ';
    if (d.alternate) *f++ = '#';
    if (d.zero) *f++ = '0';
    *f++ = '*';
    if (d.precision >= 0) { *f++ = '.'; *f++ = '*'; }
    if (isLong) *f++ = 'L';
    *f++ = d.conversion;
    *f = 0;
    int precision = d.precision >= 0 ? d.precision : 0;
    auto print = [&](char* buf, size_t size) {
        if (isLong)
            return d.precision >= 0 ? std::snprintf(buf, size, fmt, d.width, precision, value)
                                    : std::snprintf(buf, size, fmt, d.width, value);
        double plain = double(value);
        return d.precision >= 0 ? std::snprintf(buf, size, fmt, d.width, precision, plain)
                                : std::snprintf(buf, size, fmt, d.width, plain);
    };
    char small[128];
    int n = print(small, sizeof small);
    if (n < 0) VTX_THROW(errOperationFailed, "errOperationFailed", "Vantorix::Format::formatAlloc");
    std::string big;
    const char* text = small;
    if (size_t(n) >= sizeof small) {
        big.resize(size_t(n) + 1);
        print(big.data(), big.size());
        text = big.data();
    }
    C* p = out.room(size_t(n));
    for (int i = 0; i < n; ++i) p[i] = C(static_cast<unsigned char>(text[i]));
    out.commit(size_t(n));
}

// %q and %Q: single quotes doubled; Q quotes the whole and prints a null pointer as NULL.
template <class C>
void emitQuoted(OutBuffer<C>& out, const Directive& d, const C* s)
{
    static const C nullText[] = {C('N'), C('U'), C('L'), C('L')};
    static const C nullName[] = {C('('), C('N'), C('U'), C('L'), C('L'), C(')'), 0};
    bool enclose = d.conversion == 'Q';
    if (!s) {
        if (enclose) emitText(out, d, nullText, 4);
        else emitText(out, d, nullName, 6);
        return;
    }
    size_t n = unitsLength(s, d.precision);
    std::basic_string<C> quoted;
    quoted.reserve(n + 2);
    if (enclose) quoted += C('\'');
    for (size_t i = 0; i < n; ++i) {
        quoted += s[i];
        if (s[i] == C('\'')) quoted += C('\'');
    }
    if (enclose) quoted += C('\'');
    emitText(out, d, quoted.data(), quoted.size());
}

int64_t signedArg(Length length, Args& a)
{
    switch (length) {
    case Length::hh: return static_cast<signed char>(va_arg(a.ap, int));
    case Length::h: return static_cast<short>(va_arg(a.ap, int));
    case Length::l: return va_arg(a.ap, long);
    case Length::ll: case Length::L: return va_arg(a.ap, long long);
    case Length::j: return int64_t(va_arg(a.ap, intmax_t));
    case Length::z: case Length::t: return int64_t(va_arg(a.ap, ptrdiff_t));
    default: return va_arg(a.ap, int);
    }
}

uint64_t unsignedArg(Length length, Args& a)
{
    switch (length) {
    case Length::hh: return static_cast<unsigned char>(va_arg(a.ap, unsigned));
    case Length::h: return static_cast<unsigned short>(va_arg(a.ap, unsigned));
    case Length::l: return va_arg(a.ap, unsigned long);
    case Length::ll: case Length::L: return va_arg(a.ap, unsigned long long);
    case Length::j: return uint64_t(va_arg(a.ap, uintmax_t));
    case Length::z: case Length::t: return uint64_t(va_arg(a.ap, size_t));
    default: return va_arg(a.ap, unsigned);
    }
}

void storeCount(Length length, Args& a, size_t count)
{
    switch (length) {
    case Length::hh: *va_arg(a.ap, signed char*) = static_cast<signed char>(count); break;
    case Length::h: *va_arg(a.ap, short*) = static_cast<short>(count); break;
    case Length::l: *va_arg(a.ap, long*) = long(count); break;
    case Length::ll: case Length::L: *va_arg(a.ap, long long*) = (long long)(count); break;
    case Length::j: *va_arg(a.ap, intmax_t*) = intmax_t(count); break;
    case Length::z: case Length::t: *va_arg(a.ap, ptrdiff_t*) = ptrdiff_t(count); break;
    default: *va_arg(a.ap, int*) = int(count); break;
    }
}

// Reads "*" or digits; a number too large for an int saturates.
template <class C>
int readNumber(const C*& p, Args& a)
{
    if (*p == C('*')) {
        ++p;
        return va_arg(a.ap, int);
    }
    int64_t v = 0;
    while (*p >= C('0') && *p <= C('9')) {
        v = v * 10 + (*p++ - C('0'));
        if (v > INT32_MAX) v = INT32_MAX;
    }
    return int(v);
}

template <class C>
const C* parseDirective(const C* p, Args& a, Directive& d)
{
    for (;; ++p) {
        if (*p == C('-')) d.left = true;
        else if (*p == C('+')) d.plus = true;
        else if (*p == C(' ')) d.space = true;
        else if (*p == C('#')) d.alternate = true;
        else if (*p == C('0')) d.zero = true;
        else break;
    }
    int width = readNumber(p, a);
    if (width < 0) { // a negative width from an argument means left adjustment
        d.left = true;
        width = width == INT32_MIN ? INT32_MAX : -width;
    }
    d.width = width;
    if (*p == C('.')) {
        ++p;
        int precision = readNumber(p, a);
        d.precision = precision < 0 ? -1 : precision;
    }
    if (d.left) d.zero = false;
    if (d.plus) d.space = false;
    if (*p == C('h')) {
        d.length = p[1] == C('h') ? Length::hh : Length::h;
        p += d.length == Length::hh ? 2 : 1;
    } else if (*p == C('l')) {
        d.length = p[1] == C('l') ? Length::ll : Length::l;
        p += d.length == Length::ll ? 2 : 1;
    } else if (*p == C('L')) { d.length = Length::L; ++p; }
    else if (*p == C('j')) { d.length = Length::j; ++p; }
    else if (*p == C('z')) {
        // z is a conversion of its own unless an integer conversion follows it
        C next = p[1];
        if (next == C('d') || next == C('i') || next == C('u') || next == C('o') || next == C('x') ||
            next == C('X') || next == C('n')) { d.length = Length::z; ++p; }
    } else if (*p == C('t')) { d.length = Length::t; ++p; }
    else if (*p == C('I')) { // the Windows runtime's I, I32 and I64
        if (p[1] == C('6') && p[2] == C('4')) { d.length = Length::ll; p += 3; }
        else if (p[1] == C('3') && p[2] == C('2')) { p += 3; }
        else { d.length = Length::z; ++p; }
    }
    d.conversion = *p < 0x80 ? char(*p) : '?';
    return p;
}

template <class C>
C* run(const C* fmt, Args& a, size_t* length)
{
    static const C nullName[] = {C('('), C('N'), C('U'), C('L'), C('L'), C(')'), 0};
    static const C empty[] = {0};
    OutBuffer<C> out;
    const C* p = fmt ? fmt : empty;
    while (*p) {
        const C* run = p;
        while (*p && *p != C('%')) ++p;
        out.append(run, size_t(p - run));
        if (!*p) break;
        const C* start = p++;
        if (*p == 0) { // a lone percent sign at the end is printed as it is
            out.append(start, 1);
            break;
        }
        Directive d;
        p = parseDirective(p, a, d);
        switch (d.conversion) {
        case 'd': case 'i': {
            int64_t v = signedArg(d.length, a);
            emitInteger(out, d, v < 0 ? 0 - uint64_t(v) : uint64_t(v), v < 0, true);
            break;
        }
        case 'u': case 'o': case 'x': case 'X':
            emitInteger(out, d, unsignedArg(d.length, a), false, false);
            break;
        case 'p':
            d.conversion = 'u';
            emitInteger(out, d, uint64_t(reinterpret_cast<uintptr_t>(va_arg(a.ap, void*))), false, false);
            break;
        case 'f': case 'e': case 'E': case 'g': case 'G':
            if (d.length == Length::L) emitFloat(out, d, va_arg(a.ap, long double), true);
            else emitFloat(out, d, (long double)va_arg(a.ap, double), false);
            break;
        case 's': case 'z': {
            C* s = va_arg(a.ap, C*);
            if (s) emitText(out, d, s, unitsLength(s, d.precision));
            else emitText(out, d, nullName, unitsLength(nullName, d.precision));
            if (d.conversion == 'z') std::free(s);
            break;
        }
        case 'q': case 'Q':
            emitQuoted(out, d, va_arg(a.ap, const C*));
            break;
        case 'c': {
            C c = C(va_arg(a.ap, int));
            emitText(out, d, &c, 1);
            break;
        }
        case 'n':
            storeCount(d.length, a, out.length());
            break;
        case '%':
            out.append(p, 1);
            break;
        default: // an unknown conversion is printed as written
            out.append(start, size_t(p - start) + (*p ? 1 : 0));
            if (!*p) return out.release(length);
            break;
        }
        ++p;
    }
    return out.release(length);
}

} // namespace

char* formatAlloc(const char* fmt, va_list args, size_t* length)
{
    Args a;
    va_copy(a.ap, args);
    char* s = run(fmt, a, length);
    va_end(a.ap);
    return s;
}

char16_t* formatAlloc(const char16_t* fmt, va_list args, size_t* length)
{
    Args a;
    va_copy(a.ap, args);
    char16_t* s = run(fmt, a, length);
    va_end(a.ap);
    return s;
}

} // namespace Vantorix::Format
