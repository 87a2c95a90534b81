#include <gtest/gtest.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "vtx_format.h"
#include "vtx_formatbuffer.h"
#include "vtx_string.h"

using namespace Vantorix;

namespace {

std::string fmt(const char* f, ...)
{
    va_list args;
    va_start(args, f);
    size_t n = 0;
    char* s = Format::formatAlloc(f, args, &n);
    va_end(args);
    std::string out(s, n);
    EXPECT_EQ(std::strlen(s), n);
    std::free(s);
    return out;
}

std::u16string wfmt(const char16_t* f, ...)
{
    va_list args;
    va_start(args, f);
    size_t n = 0;
    char16_t* s = Format::formatAlloc(f, args, &n);
    va_end(args);
    std::u16string out(s, n);
    std::free(s);
    return out;
}

[[maybe_unused]] std::string crt(const char* f, ...)
{
    va_list args;
    va_start(args, f);
    char buf[512];
    int n = std::vsnprintf(buf, sizeof buf, f, args);
    va_end(args);
    return std::string(buf, size_t(n));
}

char* heapCopy(const char* s)
{
    char* p = static_cast<char*>(std::malloc(std::strlen(s) + 1));
    std::strcpy(p, s);
    return p;
}

} // namespace

TEST(Format, TheSystemsOwnConversions)
{
    EXPECT_EQ(fmt("%u x %u -> %u x %u\n", 1700u, 2200u, 74u, 96u), "1700 x 2200 -> 74 x 96\n");
    EXPECT_EQ(fmt("%s", static_cast<const char*>(nullptr)), "(NULL)");
    EXPECT_EQ(fmt("[%8s|%-8s]", static_cast<const char*>(nullptr), static_cast<const char*>(nullptr)),
              "[  (NULL)|(NULL)  ]");
    EXPECT_EQ(fmt("%#x %#X %#o %x", 255u, 255u, 8u, 0u), "0xff 0XFF 010 0");
    EXPECT_EQ(fmt("%p", reinterpret_cast<void*>(uintptr_t(123456789))), "123456789");
    EXPECT_EQ(fmt("%q|%Q|%Q", "it's", "it's", static_cast<const char*>(nullptr)), "it''s|'it''s'|NULL");
    EXPECT_EQ(fmt("%q", static_cast<const char*>(nullptr)), "(NULL)");
    EXPECT_EQ(fmt("<%z>", heapCopy("freed by the engine")), "<freed by the engine>"); // ASan checks the free
    EXPECT_EQ(fmt("%f %e %G", std::nan(""), -std::nan(""), std::nan("")), "NaN NaN NaN");
    EXPECT_EQ(fmt("[%6f|%-6f]", std::nan(""), std::nan("")), "[   NaN|NaN   ]");
    EXPECT_EQ(fmt("%c%c%%%5.2s", 'o', 'k', "abc"), "ok%   ab");
    int count = 0;
    long long wide = 0;
    EXPECT_EQ(fmt("abc%n%s%lln", &count, "de", &wide), "abcde");
    EXPECT_EQ(count, 3);
    EXPECT_EQ(wide, 5);
    EXPECT_EQ(fmt("%*d|%-*d|%.*d|%*.*s", 5, 42, 4, 7, 3, 5, -3, 2, "xyz"), "   42|7   |005|xy ");
    EXPECT_EQ(fmt("%I64d %zu %hhd %hu", (long long)-5000000000LL, size_t(7), 300, 70000), "-5000000000 7 44 4464");
    EXPECT_EQ(fmt("%y and %"), "%y and %");
    EXPECT_EQ(fmt(nullptr), "");
}

// The conversions the C library also has must agree with it for every flag combination. The
// engine is the same code on every system, and the C library of the Windows build strays from
// the C standard in corners (a sign place for unsigned numbers, "%#.0o" of 0), so the C library
// of the POSIX build is the reference.
#ifndef _WIN32
TEST(Format, AgreesWithTheCLibraryOnStandardConversions)
{
    std::mt19937 rng(42);
    const char* flagSets[] = {"", "-", "+", " ", "#", "0", "-+", "+0", " 0", "#0", "-#", "+ ", "-0"};
    const char convs[] = {'d', 'i', 'u', 'o', 'x', 'X', 'f', 'e', 'E', 'g', 'G', 's', 'c'};
    const char* strings[] = {"", "a", "hello world"};
    for (int round = 0; round < 20000; ++round) {
        std::string directive = "%";
        directive += flagSets[rng() % (sizeof flagSets / sizeof *flagSets)];
        if (rng() % 2) directive += std::to_string(rng() % 25);
        if (rng() % 2) directive += "." + std::to_string(rng() % 12);
        char conv = convs[rng() % sizeof convs];
        bool isLong = conv != 's' && conv != 'c' && conv != 'f' && conv != 'e' && conv != 'E' && conv != 'g' &&
                      conv != 'G' && rng() % 2;
        if (isLong) directive += "ll";
        directive += conv;
        const char* f = directive.c_str();
        std::string ours, theirs;
        switch (conv) {
        case 'd': case 'i': case 'u': case 'o': case 'x': case 'X': {
            long long v = int64_t(uint64_t(rng()) << 32 | rng()) >> (rng() % 64);
            if (rng() % 8 == 0) v = 0;
            if (isLong) {
                ours = fmt(f, v);
                theirs = crt(f, v);
            } else {
                ours = fmt(f, int(v));
                theirs = crt(f, int(v));
            }
            break;
        }
        case 'f': case 'e': case 'E': case 'g': case 'G': {
            double v = std::ldexp(double(int32_t(rng())), int(rng() % 80) - 50);
            if (rng() % 10 == 0) v = rng() % 2 ? INFINITY : -INFINITY;
            ours = fmt(f, v);
            theirs = crt(f, v);
            break;
        }
        case 's': {
            const char* s = strings[rng() % 3];
            ours = fmt(f, s);
            theirs = crt(f, s);
            break;
        }
        default: {
            int c = 'A' + int(rng() % 26);
            ours = fmt(f, c);
            theirs = crt(f, c);
        }
        }
        ASSERT_EQ(ours, theirs) << "format " << directive;
    }
}
#endif

TEST(Format, WideEngineMirrorsTheNarrowOne)
{
    EXPECT_EQ(wfmt(u"%u x %u -> %u x %u\n", 1700u, 2200u, 74u, 96u), u"1700 x 2200 -> 74 x 96\n");
    EXPECT_EQ(wfmt(u"%s|%s|%5.1f|%#x", u"\u20ac", static_cast<const char16_t*>(nullptr), 2.25, 255u),
              u"\u20ac|(NULL)|  2.2|0xff");
    EXPECT_EQ(wfmt(u"%Q %c %f", u"a'b", int(u'\u00e9'), std::nan("")), u"'a''b' \u00e9 NaN");
    EXPECT_EQ(String::formatWide(u"%s=%d", u"k", -1), "k=-1");
}

TEST(Format, BufferGrowthRule)
{
    Format::OutBuffer<char> out;
    EXPECT_EQ(out.capacity(), 200u);
    std::string piece(150, 'a');
    out.append(piece.data(), 150);
    out.append(piece.data(), 49); // 199 + terminator fills the stack buffer exactly
    EXPECT_TRUE(out.onStack());
    out.append("b", 1); // 199 + 1 + 1 > 200: capacity 199 + 2 + 1
    EXPECT_FALSE(out.onStack());
    EXPECT_EQ(out.capacity(), 202u);
    out.append(piece.data(), 100); // 200 + 100 + 1 > 202: 200 + 200 + 1
    EXPECT_EQ(out.capacity(), 401u);
    size_t n = 0;
    char* s = out.release(&n); // 300 used of 401: shrunk to 301
    EXPECT_EQ(n, 300u);
    EXPECT_EQ(s[299], 'a');
    EXPECT_EQ(s[300], 0);
    std::free(s);

    Format::OutBuffer<char16_t> wide;
    EXPECT_EQ(wide.capacity(), 100u); // the same 200 bytes
    EXPECT_EQ(fmt("%s", std::string(100000, 'z').c_str()).size(), 100000u);
    EXPECT_EQ(fmt("%5000d", 1).size(), 5000u);
}

TEST(Format, StringFormatReadsTheResultAsText)
{
    // Arguments and result are in the system's narrow code page.
    String e("\xc3\xa9"); // U+00E9, in every code page the tests run under
    String s = String::format("%s: %d%%", e.getNarrow(), 5);
    EXPECT_EQ(s, "\xc3\xa9: 5%");
    EXPECT_EQ(s.getUtf16()[0], 0xE9);
#ifndef _WIN32
    String bom = String::format("%s", "\xef\xbb\xbfx"); // a leading U+FEFF in text is kept
    EXPECT_EQ(bom.getLength(), 4u);
#endif
}
