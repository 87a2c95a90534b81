// Hidden text, annotations and outlines of the documents that pdf2djvu and djvused wrote,
// against what djvused prints for them (gen_text.sh).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "djv_annotation.h"
#include "djv_document.h"
#include "djv_text.h"
#include "sexpr_testutil.h"
#include "testutil.h"
#include "text_testutil.h"

namespace {

using namespace Vantorix;
using namespace Vantorix::DjVu;
using vtxtest::SExpr;

// Plain strings, not paths: under wine a path must keep its forward slashes.
const std::string kDir = VTX_FIXTURE_DIR "/text/";

std::string readText(const std::string& path)
{
    vtxtest::Bytes b = vtxtest::readFile(path);
    return std::string(b.begin(), b.end());
}

std::vector<std::string> documents()
{
    std::vector<std::string> docs;
    std::istringstream in(readText(kDir + "manifest.txt"));
    for (std::string line; std::getline(in, line);) docs.push_back(line);
    return docs;
}

std::string refDir(const std::string& doc)
{
    return kDir + "ref/" + doc.substr(0, doc.size() - 5) + "/";
}

// What djvused prints of a zone tree, and ours, in one shape: type name, rectangle in the
// displayed top-down orientation, and the leaf texts without their trailing separators.
struct Zone {
    std::string type;
    ZoneRect rect;
    std::string text;
    std::vector<Zone> children;
    bool operator==(const Zone&) const = default;
};

void PrintTo(const Zone& z, std::ostream* os)
{
    *os << "(" << z.type << " " << z.rect.x << "," << z.rect.y << " " << z.rect.w << "x" << z.rect.h << " \""
        << z.text << "\"";
    for (const Zone& c : z.children) PrintTo(c, os);
    *os << ")";
}

const char* const kTypeNames[] = {"?", "page", "column", "region", "para", "line", "word", "char"};

std::string trimSeparators(std::string s)
{
    while (!s.empty() && (std::isspace(static_cast<unsigned char>(s.back())) || s.back() == 0x1D || s.back() == 0x1F))
        s.pop_back();
    return s;
}

Zone ours(const TextZone& zone)
{
    Zone z{zone.getType() < 8 ? kTypeNames[zone.getType()] : "?", zone.getRect(), "", {}};
    if (zone.getChildren().empty()) z.text = trimSeparators(zone.getText().toStdString());
    for (const AutoPtr<TextZone>& child : zone.getChildren()) z.children.push_back(ours(*child));
    return z;
}

// djvused's xmin ymin xmax ymax, bottom-up on the stored page, turned as the page is shown.
ZoneRect displayed(const SExpr& e, const PageInfo& info, uint32_t rotation)
{
    int32_t x0 = std::stoi(e.items[1].atom), y0 = std::stoi(e.items[2].atom);
    int32_t x1 = std::stoi(e.items[3].atom), y1 = std::stoi(e.items[4].atom);
    ZoneRect r{x0, int32_t(info.height) - y1, x1 - x0, y1 - y0};
    const int32_t w = int32_t(info.width), h = int32_t(info.height);
    switch (rotation) {
    case 1: return {r.y, w - r.x - r.w, r.h, r.w};
    case 2: return {w - r.x - r.w, h - r.y - r.h, r.w, r.h};
    case 3: return {h - r.y - r.h, r.x, r.h, r.w};
    default: return r;
    }
}

ZoneRect boundingBox(const std::vector<Zone>& zones)
{
    int32_t x0 = INT32_MAX, y0 = INT32_MAX, x1 = INT32_MIN, y1 = INT32_MIN;
    for (const Zone& z : zones) {
        x0 = std::min(x0, z.rect.x);
        y0 = std::min(y0, z.rect.y);
        x1 = std::max(x1, z.rect.x + z.rect.w);
        y1 = std::max(y1, z.rect.y + z.rect.h);
    }
    return {x0, y0, x1 - x0, y1 - y0};
}

// djvused prints the rectangle a parent zone stores; the library answers the box around its
// children, whatever the parent stores.
Zone theirs(const SExpr& e, const PageInfo& info, uint32_t rotation)
{
    Zone z{e.items[0].atom, displayed(e, info, rotation), "", {}};
    for (size_t i = 5; i < e.items.size(); ++i) {
        if (e.items[i].list)
            z.children.push_back(theirs(e.items[i], info, rotation));
        else
            z.text = e.items[i].atom;
    }
    if (!z.children.empty()) z.rect = boundingBox(z.children);
    return z;
}

// djvused prints the text with the separator that ends a page added where the writer left it
// out (pdf2djvu does); the library answers the text as stored.
void expectStoredText(const std::string& stored, const std::string& printed)
{
    if (printed == stored + "\f" && (stored.empty() || stored.back() != '\f')) return;
    EXPECT_EQ(stored, printed);
}

SExpr tree(const AnnoParse::Element& e)
{
    SExpr s;
    const AnnoParse::ElementArray* list = e.asArray();
    if (!list) {
        // The library keeps every backslash but the one before a quote as written; DjVuLibre
        // reads them as C escapes.
        s.atom = e.isQuoted() ? vtxtest::unescapeC(e.getText().toStdString()) : e.getText().toStdString();
        return s;
    }
    s.list = true;
    for (const AutoPtr<AnnoParse::Element>& item : list->getElements()) s.items.push_back(tree(*item));
    return s;
}

SExpr outlineTree(const Bookmark& b)
{
    SExpr s{true, "", {SExpr{false, b.getTitle().toStdString(), {}}, SExpr{false, b.getLink().toStdString(), {}}}};
    for (const AutoPtr<Bookmark>& child : b.getChildren()) s.items.push_back(outlineTree(*child));
    return s;
}

// djvused prints links as stored; the library turns "#file://" links into page names.
SExpr referenceOutline(const SExpr& e)
{
    SExpr s{true, "", {e.items[0], SExpr{false, Annotation::convertLink(e.items[1].atom).toStdString(), {}}}};
    for (size_t i = 2; i < e.items.size(); ++i) s.items.push_back(referenceOutline(e.items[i]));
    return s;
}

class Reference : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(vtxtest::fileExists(kDir + "manifest.txt"));
        doc_ = Document::create(String(kDir + GetParam()));
    }
    std::string ref(const std::string& name) const { return readText(refDir(GetParam()) + name); }
    AutoPtr<Document> doc_;
};

TEST_P(Reference, PageCount)
{
    EXPECT_EQ(doc_->getPages().getSize(), uint32_t(std::stoi(ref("pages"))));
}

TEST_P(Reference, PageTextAndZonesEqualDjvused)
{
    const PageArray& pages = doc_->getPages();
    for (uint32_t n = 0; n < pages.getSize(); ++n) {
        SCOPED_TRACE("page " + std::to_string(n + 1));
        Page& page = *pages[n];
        AutoPtr<TextZone> text = page.getText();
        std::vector<SExpr> zones = vtxtest::readSExprs(ref("p" + std::to_string(n + 1) + ".txt"));
        ASSERT_EQ(bool(text), !zones.empty());
        if (!text) continue;
        expectStoredText(text->getPageText().toStdString(), ref("p" + std::to_string(n + 1) + ".pure"));
        EXPECT_EQ(text->getRotation(), page.getRotation());
        ASSERT_EQ(zones.size(), 1u);
        EXPECT_EQ(ours(*text), theirs(zones[0], page.getInfo(), page.getRotation()));
    }
}

TEST_P(Reference, AnnotationListsEqualDjvusedSharedFirst)
{
    std::string shared;
    if (vtxtest::fileExists(refDir(GetParam()) + "shared.ant")) shared = ref("shared.ant");
    const PageArray& pages = doc_->getPages();
    for (uint32_t n = 0; n < pages.getSize(); ++n) {
        SCOPED_TRACE("page " + std::to_string(n + 1));
        std::vector<SExpr> expected = vtxtest::readSExprs(shared + ref("p" + std::to_string(n + 1) + ".ant"));
        // Text between the lists is no annotation.
        std::erase_if(expected, [](const SExpr& e) { return !e.list; });
        AutoPtr<Annotation> annotation = pages[n]->getAnnotation();
        ASSERT_EQ(bool(annotation), !expected.empty());
        if (!annotation) continue;
        EXPECT_EQ(tree(annotation->getElements()).items, expected);
    }
}

TEST_P(Reference, OutlineEqualsDjvused)
{
    std::vector<SExpr> outline = vtxtest::readSExprs(ref("outline"));
    AutoPtr<Bookmark> root = doc_->getBookmark();
    std::vector<SExpr> expected;
    if (!outline.empty())
        for (size_t i = 1; i < outline[0].items.size(); ++i) expected.push_back(referenceOutline(outline[0].items[i]));
    std::vector<SExpr> got;
    for (const AutoPtr<Bookmark>& b : root->getChildren()) got.push_back(outlineTree(*b));
    EXPECT_EQ(got, expected);
    EXPECT_EQ(doc_->getBookmark().get(), root.get()); // kept
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Reference, ::testing::ValuesIn(documents()),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

} // namespace

namespace {

TEST(PageContent, PagesWithoutTextOrAnnotationsAnswerNull)
{
    AutoPtr<Document> doc = Document::create(String(std::string(VTX_FIXTURE_DIR) + "/container/text300.djvu"));
    Page& page = *doc->getPages()[0];
    EXPECT_FALSE(page.getText());
    EXPECT_FALSE(page.getAnnotation());
    EXPECT_TRUE(doc->getBookmark()->getChildren().empty());
}

TEST(PageContent, TurningAPageTurnsTheTextItKeeps)
{
    AutoPtr<Document> upright = Document::create(String(kDir + "hand.djvu"));
    AutoPtr<Document> turned = Document::create(String(kDir + "hand_rotated.djvu"));
    for (uint32_t n = 0; n < 3; ++n) {
        Page& page = *upright->getPages()[n];
        AutoPtr<TextZone> text = page.getText();
        EXPECT_EQ(page.getText().get(), text.get()); // kept
        EXPECT_EQ(page.getAnnotation().get(), page.getAnnotation().get());
        page.setRotation(turned->getPages()[n]->getRotation());
        EXPECT_EQ(vtxtest::leafRects(*text), vtxtest::leafRects(*turned->getPages()[n]->getText())) << n;
    }
}

} // namespace
