// Smmr masks: our decoder and renderer against DjVuLibre's, on the libtiff Group 4 pages of
// the fixtures (text300: 2550 x 3300, 300 dpi text; noise: dense short runs).
//   cmake --preset bench && cmake --build build/bench -j2 --target mmr_bench fixtures
//   build/bench/bench/mmr_bench   (wall time: DjVuLibre decodes on a thread of its own)
#include <string>
#include <vector>

#include "bench_util.h"
#include "djv_mmr.h"
#include "vtx_stream.h"

using _Vtx_Internal_NS_::SmmrRenderer;
using Vantorix::DjVu::Photometric;
using Vantorix::DjVu::Rect;

namespace {

std::string fixture(const char* stem, const char* ext) { return std::string(VTX_FIXTURE_DIR "/mmr/") + stem + ext; }

void ours(benchmark::State& state, const char* stem, uint32_t side)
{
    const std::vector<uint8_t> payload = vtxbench::readFile(fixture(stem, ".mmr"));
    std::vector<uint8_t> gray;
    for (auto _ : state) {
        auto mask = SmmrRenderer::decode(Vantorix::MemoryStorage::create(payload.data(), uint32_t(payload.size())));
        const auto [w, h] = vtxbench::thumbnailSize(mask->getWidth(), mask->getHeight(), side);
        gray.assign(size_t(w) * h, 0xFF);
        mask->render(gray.data(), int32_t(w), Photometric::Gray, Rect{0, 0, w, h}, w, h, nullptr, 0, 0, 0, 0);
        benchmark::DoNotOptimize(gray.data());
    }
}

// One context for all iterations; a document and its page 1 each time.
void djvulibre(benchmark::State& state, const char* stem, uint32_t side)
{
    const std::string path = fixture(stem, ".djvu");
    ddjvu_context_t* ctx = ddjvu_context_create("mmr_bench");
    std::vector<uint8_t> gray;
    for (auto _ : state) {
        vtxbench::ReferencePage page(path, ctx);
        if (!page.ok()) {
            state.SkipWithError("DjVuLibre cannot decode the page");
            break;
        }
        const auto [w, h] = vtxbench::thumbnailSize(page.width(), page.height(), side);
        gray.assign(size_t(w) * h, 0xFF);
        if (!page.render(DDJVU_RENDER_MASKONLY, w, h, DDJVU_FORMAT_GREY8, gray.data()))
            state.SkipWithError("ddjvu_page_render failed");
        benchmark::DoNotOptimize(gray.data());
    }
    ddjvu_context_release(ctx);
}

} // namespace

BENCHMARK_CAPTURE(ours, text300_full, "text300", 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(djvulibre, text300_full, "text300", 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(ours, text300_thumb256, "text300", 256)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(djvulibre, text300_thumb256, "text300", 256)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(ours, text300_striped_thumb256, "text300_s", 256)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(djvulibre, text300_striped_thumb256, "text300_s", 256)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(ours, noise_full, "noise", 0)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(djvulibre, noise_full, "noise", 0)->Unit(benchmark::kMicrosecond)->UseRealTime();

BENCHMARK_MAIN();
