// Fixtures cut at every 7th byte or with random bytes changed open and read all their pages, or
// fail with an Exception; never crash, hang or leak.
#include <gtest/gtest.h>

#include <random>

#include "container_test_util.h"
#include "djv_document.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace ContainerTest;

namespace {

const char* kFiles[] = {"photo.djvu", "text_odd.djvu", "rot270.djvu", "dict.djvu", "doc.djvu", "empty.djvu"};

// Opens the bytes and uses every page; true when all of it worked.
bool useAll(const Bytes& bytes)
{
    try {
        AutoPtr<Document> doc = Document::create(streamOf(bytes));
        for (auto& page : doc->getPages()) {
            page->getWidth();
            page->visit(Photometric::BGR);
        }
        return true;
    } catch (const Exception&) {
        return false;
    }
}

} // namespace

TEST(Hostile, TruncatedAndChangedFilesFailCleanly)
{
    std::mt19937 rng(20240611);
    for (const char* name : kFiles) {
        Bytes whole = slurp(kDir + name);
        ASSERT_TRUE(!whole.empty() && useAll(whole)) << name;
        int failures = 0;
        for (size_t n = 0; n < whole.size(); n += 7) failures += !useAll(whole.substr(0, n));
        EXPECT_GT(failures, 0) << name;
        for (int round = 0; round < 400; ++round) {
            Bytes bytes = whole;
            // Headers are where the reader decides things: hit the first 64 bytes often.
            for (int i = 0, flips = 1 + int(rng() % 4); i < flips; ++i) {
                size_t at = round % 2 ? rng() % bytes.size() : rng() % std::min<size_t>(64, bytes.size());
                bytes[at] = char(rng() % 4 ? rng() : (rng() % 2 ? 0xFF : 0x00));
            }
            useAll(bytes);
        }
    }
}

TEST(Hostile, HugeLengthsAndCountsAreRefusedWithoutAllocating)
{
    // Every length field of a small page set to its maximum.
    Bytes page = file(form("DJVU", chunk("INFO", info(65535, 65535, 26)) + chunk("Sjbz", "abcd")));
    for (size_t at : {8u, 20u, 34u}) {
        Bytes bytes = page;
        bytes.replace(at, 4, "\xff\xff\xff\xff");
        EXPECT_FALSE(useAll(bytes)) << at;
    }
    // A directory that claims 65535 bundled components in a few bytes.
    EXPECT_FALSE(useAll(file(form("DJVM", chunk("DIRM", Bytes("\x81\xff\xff", 3) + Bytes(16, '\x10'))))));
}
