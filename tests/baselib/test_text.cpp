// Text: UTF conversions, String, replacement, number parsing and the printf engine.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "testutil.h"
#include "vtx_format.h"
#include "vtx_formatbuffer.h"
#include "vtx_misc.h"
#include "vtx_string.h"
#include "vtx_syncobjs.h"

using namespace Vantorix;
using vtxtest::expectThrow;

namespace {

std::string bytesOf(const String& s) { return std::string(s.getUtf8(), s.getLength()); }

// Plain left-to-right, non-overlapping replacement, as a reference.
std::string referenceReplace(const std::string& s, const std::string& what, const std::string& with)
{
    std::string out;
    size_t i = 0;
    for (size_t at; (at = s.find(what, i)) != std::string::npos; i = at + what.size()) {
        out.append(s, i, at - i);
        out += with;
    }
    return out + s.substr(i);
}

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

TEST(Utf, CodePointsSurrogatesAndByteOrderMarks)
{
    String euro("\xe2\x82\xac");
    EXPECT_EQ(euro.getUtf16()[0], 0x20AC);
    EXPECT_EQ(euro.getUtf32()[0], U'\u20ac');
    const char16_t pair[] = {0xD83D, 0xDE00, 0};
    String smile = String::fromUtf16(pair);
    EXPECT_EQ(bytesOf(smile), "\xf0\x9f\x98\x80");
    EXPECT_EQ(smile.getUtf32()[0], 0x1F600u);
    EXPECT_EQ(std::u16string(smile.getUtf16()), std::u16string(pair));

    // Five- and six-byte forms of the largest values survive a round trip through UTF-32.
    String big = String::fromUtf8("\xf8\x88\x80\x80\x80\xfd\xbf\xbf\xbf\xbf\xbf");
    EXPECT_EQ(std::u32string(big.getUtf32()), (std::u32string{0x200000, 0x7FFFFFFF}));

    // A byte order mark at the start of UTF-16 input says how to read it and is dropped.
    const char16_t swapped[] = {0xFFFE, 0x4100, 0x4200, 0};  // bytes FF FE 41 00 42 00 read big-endian
    const char16_t native[] = {0xFEFF, 0x0041, 0};
    EXPECT_EQ(String::fromUtf16(swapped), "AB");
    EXPECT_EQ(String::fromUtf16(native), "A");
    const char16_t counted[] = {0xFFFE, 0x4100, 0x4200};
    EXPECT_EQ(String::fromUtf16(counted, 2), "A");
}

TEST(Utf, MalformedInputIsDecodedByLength)
{
    // A stray continuation byte and 0xFF stand for themselves; a cut sequence ends the text.
    EXPECT_EQ(std::u32string(String::fromUtf8("a\x80\xff" "b\xe2\x82").getUtf32()), U"a\x80\xff" "b");
    // A lone high surrogate at the end of UTF-16 input stays one unit.
    const char16_t lone[] = {u'x', 0xD800, 0};
    EXPECT_EQ(String::fromUtf16(lone).getUtf32()[1], 0xD800u);
}

TEST(String, SharingSubstringsAndCaches)
{
    String a("hello world");
    String b = a;
    String w = a.substring(6);
    EXPECT_STREQ(w.getNarrow(), "world"); // the cached narrow form of a substring stops at its end
    EXPECT_EQ(a.find("o", 5), 7);
    b += "!"; // the shared buffer is not written through
    EXPECT_EQ(a, "hello world");
    EXPECT_EQ(b, "hello world!");
    EXPECT_TRUE(String::fromUtf8(nullptr).isEmpty());
    EXPECT_STREQ(String().getNarrow(), "");
}

// A default String holds no buffer; it must be indistinguishable from every other empty one.
TEST(String, EveryEmptyStringBehavesAlike)
{
    String movedFrom("abc");
    String taker(std::move(movedFrom));
    String assignedFrom("abc");
    taker = std::move(assignedFrom);
    const std::vector<std::pair<const char*, String>> empties = {
        {"default", String()},
        {"empty literal", String("")},
        {"null pointer", String(static_cast<const char*>(nullptr))},
        {"empty std::string", String(std::string())},
        {"fromUtf8 of length 0", String::fromUtf8("abc", 0)},
        {"fromUtf16 of length 0", String::fromUtf16(u"abc", 0)},
        {"substring past the end", String("abc").substring(3)},
        {"empty substring", String("abc").substring(1, 0)},
        {"everything replaced", String("abab").replaced("ab", "")},
        {"empty format", String::format("%s", "")},
        {"moved from", movedFrom},
        {"move-assigned from", assignedFrom},
    };
    for (const auto& [name, e] : empties) {
        SCOPED_TRACE(name);
        EXPECT_EQ(e.getLength(), 0u);
        EXPECT_TRUE(e.isEmpty());
        ASSERT_NE(e.getUtf8(), nullptr);
        for (int i = 0; i < 6; ++i) EXPECT_EQ(e.getUtf8()[i], 0); // conversions may read this far
        EXPECT_STREQ(e.getNarrow(), "");
        EXPECT_EQ(e.getUtf16()[0], u'\0');
        EXPECT_EQ(e.getUtf32()[0], U'\0');
        EXPECT_EQ(e.toStdString(), "");
        EXPECT_EQ(e, String());
        EXPECT_EQ(e, "");
        EXPECT_EQ(e.compare(String("a")), -1);
        EXPECT_EQ(String("a").compare(e), 1);
        EXPECT_EQ(e.find(""), 0);
        EXPECT_EQ(e.find("a"), -1);
        EXPECT_EQ(e.find("", 1), -1);
        EXPECT_TRUE(e.substring(0).isEmpty());
        EXPECT_TRUE(e.startsWith(""));
        EXPECT_TRUE(e.endsWith(""));
        EXPECT_FALSE(e.startsWith("a"));
        EXPECT_EQ(e + "x", "x");
        EXPECT_EQ(String("x") + e, "x");
        EXPECT_TRUE(e.replaced("a", "b").isEmpty());
        String grown = e;
        grown += "y";
        EXPECT_EQ(grown, "y");
        EXPECT_TRUE(e.isEmpty()); // the copy grew alone
        String copy;
        copy = e;
        EXPECT_EQ(copy.getLength(), 0u);
    }
}

TEST(StringReplace, SmallCasesAndErrors)
{
    EXPECT_EQ(String("a/b").replaced("/", "\\"), "a\\b");
    EXPECT_EQ(String("ab").replaced("abc", "x"), "ab");
    EXPECT_EQ(String("aaaa").replaced("aa", "a"), "aa");
    EXPECT_EQ(String("abab").replaced("ab", ""), "");
    String s("x-y-z");
    String::replace(s, s, "-", "--"); // source and result may be the same value
    EXPECT_EQ(s, "x--y--z");
    expectThrow([] { String("abc").replaced("", "x"); }, 7, "Vantorix::String::replace", "inReplacee is empty!");
}

// Long sources take the skip-table search; both searches must find the same occurrences.
TEST(StringReplace, SkipSearchAgreesWithPlainSearch)
{
    std::mt19937 rng(3);
    for (int round = 0; round < 400; ++round) {
        size_t n = rng() % 2 ? 512 + rng() % 3000 : rng() % 512;
        const char* alphabet = round % 3 == 0 ? "ab" : "abcd\xc3\xa9";
        size_t k = std::strlen(alphabet);
        std::string src, what, with;
        for (size_t i = 0; i < n; ++i) src += alphabet[rng() % k];
        size_t m = 1 + rng() % 7;
        for (size_t i = 0; i < m; ++i) what += alphabet[rng() % k];
        for (size_t i = rng() % 5; i > 0; --i) with += "XY"[rng() % 2];
        ASSERT_EQ(bytesOf(String(src).replaced(String(what), String(with))), referenceReplace(src, what, with))
            << "source of " << n << " bytes, replacing '" << what << "'";
    }
    std::string many(100000, 'a'); // far more occurrences than the initial 128 positions
    EXPECT_EQ(String(many).replaced("aaaa", "b").getLength(), 25000u);
}

TEST(Numbers, DecimalAndHex)
{
    EXPECT_EQ(Decimal::fromStrToInt("0042", 4), 42);
    EXPECT_EQ(Decimal::fromStrToInt("12a", 2), 12);
    EXPECT_EQ(Decimal::fromStrToInt(nullptr, 0), 0);
    EXPECT_EQ(Decimal::fromStrToInt("2147483647", 10), INT32_MAX);
    EXPECT_EQ(Hex::fromStrToInt("fF", 2), 255);
    EXPECT_EQ(Hex::fromStrToInt("7fffffff", 8), INT32_MAX);
    for (const char* bad : {"12a", "2147483648", "-1", " 1"})
        expectThrow([&] { Decimal::fromStrToInt(bad, uint32_t(std::strlen(bad))); }, 20, "Vantorix::Decimal::fromStrToInt",
                    "errDataBroken");
    for (const char* bad : {"0x1", "80000000", "g"})
        expectThrow([&] { Hex::fromStrToInt(bad, uint32_t(std::strlen(bad))); }, 20, "Vantorix::Hex::fromStrToInt",
                    "errDataBroken");
}

TEST(GlobalObjectName, SlashesAndPrefix)
{
    EXPECT_EQ(makeGlobalObjectName("a/b"), "Global\\a\\b");
    EXPECT_EQ(makeGlobalObjectName("\\a"), "Global\\a");
    EXPECT_EQ(makeGlobalObjectName(""), "");
}

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

// Results around the 200-byte stack buffer and far beyond it.
TEST(Format, LongResults)
{
    for (size_t n : {198, 199, 200, 201, 402, 100000}) {
        std::string text(n, 'z');
        EXPECT_EQ(fmt("%s", text.c_str()), text);
        EXPECT_EQ(fmt(u"%s", std::u16string(n, u'z').c_str()).size(), n);
    }
    EXPECT_EQ(fmt("%5000d", 1).size(), 5000u);

    // A one-unit overrun of the stack buffer would land inside the buffer object, out of ASan's sight.
    Format::OutBuffer<char> out;
    out.append(std::string(199, 'a').data(), 199); // with the terminator, exactly full
    EXPECT_TRUE(out.onStack());
    out.append("b", 1);
    EXPECT_FALSE(out.onStack());
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
