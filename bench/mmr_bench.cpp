// Smmr masks: our decoder and renderer against DjVuLibre's, on the libtiff Group 4 pages of
// the fixtures (text300: 2550 x 3300, 300 dpi text; noise: dense short runs).
//   cmake --preset bench && cmake --build build/bench -j2 --target mmr_bench fixtures
//   build/bench/bench/mmr_bench   (wall time: DjVuLibre decodes on a thread of its own)
#include <benchmark/benchmark.h>
#include <libdjvu/ddjvuapi.h>

#include <fstream>
#include <string>
#include <vector>

#include "djv_mmr.h"
#include "vtx_stream.h"

using _Vtx_Internal_NS_::SmmrRenderer;
using Vantorix::DjVu::Photometric;
using Vantorix::DjVu::Rect;

namespace {

std::string fixture(const char* stem, const char* ext) { return std::string(VTX_FIXTURE_DIR "/mmr/") + stem + ext; }

std::vector<uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Output size for a longer side of `side` pixels (0: the mask's own size).
void outputSize(uint32_t w, uint32_t h, uint32_t side, uint32_t& ow, uint32_t& oh)
{
    ow = w, oh = h;
    if (!side) return;
    if (w >= h)
        ow = side, oh = uint32_t(uint64_t(h) * side / w);
    else
        oh = side, ow = uint32_t(uint64_t(w) * side / h);
}

void ours(benchmark::State& state, const char* stem, uint32_t side)
{
    const std::vector<uint8_t> payload = readFile(fixture(stem, ".mmr"));
    std::vector<uint8_t> gray;
    for (auto _ : state) {
        auto mask = SmmrRenderer::decode(Vantorix::MemoryStorage::create(payload.data(), uint32_t(payload.size())));
        uint32_t w, h;
        outputSize(mask->getWidth(), mask->getHeight(), side, w, h);
        gray.assign(size_t(w) * h, 0xFF);
        mask->render(gray.data(), int32_t(w), Photometric::Gray, Rect{0, 0, w, h}, w, h, nullptr, 0, 0, 0, 0);
        benchmark::DoNotOptimize(gray.data());
    }
}

void pump(ddjvu_context_t* ctx)
{
    ddjvu_message_wait(ctx);
    while (ddjvu_message_peek(ctx)) ddjvu_message_pop(ctx);
}

void djvulibre(benchmark::State& state, const char* stem, uint32_t side)
{
    const std::string path = fixture(stem, ".djvu");
    ddjvu_context_t* ctx = ddjvu_context_create("mmr_bench");
    ddjvu_format_t* format = ddjvu_format_create(DDJVU_FORMAT_GREY8, 0, nullptr);
    ddjvu_format_set_row_order(format, 1);
    std::vector<uint8_t> gray;
    for (auto _ : state) {
        ddjvu_document_t* doc = ddjvu_document_create_by_filename_utf8(ctx, path.c_str(), 0);
        while (!ddjvu_document_decoding_done(doc)) pump(ctx);
        ddjvu_page_t* page = ddjvu_page_create_by_pageno(doc, 0);
        while (!ddjvu_page_decoding_done(page)) pump(ctx);
        uint32_t w, h;
        outputSize(uint32_t(ddjvu_page_get_width(page)), uint32_t(ddjvu_page_get_height(page)), side, w, h);
        gray.assign(size_t(w) * h, 0xFF);
        ddjvu_rect_t rect{0, 0, w, h};
        if (!ddjvu_page_render(page, DDJVU_RENDER_MASKONLY, &rect, &rect, format, w, reinterpret_cast<char*>(gray.data())))
            state.SkipWithError("ddjvu_page_render failed");
        benchmark::DoNotOptimize(gray.data());
        ddjvu_page_release(page);
        ddjvu_document_release(doc);
    }
    ddjvu_format_release(format);
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
