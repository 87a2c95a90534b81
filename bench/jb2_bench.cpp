// JB2: decode and full-size mask drawing of the cjb2 fixtures, ours and DjVuLibre's (ddjvu API,
// mask-only render of page 1 at the page's size, grey pixels) in the same run. Prints the time
// ratio (theirs / ours) per file at the end.
//
// Ours decodes the Sjbz payload from memory; theirs opens the single-page file, which adds only
// the parse of a three-chunk IFF.
#include <cstdio>
#include <string>
#include <vector>

#include "bench_util.h"
#include "djv_jb2.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;

namespace {

const char* const kFiles[] = {"cjb2_text300",  "cjb2_text300_lossy", "cjb2_text600",   "cjb2_text600_lossy",
                              "cjb2_text_odd", "cjb2_text_odd_lossy", "cjb2_skew200",  "cjb2_skew200_lossy",
                              "cjb2_mixed200", "cjb2_mixed200_lossy"};

std::string path(const std::string& name, const char* ext) { return std::string(VTX_FIXTURE_DIR "/jb2/") + name + ext; }

void ours(benchmark::State& state, std::string name)
{
    const std::vector<uint8_t> sjbz = vtxbench::readFile(path(name, ".sjbz"));
    std::vector<uint8_t> pixels;
    for (auto _ : state) {
        AutoPtr<Stream> stream(MemoryStorage::create(sjbz.data(), uint32_t(sjbz.size())));
        AutoPtr<JB2Page> page = JB2Page::create(stream, nullptr);
        const uint32_t w = page->getWidth(), h = page->getHeight();
        pixels.assign(size_t(w) * h, 0xFF);
        page->renderMask(pixels.data(), int32_t(w), Photometric::Gray, Rect{0, 0, w, h}, w, h, 0, 0);
        benchmark::DoNotOptimize(pixels.data());
    }
}

void theirs(benchmark::State& state, std::string name)
{
    const std::string file = path(name, ".djvu");
    std::vector<char> pixels;
    for (auto _ : state) {
        vtxbench::ReferencePage page(file);
        if (!page.ok()) {
            state.SkipWithError("DjVuLibre cannot decode the page");
            break;
        }
        const uint32_t w = page.width(), h = page.height();
        pixels.assign(size_t(w) * h, char(0xFF));
        if (!page.render(DDJVU_RENDER_MASKONLY, w, h, DDJVU_FORMAT_GREY8, pixels.data()))
            state.SkipWithError("ddjvu_page_render failed");
        benchmark::DoNotOptimize(pixels.data());
    }
}

} // namespace

int main(int argc, char** argv)
{
    for (const char* name : kFiles) {
        benchmark::RegisterBenchmark((std::string("ours/") + name).c_str(), ours, std::string(name))
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark((std::string("ddjvu/") + name).c_str(), theirs, std::string(name))
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    vtxbench::TimesReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // Wall time, since the reference decodes in a thread of its own.
    std::printf("\n%-24s %12s %12s %8s\n", "file", "ours ms", "ddjvu ms", "ratio");
    for (const char* name : kFiles) {
        const auto *o = reporter.find(std::string("ours/") + name), *t = reporter.find(std::string("ddjvu/") + name);
        if (o && t) std::printf("%-24s %12.3f %12.3f %8.2f\n", name, o->wall, t->wall, t->wall / o->wall);
    }
    benchmark::Shutdown();
    return 0;
}
