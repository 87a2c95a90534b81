// tessaline thumbnail [-s SIZE] [--stored] INPUT OUTPUT: the first page's thumbnail, exactly as the shell
// extension makes it. With --out-dir (and files, or --stdin) it works through a list of
// documents on a pool of threads, one document per worker at a time.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "batch_support.h"
#include "commands.h"
#include "console.h"
#include "failure.h"
#include "image_output.h"
#include "nimbrel_thumbnail.h"
#include "vtx_exception.h"

namespace Tessaline {
namespace {

using namespace Vantorix;
namespace fs = std::filesystem;

struct Options {
    uint32_t size = 256;
    std::vector<std::string> files;
    std::string outDir;
    bool stdinList = false;
    unsigned jobs = 0;
    bool stored = false;
};

// The page's stored thumbnail scaled to the thumbnail's size into bits; nothing when the page
// has none.
std::optional<PixelView> renderStoredThumbnail(DjVu::Page& page, uint32_t size, std::vector<uint8_t>& bits)
{
    if (!page.getThumbnailChunk()) return std::nullopt;
    const Nimbrel::ThumbnailSize s = Nimbrel::thumbnailSize(page.getWidth(), page.getHeight(), size);
    bits.assign(size_t(s.width) * s.height * 3, 0);
    const ptrdiff_t stride = ptrdiff_t(s.width) * 3;
    page.renderThumbnail(bits.data(), int32_t(stride), DjVu::Photometric::BGR, DjVu::Rect{0, 0, s.width, s.height},
                         s.width, s.height, 0, false);
    return PixelView{bits.data(), stride, s.width, s.height, PixelLayout::BGR};
}

// The page rendered as the shell extension renders it, into bits (whose memory a batch worker
// keeps from one thumbnail to the next).
PixelView renderThumbnail(DjVu::Page& page, uint32_t size, std::vector<uint8_t>& bits)
{
    const Nimbrel::ThumbnailSize s = Nimbrel::buildThumbnail(page, size, [&bits](uint32_t w, uint32_t h) {
        bits.assign(size_t(w) * h * 4, 0);
        return bits.data();
    });
    const ptrdiff_t stride = ptrdiff_t(s.width) * 4;
    // Bottom-up: the picture's top row is the last in memory.
    return PixelView{bits.data() + (s.height - 1) * stride, -stride, s.width, s.height, PixelLayout::BGRX};
}

void makeThumbnail(const std::string& input, uint32_t size, ImageFormat format, const std::string& output,
                   bool stored, std::vector<uint8_t>& bits)
{
    const PixelView view = [&] {
        try {
            OpenedPage opened = openPage(input, 1);
            if (stored) {
                if (const auto view = renderStoredThumbnail(*opened.page, size, bits)) return *view;
                std::fprintf(stderr, "%s: no stored thumbnail; rendering the page\n", input.c_str());
            }
            return renderThumbnail(*opened.page, size, bits);
        } catch (...) {
            throw failureAbout(input, 1);
        }
    }();
    try {
        writeImage(view, format, output);
    } catch (...) {
        throw failureAbout(output);
    }
}

// What a batch tells the user on standard error: failures, and a progress line that only a
// terminal gets (it is redrawn in place).
class Reporter {
public:
    explicit Reporter(size_t total) : total_(total), progress_(stderrIsTerminal()) {}

    // text: the failure's lines, as main would print them.
    void failed(const std::string& text)
    {
        std::lock_guard<std::mutex> hold(lock_);
        clearProgress();
        std::fputs(text.c_str(), stderr);
        ++failures_;
        ++done_;
        showProgress();
    }
    void succeeded()
    {
        std::lock_guard<std::mutex> hold(lock_);
        ++done_;
        showProgress();
    }
    size_t finish()
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (progress_ && shown_) std::fputc('\n', stderr);
        return failures_;
    }

private:
    void clearProgress()
    {
        if (progress_ && shown_) std::fprintf(stderr, "\r%*s\r", int(shown_), "");
        shown_ = 0;
    }
    void showProgress()
    {
        if (!progress_) return;
        int n = std::fprintf(stderr, "\r%zu/%zu thumbnails, %zu failed", done_, total_, failures_);
        shown_ = n > 1 ? size_t(n - 1) : 0;
        std::fflush(stderr);
    }

    std::mutex lock_;
    size_t total_, done_ = 0, failures_ = 0, shown_ = 0;
    bool progress_;
};

// The order in which workers take the inputs. One worker goes through them as given; several
// start with the largest files, so that no large page is left for the end while the other
// workers have nothing more to do.
std::vector<size_t> workOrder(const std::vector<std::string>& inputs, unsigned jobs)
{
    std::vector<size_t> order(inputs.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    if (jobs < 2) return order;
    std::vector<uintmax_t> bytes(inputs.size());
    for (size_t i = 0; i < inputs.size(); ++i) {
        std::error_code missing; // reported when the worker gets to it
        bytes[i] = fs::file_size(inputs[i], missing);
        if (missing) bytes[i] = 0;
    }
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return bytes[a] > bytes[b]; });
    return order;
}

void runBatch(const Options& o)
{
    std::vector<std::string> inputs = o.files;
    if (o.stdinList)
        for (std::string line; std::getline(std::cin, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty()) inputs.push_back(line);
        }
    if (inputs.empty()) throw CLI::ValidationError("FILE", "no input files (give them, or --stdin)");
    fs::create_directories(o.outDir);

    Reporter report(inputs.size());
    // Two inputs of the same name (from different folders) would write one output twice.
    std::vector<std::string> outputs(inputs.size());
    std::set<std::string> taken;
    std::vector<bool> clash(inputs.size());
    for (size_t i = 0; i < inputs.size(); ++i) {
        outputs[i] = (fs::path(o.outDir) / (fs::path(inputs[i]).filename().string() + ".png")).string();
        clash[i] = !taken.insert(outputs[i]).second;
    }

    unsigned jobs = o.jobs ? o.jobs : std::max(1u, std::thread::hardware_concurrency());
    if (jobs > inputs.size()) jobs = unsigned(inputs.size());
    const std::vector<size_t> order = workOrder(inputs, jobs);
    keepFreedMemory();

    std::atomic<size_t> next{0};
    auto worker = [&] {
        std::vector<uint8_t> bits;
        for (size_t k; (k = next++) < order.size();) {
            // This worker's next input is about jobs places further on.
            if (k + jobs < order.size()) readAhead(inputs[order[k + jobs]]);
            const size_t i = order[k];
            if (clash[i]) {
                report.failed("tessaline: " + inputs[i] + ": an earlier input also writes " + outputs[i] + "\n");
                continue;
            }
            try {
                makeThumbnail(inputs[i], o.size, ImageFormat::png, outputs[i], o.stored, bits);
                report.succeeded();
            } catch (const std::exception&) {
                report.failed(failureAbout(inputs[i]).what());
            } catch (...) {
                report.failed("tessaline: " + inputs[i] + ": unknown error\n");
            }
        }
    };
    std::vector<std::thread> pool;
    for (unsigned j = 1; j < jobs; ++j) pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool) t.join();
    if (report.finish() > 0) throw ExitStatus{1};
}

void run(const Options& o)
{
    if (!o.outDir.empty()) return runBatch(o);
    if (o.files.size() != 2) throw CLI::ValidationError("INPUT OUTPUT", "give one input and one output file");
    const std::string& output = o.files[1];
    ImageFormat format = output == "-" ? ImageFormat::png : formatOfPath(output).value_or(ImageFormat::png);
    std::vector<uint8_t> bits;
    makeThumbnail(o.files[0], o.size, format, output, o.stored, bits);
}

} // namespace

void addThumbnailCommand(CLI::App& app)
{
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand(
        "thumbnail",
        "Make the first page's thumbnail: the longer displayed side becomes SIZE pixels, the other keeps the "
        "page's proportion (truncated). One file: INPUT OUTPUT, written as PNG, or PPM, PGM, PBM or BMP by "
        "OUTPUT's extension; - writes PNG to standard output. Many files: --out-dir DIR FILE... (or --stdin), "
        "each written as DIR/<file name>.png; a failure is reported with its file name and the others go on "
        "(exit status 1 if any failed).");
    cmd->add_option("-s,--size", o->size, "Longer side of the thumbnail in pixels, 1 to 16384 (default 256)")
        ->check(CLI::Range(1u, 16384u));
    cmd->add_option("FILE", o->files, "INPUT OUTPUT, or with --out-dir the input files");
    cmd->add_flag("--stored", o->stored,
                  "Scale the thumbnail the document stores for the page when it has one (says so on standard "
                  "error when it renders the page instead)");
    CLI::Option* outDir = cmd->add_option("--out-dir", o->outDir, "Batch mode: write DIR/<input file name>.png for every input (DIR is "
                                            "created when missing)");
    cmd->add_flag("--stdin", o->stdinList, "Batch mode: read more input files from standard input, one per line")
        ->needs(outDir);
    cmd->add_option("-j,--jobs", o->jobs, "Batch mode: documents made at once, on threads (default: all cores)")
        ->check(CLI::Range(1u, 1024u))
        ->needs(outDir);
    cmd->callback([o] { run(*o); });
}

} // namespace Tessaline
