// Batch mode against DjVuLibre, as a user runs a collection: `tessaline thumbnail -s 256 -j N
// --out-dir DIR FILE...` in a process of its own, PNG files written, against DjVuLibre's library
// rendering the same thumbnails in this process (a fresh context per file, RGB24, nothing
// written). The inputs are copies of the fixtures of render/thumbs.txt under names of their
// own (an indirect document's folder is copied whole); a fixture that either side cannot
// thumbnail is left out.
//
// 1. Per file: the same file in one batch of 2C copies and one of C (-j 1), whose difference in
//    CPU time over C is one thumbnail without the process's start; DjVuLibre's CPU time per
//    thumbnail over C runs. A single pair of runs is at the mercy of whatever else the machine
//    does in those seconds (a disturbed run of either batch moves the difference by hundreds of
//    ms), so each batch runs R times, the two interleaved, and each side keeps its least time
//    (C = 10, R = 5: with fewer, a small file's figure moved by a tenth from run to run).
// 2. A collection of 200 mixed files: wall and CPU time of -j 1 and -j 2, against DjVuLibre's,
//    per thumbnail, and -j 2 against -j 1 (wall time: what two cores give); each the median of
//    three runs.
//
//   scripts/bench.sh batch_bench                 (builds the preset "bench" and runs this)
//   build/bench/bench/batch_bench --quick        (20 files, C = 1, R = 1: checks that it runs)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_util.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kEdge = 256;
const std::string kFixtures = VTX_FIXTURE_DIR;
const std::string kTessaline = VTX_TESSALINE;

struct Times {
    double wall = 0, cpu = 0; // milliseconds
};

double cpuMs(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double childrenCpuMs()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(u.ru_utime) + ms(u.ru_stime);
}

double wallMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The program's inputs, one per line, and the batch's output folder.
struct Batch {
    fs::path list, outDir;
};

Batch writeBatch(const fs::path& dir, const std::string& name, const std::vector<fs::path>& files)
{
    Batch b{dir / (name + ".txt"), dir / (name + ".out")};
    std::ofstream list(b.list);
    for (const fs::path& f : files) list << f.string() << "\n";
    return b;
}

// tessaline's batch mode in a child process: its wall time and CPU time (children's rusage).
// Failures of single files are expected (they were sorted out before); a failed start is not.
Times runBatch(const Batch& b, unsigned jobs)
{
    fs::remove_all(b.outDir);
    const std::string command = "'" + kTessaline + "' thumbnail -s " + std::to_string(kEdge) + " -j " +
                                std::to_string(jobs) + " --out-dir '" + b.outDir.string() + "' --stdin < '" +
                                b.list.string() + "' 2>/dev/null";
    const double wall = wallMs(), cpu = childrenCpuMs();
    const int status = std::system(command.c_str());
    Times t{wallMs() - wall, childrenCpuMs() - cpu};
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) > 1) {
        std::fprintf(stderr, "batch_bench: %s failed\n", command.c_str());
        std::exit(1);
    }
    return t;
}

// Width and height from a PNG file's header; 0 x 0 when there is no such file.
std::pair<uint32_t, uint32_t> pngSize(const fs::path& path)
{
    const std::vector<uint8_t> head = vtxbench::readFile(path.string());
    if (head.size() < 24) return {0, 0};
    auto be32 = [&](size_t at) { return uint32_t(head[at]) << 24 | head[at + 1] << 16 | head[at + 2] << 8 | head[at + 3]; };
    return {be32(16), be32(20)};
}

// runBatch for inputs that all thumbnail: a file that fails would only make the batch look
// faster, so a missing output ends the benchmark.
Times runOurs(const Batch& b, unsigned jobs, size_t outputs)
{
    const Times t = runBatch(b, jobs);
    size_t written = 0;
    for (const auto& entry : fs::directory_iterator(b.outDir)) written += entry.path().extension() == ".png";
    if (written != outputs) {
        std::fprintf(stderr, "batch_bench: %s wrote %zu of %zu thumbnails\n", b.list.c_str(), written, outputs);
        std::exit(1);
    }
    return t;
}

struct Input {
    std::string fixture; // relative to the fixtures
    fs::path path;       // the copy
    uint32_t w = 0, h = 0;
};

// A copy of fixture under a name that starts with tag: a file of its own, or in an indirect
// document's folder, copied whole.
fs::path copyFixture(const std::string& fixture, const fs::path& dir, const std::string& tag)
{
    const fs::path from = fs::path(kFixtures) / fixture;
    const std::string name = tag + "_" + from.filename().string();
    if (fs::path(fixture).parent_path().has_parent_path()) {
        const fs::path folder = dir / tag;
        fs::copy(from.parent_path(), folder, fs::copy_options::recursive);
        fs::rename(folder / from.filename(), folder / name);
        return folder / name;
    }
    fs::copy_file(from, dir / name);
    return dir / name;
}

// DjVuLibre's thumbnail of in, into out (resized to it); false when it fails.
bool renderTheirs(const Input& in, std::vector<uint8_t>& out)
{
    out.resize(size_t(in.w) * in.h * 3);
    vtxbench::ReferencePage page(in.path.string());
    return page.ok() && page.render(DDJVU_RENDER_COLOR, in.w, in.h, DDJVU_FORMAT_RGB24, out.data());
}

// Every fixture of the list that both sides thumbnail, with our thumbnail's size.
std::vector<Input> usableFixtures(const fs::path& dir)
{
    std::vector<Input> inputs;
    std::ifstream in(kFixtures + "/render/thumbs.txt");
    std::string fixture, w, h;
    for (int n = 0; in >> fixture >> w >> h; ++n)
        inputs.push_back({fixture, copyFixture(fixture, dir / "kinds", "k" + std::to_string(n))});
    std::vector<fs::path> paths;
    for (const Input& i : inputs) paths.push_back(i.path);
    const Batch all = writeBatch(dir, "kinds", paths);
    runBatch(all, 2);
    std::vector<Input> usable;
    std::vector<uint8_t> out;
    for (Input& i : inputs) {
        std::tie(i.w, i.h) = pngSize(all.outDir / (i.path.filename().string() + ".png"));
        if (i.w && i.h && renderTheirs(i, out))
            usable.push_back(i);
        else
            std::printf("%-38s skipped: a side fails\n", i.fixture.c_str());
    }
    return usable;
}

// DjVuLibre's thumbnails of inputs, one after another in this process.
Times timeTheirs(const std::vector<Input>& inputs)
{
    std::vector<uint8_t> out;
    const double wall = wallMs(), cpu = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
    for (const Input& in : inputs)
        if (!renderTheirs(in, out)) std::fprintf(stderr, "batch_bench: DjVuLibre failed on %s\n", in.fixture.c_str());
    return {wallMs() - wall, cpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpu};
}

void perFile(const fs::path& dir, const std::vector<Input>& usable, int copies, int repeats, double& sumOurs,
             double& sumTheirs, std::vector<std::string>& slower)
{
    std::printf("\nPer file, one thumbnail in ms of CPU time (least of %d runs): ours in batch mode (-j 1, PNG "
                "written), DjVuLibre in process\n\n%-38s %9s %9s %6s\n",
                repeats, "file", "ours", "DjVuLibre", "ratio");
    int n = 0;
    for (const Input& in : usable) {
        std::vector<fs::path> few, more;
        for (int c = 0; c < 2 * copies; ++c) {
            const std::string tag = "f" + std::to_string(n) + "c" + std::to_string(c);
            (c < copies ? few : more).push_back(copyFixture(in.fixture, dir / "files", tag));
        }
        more.insert(more.end(), few.begin(), few.end());
        const std::string name = "f" + std::to_string(n++);
        const Batch moreBatch = writeBatch(dir, name + "more", more), fewBatch = writeBatch(dir, name, few);
        double moreCpu = 1e300, fewCpu = 1e300, theirsCpu = 1e300;
        for (int r = 0; r < repeats; ++r) {
            moreCpu = std::min(moreCpu, runOurs(moreBatch, 1, more.size()).cpu);
            fewCpu = std::min(fewCpu, runOurs(fewBatch, 1, few.size()).cpu);
            theirsCpu = std::min(theirsCpu, timeTheirs(std::vector<Input>(size_t(copies), in)).cpu);
        }
        const double ours = (moreCpu - fewCpu) / copies, theirs = theirsCpu / copies;
        std::printf("%-38s %9.3f %9.3f %6.2f\n", in.fixture.c_str(), ours, theirs, theirs / ours);
        sumOurs += ours;
        sumTheirs += theirs;
        if (ours > theirs) slower.push_back(in.fixture);
    }
}

void collection(const fs::path& dir, const std::vector<Input>& usable, int size)
{
    std::vector<Input> mixed;
    std::vector<fs::path> paths;
    for (int i = 0; i < size; ++i) {
        Input in = usable[size_t(i) % usable.size()];
        in.path = copyFixture(in.fixture, dir / "collection", "m" + std::to_string(i));
        paths.push_back(in.path);
        mixed.push_back(in);
    }
    const Batch b = writeBatch(dir, "collection", paths);
    // Three runs of each, interleaved, and of each the median run (by wall time).
    std::vector<Times> ones, twos, theirses;
    for (int r = 0; r < 3; ++r) {
        ones.push_back(runOurs(b, 1, paths.size()));
        twos.push_back(runOurs(b, 2, paths.size()));
        theirses.push_back(timeTheirs(mixed));
    }
    auto median = [](std::vector<Times>& runs) {
        std::sort(runs.begin(), runs.end(), [](const Times& x, const Times& y) { return x.wall < y.wall; });
        return runs[runs.size() / 2];
    };
    const Times one = median(ones), two = median(twos), theirs = median(theirses);
    std::printf("\nA collection of %d mixed files, per thumbnail in ms: wall (CPU), median of 3 runs\n", size);
    std::printf("  ours -j 1 (PNG written)  %8.3f (%8.3f)\n", one.wall / size, one.cpu / size);
    std::printf("  ours -j 2 (PNG written)  %8.3f (%8.3f)\n", two.wall / size, two.cpu / size);
    std::printf("  DjVuLibre, in process    %8.3f (%8.3f)\n", theirs.wall / size, theirs.cpu / size);
    std::printf("ours -j 1 / DjVuLibre (wall): %.2f\n", one.wall / theirs.wall);
    std::printf("ours -j 2 / DjVuLibre (wall): %.2f\n", two.wall / theirs.wall);
    std::printf("-j 2 speed-up over -j 1 (wall): %.2f\n", one.wall / two.wall);
}

} // namespace

int main(int argc, char** argv)
{
    bool quick = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--quick")) quick = true;
        else if (std::strncmp(argv[i], "--benchmark_", 12)) { // the other benchmarks' options pass by
            std::fprintf(stderr, "usage: batch_bench [--quick]\n");
            return 2;
        }
    }
    char pattern[] = "/tmp/batch_bench.XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const fs::path dir = pattern;
    for (const char* sub : {"kinds", "files", "collection"}) fs::create_directories(dir / sub);

    std::vector<Input> usable = usableFixtures(dir);
    if (usable.empty()) return 1;
    if (quick && usable.size() > 20) usable.resize(20);
    double sumOurs = 0, sumTheirs = 0;
    std::vector<std::string> slower;
    perFile(dir, usable, quick ? 1 : 10, quick ? 1 : 5, sumOurs, sumTheirs, slower);
    std::printf("\noverall DjVuLibre / ours (sum of per-file CPU times): %.2f\n", sumTheirs / sumOurs);
    std::printf("files where ours is slower: %zu", slower.size());
    for (const std::string& s : slower) std::printf(" %s", s.c_str());
    std::printf("\n");
    collection(dir, usable, quick ? 20 : 200);
    fs::remove_all(dir);
    return 0;
}
