// The library shared between threads: the pages of one document drawn by several threads at
// once, and several documents drawn at once, each picture equal to a single-threaded render.
// The tsan preset runs this program under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "djv_document.h"
#include "testutil.h"
#include "thumbnail_testutil.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;

namespace {

using Pixels = std::vector<uint8_t>;
constexpr unsigned kThreads = 4;
constexpr uint32_t kEdge = 96;

// Multi-page documents (one shares a JB2 dictionary among its pages) and single pages of each
// layer kind.
const char* const kFiles[] = {"kinds/dict.djv", "kinds/bundled.djv", "container/doc.djvu", "kinds/photo.djv",
                              "kinds/compound.djv", "mmr/text_odd_s.djvu"};

std::string path(const char* file) { return std::string(VTX_FIXTURE_DIR "/") + file; }

Pixels thumbnail(Page& page) { return vtxtest::thumbnailPixels(page, kEdge); }

// Every page of a fresh document, one thread.
std::vector<Pixels> renderAlone(const vtxtest::Bytes& file)
{
    AutoPtr<Document> doc = Document::create(vtxtest::streamOf(file));
    std::vector<Pixels> pages;
    for (AutoPtr<Page>& page : doc->getPages()) pages.push_back(thumbnail(*page));
    return pages;
}

// Runs work(t) on kThreads threads at once. Exceptions are kept for the main thread, where
// GoogleTest's assertions belong.
template <class Work>
std::vector<std::string> onThreads(Work work)
{
    std::vector<std::string> errors(kThreads);
    std::vector<std::thread> threads;
    // All begin together, so that their first steps overlap. A plain spin: std::latch hangs
    // in the MinGW runtime under wine.
    std::atomic<unsigned> arrived{0};
    for (unsigned t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            ++arrived;
            while (arrived.load() < kThreads) std::this_thread::yield();
            try {
                work(t);
            } catch (const Exception& e) {
                errors[t] = e.what();
            }
        });
    for (std::thread& th : threads) th.join();
    return errors;
}

void expectNoErrors(const std::vector<std::string>& errors)
{
    for (size_t t = 0; t < errors.size(); ++t) EXPECT_EQ(errors[t], "") << "thread " << t;
}

} // namespace

TEST(Threads, AllPagesOfOneDocumentAtOnce)
{
    for (const char* name : {"kinds/dict.djv", "kinds/bundled.djv", "container/doc.djvu"}) {
        const vtxtest::Bytes file = vtxtest::readFile(path(name));
        const std::vector<Pixels> alone = renderAlone(file);
        ASSERT_GT(alone.size(), 1u) << name;

        // Each thread walks the pages from a different start, so first visits collide.
        AutoPtr<Document> shared = Document::create(vtxtest::streamOf(file));
        const size_t pages = alone.size();
        std::vector<std::vector<Pixels>> got(kThreads, std::vector<Pixels>(pages));
        expectNoErrors(onThreads([&](unsigned t) {
            for (size_t i = 0; i < pages; ++i) {
                const size_t p = (t + i) % pages;
                AutoPtr<Page> page = shared->getPages()[uint32_t(p)];
                page->getWidth();
                got[t][p] = thumbnail(*page);
            }
        }));
        for (unsigned t = 0; t < kThreads; ++t)
            for (size_t p = 0; p < pages; ++p) EXPECT_EQ(got[t][p], alone[p]) << name << " page " << p << " thread " << t;
    }
}

TEST(Threads, SeveralDocumentsAtOnce)
{
    std::vector<vtxtest::Bytes> files;
    std::vector<std::vector<Pixels>> alone;
    for (const char* name : kFiles) {
        files.push_back(vtxtest::readFile(path(name)));
        alone.push_back(renderAlone(files.back()));
    }
    // Every thread opens every document itself, each in its own order.
    std::vector<std::vector<std::vector<Pixels>>> got(kThreads, std::vector<std::vector<Pixels>>(files.size()));
    expectNoErrors(onThreads([&](unsigned t) {
        for (size_t i = 0; i < files.size(); ++i) {
            const size_t d = (t + i) % files.size();
            AutoPtr<Document> doc = Document::create(vtxtest::streamOf(files[d]));
            for (AutoPtr<Page>& page : doc->getPages()) got[t][d].push_back(thumbnail(*page));
        }
    }));
    for (unsigned t = 0; t < kThreads; ++t)
        for (size_t d = 0; d < files.size(); ++d) EXPECT_EQ(got[t][d], alone[d]) << kFiles[d] << " thread " << t;
}

// Draws of a loaded page take no page lock; threads drawing one page at different sizes each
// need the foreground at their own reduction, and must not free the one another is drawing from.
// A first draw at a strong reduction leaves the newest IW44 chunk partly decoded, so the threads
// also finish its decoding while others draw.
TEST(Threads, OneLoadedPageAtSeveralSizesAtOnce)
{
    const uint32_t divisors[] = {1, 2, 4, 8};
    for (const char* file : {"kinds/compound.djv", "kinds/photo.djv"})
    for (uint32_t first : {1u, 8u}) {
        SCOPED_TRACE(std::string(file) + " first drawn at 1/" + std::to_string(first));
        auto open = [file] {
            AutoPtr<Document> doc = Document::create(vtxtest::streamOf(vtxtest::readFile(path(file))));
            return doc->getPages()[0];
        };
        auto draw = [](Page& page, uint32_t divisor, uint32_t flags) {
            const uint32_t dw = page.getWidth() / divisor, dh = page.getHeight() / divisor;
            Pixels out(size_t(dw) * dh * 3);
            page.render(out.data(), int32_t(dw * 3), Photometric::RGB, Rect{0, 0, dw, dh}, dw, dh, Page::layerAll, flags);
            return out;
        };
        AutoPtr<Page> page = open();
        draw(*page, 1, 0);
        std::vector<Pixels> alone;
        for (uint32_t d : divisors) alone.push_back(draw(*page, d, Page::renderLoadedOnly));
        page = open();
        draw(*page, first, 0); // loads the layers
        std::vector<std::vector<Pixels>> got(kThreads, std::vector<Pixels>(std::size(divisors)));
        expectNoErrors(onThreads([&](unsigned t) {
            for (unsigned round = 0; round < 8; ++round)
                for (size_t i = 0; i < std::size(divisors); ++i) {
                    const size_t k = (t + i + round) % std::size(divisors);
                    got[t][k] = draw(*page, divisors[k], Page::renderLoadedOnly);
                }
        }));
        for (unsigned t = 0; t < kThreads; ++t)
            for (size_t k = 0; k < std::size(divisors); ++k)
                EXPECT_EQ(got[t][k], alone[k]) << "divisor " << divisors[k] << " thread " << t;
    }
}
