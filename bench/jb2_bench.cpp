// JB2: decode and full-size mask drawing of the cjb2 fixtures, ours and DjVuLibre's (ddjvu API,
// mask-only render of page 1 at the page's size, grey pixels) in the same run. Prints the time
// ratio (theirs / ours) per file at the end.
//
// Ours decodes the Sjbz payload from memory; theirs opens the single-page file, which adds only
// the parse of a three-chunk IFF.
#include <benchmark/benchmark.h>
#include <libdjvu/ddjvuapi.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "djv_jb2.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;

namespace {

const char* const kFiles[] = {"cjb2_text300",  "cjb2_text300_lossy", "cjb2_text600",   "cjb2_text600_lossy",
                              "cjb2_text_odd", "cjb2_text_odd_lossy", "cjb2_skew200",  "cjb2_skew200_lossy",
                              "cjb2_mixed200", "cjb2_mixed200_lossy"};

std::string path(const std::string& name, const char* ext) { return std::string(VTX_FIXTURE_DIR "/jb2/") + name + ext; }

std::vector<uint8_t> readFile(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void ours(benchmark::State& state, std::string name)
{
    const std::vector<uint8_t> sjbz = readFile(path(name, ".sjbz"));
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

void drain(ddjvu_context_t* ctx)
{
    ddjvu_message_wait(ctx);
    while (ddjvu_message_peek(ctx)) ddjvu_message_pop(ctx);
}

void theirs(benchmark::State& state, std::string name)
{
    const std::string file = path(name, ".djvu");
    std::vector<char> pixels;
    for (auto _ : state) {
        ddjvu_context_t* ctx = ddjvu_context_create("jb2_bench");
        ddjvu_document_t* doc = ddjvu_document_create_by_filename(ctx, file.c_str(), 1);
        while (!ddjvu_document_decoding_done(doc)) drain(ctx);
        ddjvu_page_t* page = ddjvu_page_create_by_pageno(doc, 0);
        while (!ddjvu_page_decoding_done(page)) drain(ctx);
        const unsigned w = unsigned(ddjvu_page_get_width(page)), h = unsigned(ddjvu_page_get_height(page));
        ddjvu_format_t* format = ddjvu_format_create(DDJVU_FORMAT_GREY8, 0, nullptr);
        ddjvu_format_set_row_order(format, 1);
        pixels.assign(size_t(w) * h, char(0xFF));
        ddjvu_rect_t rect = {0, 0, w, h};
        if (!ddjvu_page_render(page, DDJVU_RENDER_MASKONLY, &rect, &rect, format, w, pixels.data()))
            state.SkipWithError("ddjvu_page_render failed");
        benchmark::DoNotOptimize(pixels.data());
        ddjvu_format_release(format);
        ddjvu_page_release(page);
        ddjvu_document_release(doc);
        ddjvu_context_release(ctx);
    }
}

// Keeps the console output and remembers the wall time of every run (in ms) for the ratios:
// wall time, since the reference decodes in a thread of its own.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (!run.error_occurred && run.run_type == Run::RT_Iteration)
                times_[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    void printRatios() const
    {
        std::printf("\n%-24s %12s %12s %8s\n", "file", "ours ms", "ddjvu ms", "ratio");
        for (const char* name : kFiles) {
            auto o = times_.find(std::string("ours/") + name), t = times_.find(std::string("ddjvu/") + name);
            if (o == times_.end() || t == times_.end()) continue;
            std::printf("%-24s %12.3f %12.3f %8.2f\n", name, o->second, t->second, t->second / o->second);
        }
    }

private:
    std::map<std::string, double> times_;
};

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
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
