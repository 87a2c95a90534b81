// Scaling on the thumbnail path: Imaging::resample (a 2550 x 3300 page shrunk to fit 256 pixels,
// enlarged by 1.5, and the small background enlargement a thumbnail really does), the bilevel
// mask of a 300 dpi text page drawn at thumbnail size, and DjVuLibre drawing the same mask
// from its already decoded page.
//
// Inputs come from the test fixtures, which the benchmark build makes.
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bench_util.h"
#include "djv_imageutils.h"
#include "djv_maskscaling.h"
#include "djv_scaling.h"

using namespace Vantorix::DjVu;

namespace {

struct Picture {
    uint32_t w = 0, h = 0, bpp = 0;
    std::vector<uint8_t> px;
    int32_t stride() const { return int32_t(w * bpp); }
};

// A smooth picture with some noise, so that nothing is uniform.
Picture synthetic(uint32_t w, uint32_t h, uint32_t bpp)
{
    Picture p{w, h, bpp, std::vector<uint8_t>(size_t(w) * h * bpp)};
    std::mt19937 rng(1);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            for (uint32_t c = 0; c < bpp; ++c)
                p.px[(size_t(y) * w + x) * bpp + c] = uint8_t((x * (c + 1) + y * (3 - c)) / 13 + rng() % 24);
    return p;
}

// Black runs of each row of a P4 bitmap, as a run-length mask decoder would hold them.
struct RunMask {
    uint32_t w = 0, h = 0;
    std::vector<std::vector<std::pair<uint32_t, uint32_t>>> runs;

    template <class Paint>
    bool forEachSpan(uint32_t y, uint32_t x0, uint32_t x1, Paint&& paint) const
    {
        bool any = false;
        for (const auto& r : runs[y]) {
            if (r.second <= x0) continue;
            if (r.first >= x1) break;
            paint(std::max(r.first, x0), std::min(r.second, x1), Color{});
            any = true;
        }
        return any;
    }
};

RunMask readRuns(const std::string& path)
{
    RunMask m;
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    in >> magic >> m.w >> m.h;
    in.get();
    if (!in || magic != "P4") return {};
    std::vector<uint8_t> row((m.w + 7) / 8);
    m.runs.resize(m.h);
    for (uint32_t y = 0; y < m.h; ++y) {
        in.read(reinterpret_cast<char*>(row.data()), std::streamsize(row.size()));
        for (uint32_t x = 0; x < m.w;) {
            auto bit = [&](uint32_t i) { return (row[i / 8] >> (7 - i % 8)) & 1; };
            if (!bit(x)) {
                ++x;
                continue;
            }
            uint32_t e = x;
            while (e < m.w && bit(e)) ++e;
            m.runs[y].push_back({x, e});
            x = e;
        }
    }
    return m;
}

const std::string kFixtures = VTX_FIXTURE_DIR;

// Fit inside 256 x 256, keeping proportions (2550 x 3300 -> 197 x 256).
std::pair<uint32_t, uint32_t> fit256(uint32_t w, uint32_t h) { return vtxbench::thumbnailSize(w, h, 256); }

void resampleCase(benchmark::State& state, const Picture& src, uint32_t w, uint32_t h, Photometric p, uint32_t flags)
{
    std::vector<uint8_t> out(size_t(w) * h * src.bpp);
    for (auto _ : state) {
        Imaging::resample(out.data(), int32_t(w * src.bpp), Rect{0, 0, w, h}, w, h, src.px.data(), src.stride(), src.w,
                          src.h, p, flags);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * src.w * src.h);
}

void BM_ResampleShrinkFit256(benchmark::State& state)
{
    static const Picture page = synthetic(2550, 3300, 3);
    auto [w, h] = fit256(page.w, page.h);
    resampleCase(state, page, w, h, Photometric::BGR, uint32_t(state.range(0)));
}
BENCHMARK(BM_ResampleShrinkFit256)->Arg(0)->Arg(1)->ArgName("box")->Unit(benchmark::kMillisecond);

void BM_ResampleShrinkFit256Gray(benchmark::State& state)
{
    static const Picture page = synthetic(2550, 3300, 1);
    auto [w, h] = fit256(page.w, page.h);
    resampleCase(state, page, w, h, Photometric::Gray, 0);
}
BENCHMARK(BM_ResampleShrinkFit256Gray)->Unit(benchmark::kMillisecond);

void BM_ResampleEnlarge1_5(benchmark::State& state)
{
    static const Picture page = synthetic(2550, 3300, 3);
    resampleCase(state, page, 3825, 4950, Photometric::BGR, 0);
}
BENCHMARK(BM_ResampleEnlarge1_5)->Unit(benchmark::kMillisecond);

// What a thumbnail does with a background: reconstructed at 1/16, then brought to 197 x 256.
void BM_ResampleThumbnailBackground(benchmark::State& state)
{
    static const Picture bg = synthetic(160, 207, 3);
    resampleCase(state, bg, 197, 256, Photometric::BGR, 0);
}
BENCHMARK(BM_ResampleThumbnailBackground)->Unit(benchmark::kMicrosecond);

void BM_Rotate90(benchmark::State& state)
{
    static const Picture page = synthetic(2550, 3300, 3);
    std::vector<uint8_t> out(page.px.size());
    for (auto _ : state) {
        Imaging::rotate90(out.data(), int32_t(page.h * 3), page.px.data(), page.stride(), page.w, page.h,
                          Photometric::BGR, true);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_Rotate90)->Unit(benchmark::kMillisecond);

const RunMask& textMask()
{
    static const RunMask m = readRuns(kFixtures + "/sources/text300.pbm");
    return m;
}

void maskCase(benchmark::State& state, uint32_t w, uint32_t h, Photometric p, uint32_t flags)
{
    const RunMask& m = textMask();
    if (!m.w) {
        state.SkipWithError("text300.pbm missing from the fixtures");
        return;
    }
    const uint32_t bpp = p == Photometric::Gray ? 1 : 3;
    std::vector<uint8_t> white(size_t(w) * h * bpp, 255), out;
    for (auto _ : state) {
        out = white;
        _Vtx_Internal_NS_::resampleMaskT(out.data(), int32_t(w * bpp), Rect{0, 0, w, h}, w, h, m, m.w, m.h, nullptr, 0,
                                         0, 0, p, 0, flags);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * m.w * m.h);
}

void BM_MaskFit256(benchmark::State& state)
{
    auto [w, h] = fit256(2550, 3300);
    maskCase(state, w, h, state.range(0) ? Photometric::BGR : Photometric::Gray, uint32_t(state.range(1)));
}
BENCHMARK(BM_MaskFit256)->ArgsProduct({{0, 1}, {0, 1}})->ArgNames({"bgr", "box"})->Unit(benchmark::kMillisecond);

void BM_MaskSameSize(benchmark::State& state) { maskCase(state, 2550, 3300, Photometric::Gray, 0); }
BENCHMARK(BM_MaskSameSize)->Unit(benchmark::kMillisecond);

void BM_MaskEnlarge1_5(benchmark::State& state) { maskCase(state, 3825, 4950, Photometric::Gray, 0); }
BENCHMARK(BM_MaskEnlarge1_5)->Unit(benchmark::kMillisecond);

// DjVuLibre drawing the same mask (cjb2 of text300.pbm) at 197 x 256 in grey, decoded once.
void BM_DjVuLibreMaskFit256(benchmark::State& state)
{
    const vtxbench::ReferencePage page(kFixtures + "/imaging/text.djvu");
    if (!page.ok()) {
        state.SkipWithError("text.djvu missing from the fixtures");
        return;
    }
    auto [w, h] = fit256(2550, 3300);
    std::vector<char> out(size_t(w) * h);
    for (auto _ : state) {
        if (!page.render(DDJVU_RENDER_MASKONLY, w, h, DDJVU_FORMAT_GREY8, out.data()))
            state.SkipWithError("ddjvu_page_render failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 2550 * 3300);
}
BENCHMARK(BM_DjVuLibreMaskFit256)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
