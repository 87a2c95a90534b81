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

// The engine's result for a narrow or wide format, checked to be as long as it says.
template <class C>
std::basic_string<C> fmt(const C* f, ...)
{
    va_list args;
    va_start(args, f);
    size_t n = 0;
    C* s = Format::formatAlloc(f, args, &n);
    va_end(args);
    std::basic_string<C> out(s, n);
    EXPECT_EQ(std::char_traits<C>::length(s), n);
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

char* heapCopy(const char* s) { return static_cast<char*>(std::memcpy(std::malloc(std::strlen(s) + 1), s, std::strlen(s) + 1)); }

const char* const kNull = nullptr;

} // namespace

TEST(Format, TheSystemsOwnConversions)
{
    int count = 0;
    long long wide = 0;
    const std::pair<std::string, const char*> cases[] = {
        {fmt("%u x %u -> %u x %u\n", 1700u, 2200u, 74u, 96u), "1700 x 2200 -> 74 x 96\n"},
        {fmt("%s", kNull), "(NULL)"},
        {fmt("[%8s|%-8s]", kNull, kNull), "[  (NULL)|(NULL)  ]"},
        {fmt("%#x %#X %#o %x", 255u, 255u, 8u, 0u), "0xff 0XFF 010 0"},
        {fmt("%p", reinterpret_cast<void*>(uintptr_t(123456789))), "123456789"},
        {fmt("%q|%Q|%Q", "it's", "it's", kNull), "it''s|'it''s'|NULL"},
        {fmt("%q", kNull), "(NULL)"},
        {fmt("<%z>", heapCopy("freed by the engine")), "<freed by the engine>"}, // ASan checks the free
        {fmt("%f %e %G", std::nan(""), -std::nan(""), std::nan("")), "NaN NaN NaN"},
        {fmt("[%6f|%-6f]", std::nan(""), std::nan("")), "[   NaN|NaN   ]"},
        {fmt("%c%c%%%5.2s", 'o', 'k', "abc"), "ok%   ab"},
        {fmt("abc%n%s%lln", &count, "de", &wide), "abcde"},
        {fmt("%*d|%-*d|%.*d|%*.*s", 5, 42, 4, 7, 3, 5, -3, 2, "xyz"), "   42|7   |005|xy "},
        {fmt("%I64d %zu %hhd %hu", (long long)-5000000000LL, size_t(7), 300, 70000), "-5000000000 7 44 4464"},
        {fmt("%y and %"), "%y and %"},
        {fmt(kNull), ""},
    };
    for (const auto& [got, want] : cases) EXPECT_EQ(got, want);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(wide, 5);

    // The wide engine mirrors the narrow one.
    EXPECT_EQ(fmt(u"%u x %u -> %u x %u\n", 1700u, 2200u, 74u, 96u), u"1700 x 2200 -> 74 x 96\n");
    EXPECT_EQ(fmt(u"%s|%s|%5.1f|%#x", u"\u20ac", static_cast<const char16_t*>(nullptr), 2.25, 255u),
              u"\u20ac|(NULL)|  2.2|0xff");
    EXPECT_EQ(fmt(u"%Q %c %f", u"a'b", int(u'\u00e9'), std::nan("")), u"'a''b' \u00e9 NaN");
    EXPECT_EQ(String::formatWide(u"%s=%d", u"k", -1), "k=-1");
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
    const std::string convs = "diuoxXfeEgGsc";
    const char* strings[] = {"", "a", "hello world"};
    for (int round = 0; round < 20000; ++round) {
        std::string f = std::string("%") + flagSets[rng() % std::size(flagSets)];
        if (rng() % 2) f += std::to_string(rng() % 25);
        if (rng() % 2) f += "." + std::to_string(rng() % 12);
        size_t kind = rng() % convs.size(); // integers, floating point, text
        bool isLong = kind < 6 && rng() % 2;
        f += (isLong ? "ll" : "") + convs.substr(kind, 1);
        long long v = int64_t(uint64_t(rng()) << 32 | rng()) >> (rng() % 64);
        if (rng() % 8 == 0) v = 0;
        double d = rng() % 10 == 0 ? (rng() % 2 ? INFINITY : -INFINITY) : std::ldexp(double(int32_t(rng())), int(rng() % 80) - 50);
        const char* s = strings[rng() % 3];
        int c = 'A' + int(rng() % 26);
        const char* ff = f.c_str();
        auto both = [&](auto arg) { return std::pair(fmt(ff, arg), crt(ff, arg)); };
        auto [ours, theirs] = kind < 6 ? (isLong ? both(v) : both(int(v))) : kind < 11 ? both(d) : kind == 11 ? both(s) : both(c);
        ASSERT_EQ(ours, theirs) << f;
    }
}
#endif

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

    EXPECT_EQ(Format::OutBuffer<char16_t>().capacity(), 100u); // the same 200 bytes
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
