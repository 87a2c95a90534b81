// Thumbnails of every fixture (the list of tests/fixtures/gen_render.sh), ours against
// DjVuLibre's, in the same process and run: the file opened, page 1 taken and drawn whole at the
// thumbnail size for an edge of 256. Ours: Document::create on the file and buildThumbnail (all
// layers, widened to 32 bits as the shell's bitmap wants them). Theirs: a fresh ddjvu context
// per file, colour mode, RGB24. DjVuLibre decodes on a thread of its own, so the table's times
// are the process's CPU time (wall time beside it).
//
// After the runs, each file is thumbnailed once more in a fresh process of this program, once
// ours and once theirs, and the peak resident memory of that process is reported.
//
//   scripts/bench.sh thumbnail_bench                 (builds the preset "bench" and runs this)
//   build/bench/bench/thumbnail_bench --benchmark_filter=page --benchmark_min_time=1
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench_util.h"
#include "djv_document.h"
#include "nimbrel_thumbnail.h"
#include "vtx_exception.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;

namespace {

constexpr uint32_t kEdge = 256;
const std::string kFixtures = VTX_FIXTURE_DIR;

// The pages a user meets, named in the summary: a 300 dpi colour scan in three chunks, a 600 dpi
// photograph, text at 300 and 600 dpi (JB2 and MMR), compound pages, pdf2djvu documents, a
// shared dictionary and an indirect document.
const char* const kRealistic[] = {"iw44/page.djvu",         "render/photo600.djvu",   "jb2/cjb2_text300.djvu",
                                  "jb2/cjb2_text600.djvu",  "mmr/text300.djvu",       "render/compound.djvu",
                                  "render/colour.djvu",     "container/doc.djvu",     "jb2/minidjvu.djvu",
                                  "container/dict_indirect/index.djvu"};

struct File {
    std::string path; // relative to the fixtures
    uint32_t w = 0, h = 0;
    std::string skipped; // why it is not measured
};

// Our thumbnail of page 1, as the shell gets it: buildThumbnail's 32-bit bottom-up bitmap in out
// (4 w h bytes; DjVuLibre fills 3 w h of the same buffers). Throws the library's Exception.
void ourThumbnail(const std::string& path, uint32_t w, uint32_t h, uint8_t* out)
{
    AutoPtr<Document> doc = Document::create(String(path.c_str()));
    if (doc->getPages().size() == 0) VTX_THROW(20, "no pages", "thumbnail_bench");
    Nimbrel::buildThumbnail(*doc->getPages()[0], kEdge, [&](uint32_t width, uint32_t height) {
        return width == w && height == h ? out : nullptr;
    });
}

bool theirThumbnail(const std::string& path, uint32_t w, uint32_t h, uint8_t* out)
{
    vtxbench::ReferencePage page(path);
    return page.ok() && page.render(DDJVU_RENDER_COLOR, w, h, DDJVU_FORMAT_RGB24, out);
}

std::vector<File> listFiles()
{
    std::vector<File> files;
    std::ifstream in(kFixtures + "/render/thumbs.txt");
    std::string path, w, h;
    while (in >> path >> w >> h) {
        File f;
        f.path = path;
        try {
            AutoPtr<Document> doc = Document::create(String((kFixtures + "/" + path).c_str()));
            if (doc->getPages().size() == 0) {
                f.skipped = "no pages";
            } else {
                AutoPtr<Page> page = doc->getPages()[0];
                std::tie(f.w, f.h) = vtxbench::thumbnailSize(page->getWidth(), page->getHeight(), kEdge);
                if (!f.w || !f.h) f.skipped = "a side of 0";
            }
        } catch (const Exception&) {
            f.skipped = "ours fails";
        }
        if (!f.skipped.empty()) {
            files.push_back(f);
            continue;
        }
        std::vector<uint8_t> out(size_t(f.w) * f.h * 4);
        try {
            ourThumbnail(kFixtures + "/" + path, f.w, f.h, out.data());
        } catch (const Exception&) {
            f.skipped = "ours fails";
        }
        if (f.skipped.empty() && !theirThumbnail(kFixtures + "/" + path, f.w, f.h, out.data()))
            f.skipped = "DjVuLibre fails";
        files.push_back(f);
    }
    return files;
}

void ours(benchmark::State& state, const File& f)
{
    std::vector<uint8_t> out(size_t(f.w) * f.h * 4);
    const std::string path = kFixtures + "/" + f.path;
    for (auto _ : state) {
        ourThumbnail(path, f.w, f.h, out.data());
        benchmark::DoNotOptimize(out.data());
    }
}

void theirs(benchmark::State& state, const File& f)
{
    std::vector<uint8_t> out(size_t(f.w) * f.h * 4);
    const std::string path = kFixtures + "/" + f.path;
    for (auto _ : state) {
        if (!theirThumbnail(path, f.w, f.h, out.data())) state.SkipWithError("DjVuLibre fails");
        benchmark::DoNotOptimize(out.data());
    }
}

// One thumbnail in a fresh process of this program ("--one ours|theirs|none PATH W H"); its
// peak resident memory in MiB, or -1 when it failed. The child reports its own high-water mark:
// the rusage of a child counts the parent's memory from before the exec.
double peakMiB(const char* who, const std::string& path, uint32_t width, uint32_t height)
{
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return -1;
    const std::string command = "'" + std::string(self) + "' --one " + who + " '" + path + "' " +
                                std::to_string(width) + " " + std::to_string(height);
    FILE* child = popen(command.c_str(), "r");
    if (!child) return -1;
    double mib = -1;
    if (std::fscanf(child, "%lf", &mib) != 1) mib = -1;
    return pclose(child) == 0 ? mib : -1;
}

// The process's peak resident memory in MiB (VmHWM).
double ownPeakMiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024;
    return -1;
}

int runOne(const char* who, const char* path, uint32_t w, uint32_t h)
{
    std::vector<uint8_t> out(size_t(w) * h * 4);
    if (!std::strcmp(who, "theirs")) {
        if (!theirThumbnail(path, w, h, out.data())) return 1;
    } else if (std::strcmp(who, "none")) {
        try {
            ourThumbnail(path, w, h, out.data());
        } catch (const Exception&) {
            return 1;
        }
    }
    std::printf("%.1f\n", ownPeakMiB());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 6 && !std::strcmp(argv[1], "--one"))
        return runOne(argv[2], argv[3], uint32_t(std::stoul(argv[4])), uint32_t(std::stoul(argv[5])));

    const std::vector<File> files = listFiles();
    for (const File& f : files) {
        if (!f.skipped.empty()) continue;
        for (auto [who, fn] : {std::pair{"ours/", &ours}, std::pair{"theirs/", &theirs}})
            benchmark::RegisterBenchmark((who + f.path).c_str(), fn, f)
                ->Unit(benchmark::kMillisecond)
                ->MeasureProcessCPUTime()
                ->UseRealTime();
    }
    // A shorter run than the library's default unless asked: there are two hundred of them.
    std::vector<char*> args(argv, argv + argc);
    std::string minTime = "--benchmark_min_time=0.2";
    bool given = false;
    for (char* a : args) given |= std::strncmp(a, "--benchmark_min_time", 20) == 0;
    if (!given) args.push_back(minTime.data());
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    vtxbench::TimesReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const double baseline = peakMiB("none", "-", 1, 1);
    std::printf("\nThumbnails at edge %u, 24 bits; times in ms of process CPU (wall); peak RSS in MiB of a\n"
                "one-thumbnail process (this program doing nothing: %.1f MiB)\n\n",
                kEdge, baseline);
    std::printf("%-38s %9s %-9s %9s %-9s %6s %6s  %7s %7s\n", "file", "ours", "", "DjVuLibre", "", "ratio", "wall",
                "ours MB", "DjVuLibre MB");
    double sumOurs = 0, sumTheirs = 0, realOurs = 0, realTheirs = 0;
    std::vector<std::string> slower;
    for (const File& f : files) {
        if (!f.skipped.empty()) {
            std::printf("%-38s skipped: %s\n", f.path.c_str(), f.skipped.c_str());
            continue;
        }
        const auto *o = reporter.find("ours/" + f.path), *t = reporter.find("theirs/" + f.path);
        if (!o || !t) continue; // filtered out
        const double ratio = t->cpu / o->cpu;
        std::printf("%-38s %9.3f (%7.3f) %9.3f (%7.3f) %6.2f %6.2f  %7.1f %7.1f\n", f.path.c_str(), o->cpu, o->wall,
                    t->cpu, t->wall, ratio, t->wall / o->wall, peakMiB("ours", kFixtures + "/" + f.path, f.w, f.h),
                    peakMiB("theirs", kFixtures + "/" + f.path, f.w, f.h));
        sumOurs += o->cpu;
        sumTheirs += t->cpu;
        for (const char* r : kRealistic)
            if (f.path == r) realOurs += o->cpu, realTheirs += t->cpu;
        if (ratio < 1) slower.push_back(f.path);
    }
    if (sumOurs > 0) {
        std::printf("\noverall DjVuLibre / ours (sum of CPU times): %.2f\n", sumTheirs / sumOurs);
        if (realOurs > 0) std::printf("realistic pages only: %.2f\n", realTheirs / realOurs);
        std::printf("files where ours is slower: %zu", slower.size());
        for (const std::string& s : slower) std::printf(" %s", s.c_str());
        std::printf("\n");
    }
    benchmark::Shutdown();
    return 0;
}
