// What the benchmarks share: reading a file, the thumbnail size rule, DjVuLibre's page 1 decoded
// through its public API, and a console reporter that keeps each run's times for a ratio table.
#pragma once

#include <benchmark/benchmark.h>
#include <libdjvu/ddjvuapi.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vtxbench {

inline std::vector<uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The longer side becomes edge, the other is scaled with truncation; edge 0 keeps the size.
inline std::pair<uint32_t, uint32_t> thumbnailSize(uint32_t w, uint32_t h, uint32_t edge)
{
    if (!edge || !w || !h) return {w, h};
    if (w >= h) return {edge, uint32_t(uint64_t(h) * edge / w)};
    return {uint32_t(uint64_t(w) * edge / h), edge};
}

// Waits for DjVuLibre's decoding thread to say something and drops what it said.
inline void pump(ddjvu_context_t* ctx)
{
    ddjvu_message_wait(ctx);
    while (ddjvu_message_peek(ctx)) ddjvu_message_pop(ctx);
}

// Page 1 of a file, decoded by DjVuLibre in a context of its own (or in a shared one).
class ReferencePage {
public:
    explicit ReferencePage(const std::string& path, ddjvu_context_t* shared = nullptr)
        : ctx_(shared ? shared : ddjvu_context_create("vtx_bench")), ownContext_(!shared)
    {
        doc_ = ddjvu_document_create_by_filename_utf8(ctx_, path.c_str(), 0);
        if (!doc_) return;
        while (!ddjvu_document_decoding_done(doc_)) pump(ctx_);
        if (ddjvu_document_decoding_error(doc_)) return;
        page_ = ddjvu_page_create_by_pageno(doc_, 0);
        if (!page_) return;
        while (!ddjvu_page_decoding_done(page_)) pump(ctx_);
        if (ddjvu_page_decoding_error(page_)) {
            ddjvu_page_release(page_);
            page_ = nullptr;
        }
    }
    ~ReferencePage()
    {
        if (page_) ddjvu_page_release(page_);
        if (doc_) ddjvu_document_release(doc_);
        if (ownContext_) ddjvu_context_release(ctx_);
    }
    ReferencePage(const ReferencePage&) = delete;
    ReferencePage& operator=(const ReferencePage&) = delete;

    bool ok() const { return page_ != nullptr; }
    uint32_t width() const { return uint32_t(ddjvu_page_get_width(page_)); }
    uint32_t height() const { return uint32_t(ddjvu_page_get_height(page_)); }

    // The whole page scaled to w x h, rows top-down, in RGB24 or GREY8; false if it fails.
    bool render(ddjvu_render_mode_t mode, uint32_t w, uint32_t h, ddjvu_format_style_t style, void* out) const
    {
        ddjvu_format_t* format = ddjvu_format_create(style, 0, nullptr);
        ddjvu_format_set_row_order(format, 1);
        ddjvu_rect_t rect{0, 0, w, h};
        const unsigned rowBytes = style == DDJVU_FORMAT_GREY8 ? w : w * 3;
        const bool done = ddjvu_page_render(page_, mode, &rect, &rect, format, rowBytes, static_cast<char*>(out));
        ddjvu_format_release(format);
        return done;
    }

private:
    ddjvu_context_t* ctx_;
    bool ownContext_;
    ddjvu_document_t* doc_ = nullptr;
    ddjvu_page_t* page_ = nullptr;
};

// The console output, and for every run its name's times in milliseconds (wall and CPU).
class TimesReporter : public benchmark::ConsoleReporter {
public:
    struct Times {
        double wall = 0, cpu = 0;
    };
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred)
                times_[r.run_name.function_name] = {toMs(r.GetAdjustedRealTime(), r.time_unit),
                                                    toMs(r.GetAdjustedCPUTime(), r.time_unit)};
    }
    // Times of a run by name, or null when it did not run or failed.
    const Times* find(const std::string& name) const
    {
        auto it = times_.find(name);
        return it == times_.end() ? nullptr : &it->second;
    }

private:
    static double toMs(double t, benchmark::TimeUnit unit)
    {
        return t * benchmark::GetTimeUnitMultiplier(benchmark::kMillisecond) / benchmark::GetTimeUnitMultiplier(unit);
    }
    std::map<std::string, Times> times_;
};

} // namespace vtxbench
