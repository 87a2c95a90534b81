// Documents over the encoders' files: kinds, page lists, lazy pages, shared components,
// indirect documents with missing files, and what is not a DjVu document.
#include <gtest/gtest.h>

#include <filesystem>

#include "chunkmanager/djv_latebindingchunk.h"
#include "container_test_util.h"
#include "djv_chunkimpls.h"
#include "djv_document.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace ContainerTest;
namespace fs = std::filesystem;

namespace {

AutoPtr<Document> open(const std::string& name) { return Document::create(String(kDir + name)); }

} // namespace

TEST(Document, KindsPageCountsAndFirstPages)
{
    struct Expect {
        const char* file;
        Document::Kind kind;
        uint32_t pages, width, height, dpi;
    } files[] = {
        {"photo.djvu", Document::Kind::single, 1, 640, 480, 150},
        {"text300.djvu", Document::Kind::single, 1, 2550, 3300, 300},
        {"text_odd.djvu", Document::Kind::single, 1, 1001, 777, 75},
        {"dict.djvu", Document::Kind::bundled, 3, 1700, 2200, 300},
        {"doc.djvu", Document::Kind::bundled, 3, 2479, 3508, 300},
        {"doc_indirect/index.djvu", Document::Kind::indirect, 3, 2479, 3508, 300},
        {"dict_indirect/index.djvu", Document::Kind::indirect, 3, 1700, 2200, 300},
        {"empty.djvu", Document::Kind::bundled, 0, 0, 0, 0},
    };
    for (const Expect& e : files) {
        SCOPED_TRACE(e.file);
        AutoPtr<Document> doc = open(e.file);
        EXPECT_EQ(doc->getKind(), e.kind);
        EXPECT_EQ(doc->getRoot()->getId(), "DJVM");
        ASSERT_EQ(doc->getPages().getSize(), e.pages);
        if (!e.pages) continue;
        Page& first = *doc->getPages()[0];
        EXPECT_EQ(std::to_string(first.getWidth()) + "x" + std::to_string(first.getHeight()) + " " + std::to_string(first.getDpi()),
                  std::to_string(e.width) + "x" + std::to_string(e.height) + " " + std::to_string(e.dpi));
    }
}

TEST(Document, ListingPagesReadsNoPage)
{
    AutoPtr<Document> doc = open("doc.djvu");
    PageArray& pages = doc->getPages();
    auto loaded = [&](int i) { return dynamic_cast<DjVuLateBindingChunk&>(*pages[i]->getChunk()).isLoaded(); };
    ASSERT_EQ(pages.getSize(), 3u);
    EXPECT_FALSE(loaded(0) || loaded(1) || loaded(2));
    // The outline after the directory stands in front of the components; the shared
    // annotations (kind 3) are not a page.
    ChunkArray& children = doc->getRoot()->getChildren();
    ASSERT_EQ(children.getSize(), 5u);
    EXPECT_EQ(children[0]->getId(), "NAVM");
    pages[1]->getInfo();
    EXPECT_TRUE(loaded(1) && !loaded(0));
    doc->rebuildPages();
    EXPECT_EQ(doc->getPages().getSize(), 3u);
}

TEST(Document, PagesShareTheIncludedDictionary)
{
    for (const char* name : {"dict.djvu", "dict_indirect/index.djvu"}) {
        SCOPED_TRACE(name);
        AutoPtr<Document> doc = open(name);
        std::vector<Chunk*> dicts;
        for (auto& page : doc->getPages()) {
            page->visit(Photometric::BGR);
            int32_t at = page->getChunk()->find("Djbz", -1, false);
            ASSERT_GE(at, 0);
            dicts.push_back(page->getChunk()->getChildren()[at].get());
        }
        ASSERT_EQ(dicts.size(), 3u);
        EXPECT_EQ(dicts[0], dicts[1]);
        EXPECT_EQ(dicts[1], dicts[2]);
    }
}

TEST(Document, IndirectComponentsAreOpenedOnlyWhenUsed)
{
    // The index alone, without its component files: it opens, its pages fail when used.
    fs::path dir = fs::temp_directory_path() / ("vtx_indirect_" + std::to_string(reinterpret_cast<uintptr_t>(&kDir)));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy_file(kDir + "doc_indirect/index.djvu", dir / "index.djvu");
    AutoPtr<Document> doc = Document::create(String((dir / "index.djvu").string()));
    ASSERT_EQ(doc->getPages().getSize(), 3u);
    EXPECT_THROW(doc->getPages()[0]->getInfo(), Exception);
    // Once the files are there, the next page opens (the failed one stays failed).
    fs::copy_file(kDir + "doc_indirect/p0002.djvu", dir / "p0002.djvu");
    fs::copy_file(kDir + "doc_indirect/shared_anno.iff", dir / "shared_anno.iff");
    EXPECT_EQ(doc->getPages()[1]->getWidth(), 2479u);
    doc = nullptr; // Windows deletes no file that is still open
    fs::remove_all(dir);

    // From a bare stream, names resolve against nothing useful.
    AutoPtr<Document> bare = Document::create(streamOf(slurp(kDir + "doc_indirect/index.djvu")));
    EXPECT_EQ(bare->getKind(), Document::Kind::indirect);
    EXPECT_EQ(bare->getPages().getSize(), 3u);
    EXPECT_THROW(bare->getPages()[0]->getInfo(), Exception);
}

TEST(Document, OnlyPagesAndDocumentsAreDocuments)
{
    for (const char* type : {"DJVI", "THUM", "XYZW"})
        expectThrow([&] { Document::create(streamOf(file(form(type, chunk("Djbz", "x"))))); }, 20,
                    "_Vtx_Internal_NS_::DocumentImpl::init", "Not a valid DjVu file!");
    EXPECT_THROW(Document::create(String(kDir + "no-such-file.djvu")), Exception);
    EXPECT_THROW(Document::create(String("https://example.invalid/a.djvu")), Exception);
}

TEST(Document, FromATreeTheCallerMade)
{
    AutoPtr<ChunkCollection> page = ChunkCollection::create("DJVU");
    page->append(ChunkImpl::create("INFO", info(7, 9, 24).data(), 5));
    AutoPtr<Document> single = Document::create(AutoPtr<Chunk>(page));
    EXPECT_EQ(single->getKind(), Document::Kind::single);
    EXPECT_EQ(single->getPages()[0]->getWidth(), 7u);

    AutoPtr<ChunkCollection> root = ChunkCollection::create("DJVM");
    root->append(ChunkImpl::create("NAVM", "n", 1));
    root->append(AutoPtr<Chunk>(page));
    root->append(AutoPtr<Chunk>(page));
    AutoPtr<Document> multi = Document::create(AutoPtr<Chunk>(root));
    EXPECT_EQ(multi->getPages().getSize(), 2u);
    root->getChildren().remove(1);
    multi->rebuildPages();
    EXPECT_EQ(multi->getPages().getSize(), 1u);
    EXPECT_THROW(Document::create(AutoPtr<Chunk>(ChunkCollection::create("DJVI"))), Exception);
}

TEST(Document, AFailedFirstVisitIsTriedAgain)
{
    // The chunk callback stands for a layer that fails to build on the first visit.
    AutoPtr<Document> doc = open("dict.djvu");
    Page& page = *doc->getPages()[1];
    int calls = 0;
    page.setChunkCallback(
        [](void* context, Chunk*) {
            if (++*static_cast<int*>(context) == 1) VTX_THROW(12, "first time", "test");
        },
        &calls);
    EXPECT_TRUE(contains(thrownBy([&] { page.visit(Photometric::BGR); }).message, "first time"));
    page.visit(Photometric::BGR);
    EXPECT_TRUE(page.getMaskRenderer());
    EXPECT_GT(page.getChunk()->getChildren().getSize(), 1u);
}

TEST(Document, AComponentThatOpensButDoesNotParseFailsTheDocument)
{
    // Listing the pages reads the shared annotations (a kind the directory does not name): a
    // broken file fails the document, a missing one is no page.
    AutoPtr<MapBroker> broker = makeAuto<MapBroker>();
    broker->files["shared_anno.iff"] = "AT&T\x01\x02\x03\x04";
    Thrown t = thrownBy([&] { Document::create(streamOf(slurp(kDir + "doc_indirect/index.djvu")), broker); });
    EXPECT_EQ(t.code, 20);
    EXPECT_TRUE(contains(t.message, "Invalid IFF chunk ID; maybe a broken file?")) << t.message;
    broker->files.clear();
    EXPECT_EQ(Document::create(streamOf(slurp(kDir + "doc_indirect/index.djvu")), broker)->getPages().getSize(), 3u);
    EXPECT_EQ(broker->loads["shared_anno.iff"], 2);
}
