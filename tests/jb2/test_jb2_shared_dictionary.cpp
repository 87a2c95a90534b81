// A bundled document whose every page includes the same large dictionary: it is decoded once,
// by the first page drawn, and the other pages draw from that one object. Allocation counts
// show the cost that the later pages are spared.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bzz_testwriter.h"
#include "container_test_util.h"
#include "djv_document.h"
#include "jb2_test_util.h"
#include "jb2_testwriter.h"
#include "vtx_memory.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;
using namespace jb2test;
using ContainerTest::be32;
using ContainerTest::chunk;
using ContainerTest::form;

namespace {

constexpr int32_t kShapes = 3000, kPages = 12, kPage = 200;

std::string text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Shape i: a 12 x 12 bitmap of its own, the bits of i drawn as a pattern.
Bits shape(int32_t i)
{
    Bits b(12, 12);
    for (uint32_t y = 0; y < 12; ++y)
        for (uint32_t x = 0; x < 12; ++x) b.set(x, y, ((uint32_t(i) * 2654435761u) >> ((x + 3 * y) % 29)) & 1);
    return b;
}

std::string dictionary()
{
    JB2TestWriter w;
    w.startOfImage(0, 0);
    for (int32_t i = 0; i < kShapes; ++i) w.newMark(2, shape(i));
    w.end();
    return text(w.finish());
}

// A page of copies of a few of the dictionary's shapes.
std::string page(int32_t n)
{
    JB2TestWriter w;
    w.library = kShapes;
    w.requiredDictOrReset(kShapes);
    w.startOfImage(kPage, kPage);
    for (int32_t i = 0; i < 10; ++i) w.copy((n * 251 + i * 97) % kShapes, {true, i == 0 ? 10 : 0, -4});
    w.end();
    const std::string info = ContainerTest::info(kPage, kPage, 24);
    return form("DJVU", chunk("INFO", info) + chunk("INCL", "dict.djbz") + chunk("Sjbz", text(w.finish())));
}

// A bundled document: its directory, the dictionary component, then the pages.
std::vector<uint8_t> document()
{
    std::vector<std::string> components{form("DJVI", chunk("Djbz", dictionary()))}, ids{"dict.djbz"};
    for (int32_t n = 0; n < kPages; ++n) {
        components.push_back(page(n));
        ids.push_back("p" + std::to_string(n) + ".djvu");
    }
    std::string table, flags, names;
    for (size_t i = 0; i < components.size(); ++i) {
        table += be32(uint32_t(components[i].size())).substr(1);
        flags += char(i == 0 ? 0 : 1); // an included component, then pages
        names += ids[i] + '\0';
    }
    const std::string plain = table + flags + names;
    const std::string packed =
        text(zptest::BzzTestWriter::compress(std::vector<uint8_t>(plain.begin(), plain.end()), 0, 4096));
    const uint32_t dirm = 3 + 4 * uint32_t(components.size()) + uint32_t(packed.size());
    uint32_t at = 16 + 8 + dirm + (dirm & 1);
    std::string offsets;
    for (const std::string& c : components) {
        offsets += be32(at);
        at += uint32_t(c.size() + (c.size() & 1));
    }
    std::string body = chunk("DIRM", std::string("\x81", 1) + be32(uint32_t(components.size())).substr(2) + offsets +
                                         packed);
    for (const std::string& c : components) body += c;
    const std::string whole = ContainerTest::file(form("DJVM", body));
    return std::vector<uint8_t>(whole.begin(), whole.end());
}

const Referable* dictionaryOf(Page& page)
{
    AutoPtr<Renderer> mask = page.getMaskRenderer();
    return mask ? dynamic_cast<JB2Page&>(*mask->getCodec()).getDictionary().get() : nullptr;
}

// Allocations of drawing the page at 64 x 64.
uint64_t allocationsToDraw(Page& page)
{
    std::vector<uint8_t> pixels(64 * 64);
    MemoryAllocator::injectFault(0);
    page.render(pixels.data(), 64, Photometric::Gray, Rect{0, 0, 64, 64}, 64, 64, Page::layerAll, 0);
    return MemoryAllocator::endFaultInjection();
}

TEST(JB2SharedDictionary, EveryPageDrawsFromTheOneDecodedDictionary)
{
    const std::vector<uint8_t> file = document();
    AutoPtr<Document> shared = Document::create(streamOf(file));
    PageArray& pages = shared->getPages();
    ASSERT_EQ(pages.size(), uint32_t(kPages));
    allocationsToDraw(*pages[0]);
    const Referable* dictionary = dictionaryOf(*pages[0]);
    ASSERT_NE(dictionary, nullptr);
    for (uint32_t i = 1; i < pages.size(); ++i) {
        SCOPED_TRACE(i);
        const uint64_t after = allocationsToDraw(*pages[i]);
        EXPECT_EQ(dictionaryOf(*pages[i]), dictionary);
        EXPECT_LT(after, uint64_t(kShapes)); // the page's own records, not the dictionary's
        // The same page drawn first, in a document of its own, decodes the dictionary's shapes,
        // each at least one allocation.
        AutoPtr<Document> alone = Document::create(streamOf(file));
        EXPECT_GE(allocationsToDraw(*alone->getPages()[i]), after + kShapes);
    }
}

} // namespace
