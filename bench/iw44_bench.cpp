// IW44 backgrounds: our decoder against DjVuLibre's, in the same run, on the 2550x3300 colour
// page (three BG44 chunks). Each iteration decodes every chunk afresh and renders: full size,
// and thumbnail sizes that reconstruct at subsample 8 and 16 and resample. DjVuLibre renders
// page 1 in background mode at the same size with a fresh context per iteration. DjVuLibre
// decodes on a thread of its own, so times are the process's CPU time; the last lines give
// DjVuLibre's time over ours for each size.
//
//   cmake --preset bench && cmake --build build/bench --target iw44_bench fixtures
//   build/bench/bench/iw44_bench
#include <cstdio>
#include <string>
#include <vector>

#include "bench_util.h"
#include "djv_iw44.h"
#include "vtx_stream.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;

namespace {

using Bytes = std::vector<uint8_t>;
const std::string kPage = std::string(VTX_FIXTURE_DIR) + "/iw44/page.djvu";

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

// The BG44 payloads of a single-page file (FORM:DJVU of leaf chunks).
std::vector<Bytes> backgroundChunks(const Bytes& file)
{
    std::vector<Bytes> out;
    for (size_t pos = 16; pos + 8 <= file.size();) {
        const uint32_t len = be32(&file[pos + 4]);
        if (len > file.size() - pos - 8) break;
        if (std::string(reinterpret_cast<const char*>(&file[pos]), 4) == "BG44")
            out.emplace_back(file.begin() + long(pos + 8), file.begin() + long(pos + 8 + len));
        pos += 8 + len + (len & 1);
    }
    return out;
}

void ours(benchmark::State& state, uint32_t width, uint32_t height)
{
    const std::vector<Bytes> chunks = backgroundChunks(vtxbench::readFile(kPage));
    if (chunks.empty()) {
        state.SkipWithError("missing fixture page.djvu");
        return;
    }
    Bytes out(size_t(width) * height * 3);
    for (auto _ : state) {
        auto decoder = IW44::IW44Decoder::create();
        for (const Bytes& c : chunks) {
            auto stream = MemoryStorage::create(c.data(), uint32_t(c.size()));
            decoder->decode(stream.get());
        }
        decoder->renderScaled(out.data(), int32_t(width * 3), Photometric::RGB, Rect{0, 0, width, height}, width,
                              height, 0, 0);
        benchmark::DoNotOptimize(out.data());
    }
}

void djvulibre(benchmark::State& state, uint32_t width, uint32_t height)
{
    Bytes out(size_t(width) * height * 3);
    for (auto _ : state) {
        vtxbench::ReferencePage page(kPage);
        if (!page.ok() || !page.render(DDJVU_RENDER_BACKGROUND, width, height, DDJVU_FORMAT_RGB24, out.data()))
            state.SkipWithError("ddjvu_page_render failed");
        benchmark::DoNotOptimize(out.data());
    }
}

// Full size; 319 x 412 reconstructs at subsample 8, 160 x 206 at subsample 16.
#define VTX_IW44_BENCH(name, w, h)                                                                              \
    BENCHMARK_CAPTURE(ours, name, w, h)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();               \
    BENCHMARK_CAPTURE(djvulibre, name, w, h)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()
VTX_IW44_BENCH(full, 2550, 3300);
VTX_IW44_BENCH(thumb_s8, 319, 412);
VTX_IW44_BENCH(thumb_s16, 160, 206);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    vtxbench::TimesReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* size : {"full", "thumb_s8", "thumb_s16"}) {
        const auto *o = reporter.find(std::string("ours/") + size), *t = reporter.find(std::string("djvulibre/") + size);
        if (o && t) std::printf("%-12s DjVuLibre / ours = %.2f\n", size, t->cpu / o->cpu);
    }
    benchmark::Shutdown();
    return 0;
}
