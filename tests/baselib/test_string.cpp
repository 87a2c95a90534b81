#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "testutil.h"
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
    EXPECT_EQ(w, "world");
    EXPECT_STREQ(w.getNarrow(), "world"); // the cached narrow form of a substring stops at its end
    EXPECT_EQ(a.find("o"), 4);
    EXPECT_EQ(a.find("o", 5), 7);
    EXPECT_EQ(a.find("xyz"), -1);
    EXPECT_TRUE(a.startsWith("hell"));
    EXPECT_TRUE(a.endsWith("rld"));
    EXPECT_LT(String("abc"), String("abd"));
    EXPECT_LT(String("ab"), String("abc"));
    b += "!";
    EXPECT_EQ(a, "hello world");
    EXPECT_EQ(b, "hello world!");
    EXPECT_TRUE(String("").isEmpty());
    EXPECT_TRUE(String::fromUtf8(nullptr).isEmpty());
    EXPECT_STREQ(String().getNarrow(), "");
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
    EXPECT_EQ(makeGlobalObjectName("/a"), "Global\\a");
    EXPECT_EQ(makeGlobalObjectName("\\a"), "Global\\a");
    EXPECT_EQ(makeGlobalObjectName(""), "");
}
