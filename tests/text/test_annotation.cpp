// The annotation list syntax, its errors, the value conversions and the display settings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bzz_testwriter.h"
#include "djv_annotation.h"
#include "djv_chunkimpls.h"
#include "testutil.h"

namespace {

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::AnnoParse;

constexpr const char* kParse = "_Vtx_Internal_NS_::parseAnno";

// A tree written back: lists in parentheses, quoted atoms in <angle brackets>, so that the
// quoting is visible.
std::string show(const Element& e)
{
    const ElementArray* list = e.asArray();
    if (!list) return e.isQuoted() ? "<" + e.getText().toStdString() + ">" : e.getText().toStdString();
    std::string out = "(";
    for (uint32_t i = 0; i < list->getElements().getSize(); ++i)
        out += (i ? " " : "") + show(*list->getElements()[i]);
    return out + ")";
}

// An input text and what it must give (a tree, a message).
struct Case {
    const char* text;
    const char* expected;
};

std::string parsed(const std::string& text)
{
    AutoPtr<ElementArray> root = ElementArray::create();
    parse(*root, text.data(), uint32_t(text.size()));
    return show(*root);
}

TEST(AnnoParse, Lists)
{
    const Case cases[] = {
        {"(background #FFFFFF)", "((background #FFFFFF))"},
        {"(a (b c) d)", "((a (b c) d))"},
        {"(x \"say \\\"hi\\\"\")", "((x <say \"hi\">))"},
        {"(x \"a (b) c\")", "((x <a (b) c>))"},
        {"junk (a) between (b) after", "((a) (b))"},
        {"(a\xC2\xA0" "b\xE3\x80\x80" "c)", "((a b c))"},
        {"(\"\")", "((<>))"},
        {"()", "(())"},
        {"(a\"b\")", "((a\"b\"))"},          // a quote inside an atom is part of it
        {"(\"a\\\\b\" \"c\\nd\")", "((<a\\\\b> <c\\nd>))"}, // other escapes stay as written
        {"(ab(c)d)", "((ab (c) d))"},           // a pending atom ends at a nested list
        {"(caf\xC3\xA9 \xE2\x82\xAC)", "((caf\xC3\xA9 \xE2\x82\xAC))"},
        {"(a)(b)", "((a) (b))"},
    };
    for (const Case& c : cases) EXPECT_EQ(parsed(c.text), c.expected) << c.text;
}

TEST(AnnoParse, ExactlyTheTwentyWhitespaceCodePointsSeparateAtoms)
{
    const char* blanks[] = {"\t", "\n", "\v", "\f", "\r", " ", "\xC2\xA0", "\xE2\x80\x80", "\xE2\x80\x81",
                            "\xE2\x80\x82", "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86",
                            "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\x8B",
                            "\xE3\x80\x80"};
    for (const char* b : blanks) EXPECT_EQ(parsed(std::string("(a") + b + "b)"), "((a b))") << int(uint8_t(b[0]));
    // Neighbours of the set join atoms.
    for (const char* other : {"\x08", "\x0E", "\x1F", "\xE2\x80\x8C", "\xE2\x80\xAF", "\xE3\x80\x81", "\xC2\xA1"})
        EXPECT_EQ(parsed(std::string("(a") + other + "b)"), std::string("((a") + other + "b))");
}

TEST(AnnoParse, Errors)
{
    const Case cases[] = {
        {"(word", "No matching ')' found!"},
        {"(", "No matching ')' found!"},
        {"(a (b c)", "No matching ')' found!"},
        {"(\"abc", "No matching \" found!"},
        {"(a \"b\\", "Malformed escape!"},
        {"(a \xE2\x82", "No matching \" found!"}, // a character cut by the end
        {"(a (\"b) c)", "No matching \" found!"},
    };
    for (const Case& c : cases)
        vtxtest::expectThrow([&] { parsed(c.text); }, 20, kParse, c.expected);
    AutoPtr<ElementArray> list = ElementArray::create();
    vtxtest::expectThrow([&] { parseAnno(*list, "x(a)", 0, 4); }, 20, kParse, "The data does not start with '('!");
    vtxtest::expectThrow([&] { parsed(std::string(300, '(') + std::string(300, ')')); }, 20, kParse,
                         "Annotation lists nest too deeply!");
}

TEST(AnnoParse, ParseAnnoReturnsThePositionAfterItsList)
{
    AutoPtr<ElementArray> list = ElementArray::create();
    const std::string text = "xx(a (b) c) (d)";
    EXPECT_EQ(parseAnno(*list, text.data(), 2, uint32_t(text.size())), 11u);
    EXPECT_EQ(show(*list), "(a (b) c)");
}

TEST(AnnotationConvert, Colors)
{
    EXPECT_EQ(Annotation::convertColor("#00ff00"), 0x00FF00);
    EXPECT_EQ(Annotation::convertColor("#FF8000"), 0xFF8000);
    EXPECT_EQ(Annotation::convertColor("#000000"), 0);
    for (const char* bad : {"#FFFFF", "00ff00", "FF00FF0", "#00ff0g", "#00ff000", "", "# 0ff00", "#-0ff00"})
        vtxtest::expectThrow([&] { Annotation::convertColor(bad); }, 20, "_Vtx_Internal_NS_::convertColor",
                             std::string("Invalid Color \"") + bad + "\"!");
}

TEST(AnnotationConvert, KeywordsAndLinks)
{
    const char* const table[] = {"none", "left", "center", "right"};
    EXPECT_EQ(Annotation::convertString("center", table, 4), 2);
    vtxtest::expectThrow([&] { Annotation::convertString("Center", table, 4); }, 20,
                         "_Vtx_Internal_NS_::convertString", "Invalid Data \"Center\"!");
    const Case links[] = {{"#file:///home/user/chapter2.djvu", "#chapter2.djvu"}, {"#file://x.djvu", "#x.djvu"},
                          {"#file://", "#"}, {"#p0002.djvu", "#p0002.djvu"}, {"http://a/b/c", "http://a/b/c"},
                          {"file:///a/b", "file:///a/b"}, {"", ""}};
    for (const Case& c : links) EXPECT_EQ(Annotation::convertLink(c.text), c.expected) << c.text;
}

DisplaySettings settingsOf(const std::string& text)
{
    AutoPtr<Annotation> a = Annotation::create();
    a->decodeText(text.data(), uint32_t(text.size()));
    return a->getSettings();
}

TEST(AnnotationSettings, Keywords)
{
    struct Case {
        const char* text;
        std::optional<int32_t> DisplaySettings::*field;
        int32_t value;
    } cases[] = {
        {"(zoom d150)", &DisplaySettings::zoom, 150},  {"(zoom d)", &DisplaySettings::zoom, 0},
        {"(zoom d12x3)", &DisplaySettings::zoom, 12},  {"(zoom dx)", &DisplaySettings::zoom, 0},
        {"(zoom stretch)", &DisplaySettings::zoom, -4}, {"(zoom one2one)", &DisplaySettings::zoom, -3},
        {"(zoom width)", &DisplaySettings::zoom, -2},  {"(zoom page)", &DisplaySettings::zoom, -1},
        {"(zoom none)", &DisplaySettings::zoom, 0},    {"(mode none)", &DisplaySettings::mode, 0},
        {"(mode color)", &DisplaySettings::mode, 1},   {"(mode bw)", &DisplaySettings::mode, 2},
        {"(mode fore)", &DisplaySettings::mode, 3},    {"(mode back)", &DisplaySettings::mode, 4},
        {"(background #00ff00)", &DisplaySettings::backgroundColor, 0x00FF00},
        {"(align right bottom)", &DisplaySettings::alignHorizontal, 3},
        {"(align right bottom)", &DisplaySettings::alignVertical, 3},
        {"(align none top)", &DisplaySettings::alignVertical, 1},
        {"(align left center)", &DisplaySettings::alignHorizontal, 1},
        {"(zoom d10) (zoom width)", &DisplaySettings::zoom, -2}, // a later list replaces
        {"(zoom \"d20\")", &DisplaySettings::zoom, 20},           // quoting does not matter
    };
    for (const Case& c : cases) EXPECT_EQ(settingsOf(c.text).*c.field, c.value) << c.text;
}

TEST(AnnotationSettings, ListsOfAnotherShapeOrKeyChangeNothing)
{
    for (const char* text : {"", "(align left)", "(align left top center)", "(zoom)", "(zoom d1 d2)", "(mode)",
                             "(background)", "(maparea \"#a\" \"\" (rect 1 2 3 4))", "(metadata (zoom d5))",
                             "((zoom) d5)", "()"}) {
        DisplaySettings s = settingsOf(text);
        EXPECT_FALSE(s.zoom || s.mode || s.alignHorizontal || s.alignVertical || s.backgroundColor) << text;
    }
}

TEST(AnnotationSettings, UnknownKeywordsFailTheWholeReading)
{
    const Case cases[] = {{"(zoom fit)", "Invalid Data \"fit\"!"}, {"(mode grey)", "Invalid Data \"grey\"!"},
                          {"(align top left)", "Invalid Data \"top\"!"}, {"(zoom (d5))", "Invalid Data \"\"!"}};
    for (const Case& c : cases)
        vtxtest::expectThrow([&] { settingsOf(c.text); }, 20, "_Vtx_Internal_NS_::convertString", c.expected);
    vtxtest::expectThrow([] { settingsOf("(background red)"); }, 20, "_Vtx_Internal_NS_::convertColor",
                         "Invalid Color \"red\"!");

    // What an earlier chunk gave stays when a later one fails.
    AutoPtr<Annotation> a = Annotation::create();
    const std::string good = "(zoom d80)", bad = "(mode bw) (zoom fit)";
    a->decodeText(good.data(), uint32_t(good.size()));
    EXPECT_TRUE(vtxtest::thrownBy([&] { a->decodeText(bad.data(), uint32_t(bad.size())); }).thrown);
    EXPECT_EQ(a->getSettings().zoom, 80);
    EXPECT_FALSE(a->getSettings().mode);
    EXPECT_EQ(a->getElements().getElements().getSize(), 1u);
}

TEST(AnnotationDecode, ChunksAppendInOrder)
{
    const std::string first = "(zoom d80) (mode bw)", second = "(zoom width)";
    std::vector<uint8_t> packed =
        zptest::BzzTestWriter::compress(std::vector<uint8_t>(second.begin(), second.end()), 0, 4096);
    AutoPtr<Annotation> a = Annotation::create();
    a->decode(*ChunkImpl::create("ANTa", first.data(), uint32_t(first.size())));
    a->decode(*ChunkImpl::create("ANTz", packed.data(), uint32_t(packed.size())));
    EXPECT_EQ(show(a->getElements()), "((zoom d80) (mode bw) (zoom width))");
    EXPECT_EQ(a->getSettings().zoom, -2);
    EXPECT_EQ(a->getSettings().mode, 2);
    vtxtest::expectThrow([&] { a->decode(*ChunkImpl::create("TXTa", "", 0)); }, 7,
                         "_Vtx_Internal_NS_::AnnotationImpl::decode", "Not a ANT* chunk!");
}

} // namespace
