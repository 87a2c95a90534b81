// The outline reader: counts, links, short and over-counted payloads, and the document's rule
// for finding NAVM.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bzz_testwriter.h"
#include "djv_bookmark.h"
#include "djv_chunkimpls.h"
#include "djv_compressStream.h"
#include "djv_document.h"
#include "testutil.h"
#include "text_testutil.h"

namespace {

using namespace Vantorix;
using namespace Vantorix::DjVu;

struct Mark {
    std::string title, link;
    std::vector<Mark> children;
};

void putMark(std::string& out, const Mark& m)
{
    out += char(m.children.size());
    vtxtest::putBig(out, uint32_t(m.title.size()), 3);
    out += m.title;
    vtxtest::putBig(out, uint32_t(m.link.size()), 3);
    out += m.link;
    for (const Mark& c : m.children) putMark(out, c);
}

std::string payload(uint16_t total, const std::vector<Mark>& marks)
{
    std::string out;
    vtxtest::putBig(out, total, 2);
    for (const Mark& m : marks) putMark(out, m);
    return out;
}

std::vector<uint8_t> packed(const std::string& plain)
{
    return zptest::BzzTestWriter::compress(std::vector<uint8_t>(plain.begin(), plain.end()), 0, 4096);
}

// The tree written back as "title>link[children]" items.
std::string show(const Bookmark& b)
{
    std::string out;
    for (const AutoPtr<Bookmark>& c : b.getChildren()) {
        out += "{" + c->getTitle().toStdString() + ">" + c->getLink().toStdString();
        if (!c->getChildren().empty()) out += "[" + show(*c) + "]";
        out += "}";
    }
    return out;
}

std::string readBack(const std::string& plain)
{
    std::vector<uint8_t> bytes = packed(plain);
    AutoPtr<Stream> source(MemoryStorage::create(bytes.data(), uint32_t(bytes.size())).get());
    return show(*Bookmark::read(*DjVu::InflateStream::create(source)));
}

TEST(BookmarkRead, CountsAndNesting)
{
    const Mark a{"A", "#1", {}}, b{"B", "#2", {}};
    struct Case {
        std::string plain;
        const char* tree;
    } cases[] = {
        {payload(0, {}), ""},
        {payload(3, {Mark{"Top", "#1", {a, b}}}), "{Top>#1[{A>#1}{B>#2}]}"},
        {payload(2, {a, b}), "{A>#1}{B>#2}"},
        // A total that is too small stops after the top-level bookmark that reaches it.
        {payload(1, {a, b}), "{A>#1}"},
        {payload(2, {Mark{"Top", "#1", {a, b}}, b}), "{Top>#1[{A>#1}{B>#2}]}"},
        {payload(1, {Mark{"", "", {}}}), "{>}"},
        {payload(1, {Mark{"Caf\xC3\xA9 \xE6\x97\xA5", "#file:///home/u/chapter2.djvu", {}}}),
         "{Caf\xC3\xA9 \xE6\x97\xA5>#chapter2.djvu}"},
        {payload(2, {Mark{"x", "#file://", {}}, Mark{"y", "http://e.com/a/b", {}}}), "{x>#}{y>http://e.com/a/b}"},
    };
    for (const Case& c : cases) EXPECT_EQ(readBack(c.plain), c.tree);
}

TEST(BookmarkRead, ShortPayloads)
{
    const char* fn = "_Vtx_Internal_NS_::InflateStreamImpl::readBytes";
    const char* eod = "Could not read 'size' many bytes";
    // A total larger than what follows runs into the end.
    vtxtest::expectThrow([] { readBack(payload(3, {Mark{"A", "#1", {}}})); }, 26, fn, eod);
    // Cut inside every count and length field.
    const std::string full = payload(1, {Mark{"Title", "#link", {}}});
    for (size_t n : {0, 1, 2, 3, 5, 11, 13})
        vtxtest::expectThrow([&] { readBack(full.substr(0, n)); }, 26, fn, eod);
    // A link cut short keeps what is there.
    EXPECT_EQ(readBack(full.substr(0, full.size() - 2)), "{Title>#li}");
}

TEST(BookmarkRead, HostileNestingIsRefused)
{
    Mark m{"x", "", {}};
    for (int i = 0; i < 300; ++i) m = Mark{"x", "", {m}};
    vtxtest::expectThrow([&] { readBack(payload(301, {m})); }, 20, "_Vtx_Internal_NS_::readOne",
                         "Bookmarks nest too deeply!");
}

AutoPtr<Document> documentWith(const std::vector<AutoPtr<Chunk>>& first)
{
    AutoPtr<ChunkCollection> root = ChunkCollection::create("DJVM");
    for (const AutoPtr<Chunk>& c : first) root->append(c);
    return Document::create(AutoPtr<Chunk>(root));
}

TEST(DocumentBookmark, FoundOnlyAsTheRootsFirstChildAndKept)
{
    std::vector<uint8_t> navm = packed(payload(1, {Mark{"A", "#1", {}}}));
    AutoPtr<Chunk> chunk = ChunkImpl::create("NAVM", navm.data(), uint32_t(navm.size()));
    AutoPtr<Document> doc = documentWith({chunk});
    AutoPtr<Bookmark> root = doc->getBookmark();
    EXPECT_EQ(show(*root), "{A>#1}");
    EXPECT_EQ(root->getTitle(), "");
    EXPECT_EQ(doc->getBookmark().get(), root.get());
    doc->rebuildPages(); // forgets the outline; it is read again
    EXPECT_NE(doc->getBookmark().get(), root.get());

    EXPECT_EQ(show(*documentWith({ChunkImpl::create("ANTa", "", 0), chunk})->getBookmark()), "");
    EXPECT_EQ(show(*documentWith({})->getBookmark()), "");
    // No outline: nothing is decompressed, so a broken NAVM elsewhere does not matter.
    AutoPtr<Chunk> broken = ChunkImpl::create("NAVM", "\xFF\xFF\xFF\xFF", 4);
    EXPECT_EQ(show(*documentWith({ChunkImpl::create("DIRM", "", 0), broken})->getBookmark()), "");
}

} // namespace
