// tessaline thumbnail: size rule and pixels, the freedesktop entry, batch mode, hostile files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "tessaline_testutil.h"

namespace fs = std::filesystem;
using namespace tessalinetest;

namespace {

const std::string kFixtures = VTX_FIXTURE_DIR "/";

std::string fixture(const std::string& name) { return shq(kFixtures + name); }

} // namespace

TEST(TessalineThumbnail, SizedByTheRuleWithTheRendersPixels)
{
    TempDir tmp("thumb");
    struct Case {
        const char* file;
        const char* size; // "" for the default
        uint32_t w, h;
    } cases[] = {{"container/photo.djvu", "96", 96, 72},       {"container/rot90.djvu", "96", 74, 96},
                 {"container/text300.djvu", "", 197, 256},     {"container/doc_rotated.djvu", "200", 200, 141},
                 {"jb2/cpaldjvu.djvu", "1", 1, 0 /* fails */}, {"mmr/column.djvu", "400", 1, 400},
                 // Uniform pictures, in colour and grey: their filtered rows are nearly all zero.
                 {"iw44/c1x1.djvu", "64", 64, 64},             {"mmr/white.djvu", "64", 64, 42}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string size = *c.size ? std::string("-s ") + c.size + " " : "";
        fs::remove(tmp / "t.png");
        Output r = tessaline("thumbnail " + size + fixture(c.file) + " " + shq(tmp / "t.png"));
        if (c.h == 0) {
            EXPECT_EQ(r.status, 1);
            EXPECT_FALSE(fs::exists(tmp / "t.png"));
            continue;
        }
        ASSERT_EQ(r.status, 0);
        imagingtest::Image png = readPng(tmp / "t.png");
        EXPECT_TRUE(png.w == c.w && png.h == c.h) << png.w << "x" << png.h;
        // The same picture as a plain top-down render at that size.
        Output ppm = tessaline("render --format ppm --size " + std::to_string(c.w) + "x" + std::to_string(c.h) + " " +
                               fixture(c.file) + " " + shq(tmp / "r.ppm"));
        ASSERT_EQ(ppm.status, 0);
        const imagingtest::Image rendered = imagingtest::readPnm(tmp / "r.ppm");
        EXPECT_EQ(imagingtest::firstDifference(png, rendered), "");
        // One sample a pixel exactly when no pixel has colour.
        bool colour = false;
        for (size_t i = 0; i < rendered.px.size(); i += 3)
            colour |= rendered.px[i] != rendered.px[i + 1] || rendered.px[i + 1] != rendered.px[i + 2];
        EXPECT_EQ(uint8_t(readFile(tmp / "t.png").at(25)), colour ? 2 : 0) << "PNG colour type";
        // PPM and BMP by extension; standard output as PNG.
        ASSERT_EQ(tessaline("thumbnail " + size + fixture(c.file) + " " + shq(tmp / "t.ppm")).status, 0);
        EXPECT_TRUE(readFile(tmp / "t.ppm") == readFile(tmp / "r.ppm"));
        ASSERT_EQ(tessaline("thumbnail " + size + fixture(c.file) + " " + shq(tmp / "t.bmp")).status, 0);
        run("convert " + shq(tmp / "t.bmp") + " " + shq(tmp / "bmp.ppm"));
        EXPECT_EQ(imagingtest::diff(imagingtest::readPnm(tmp / "bmp.ppm"), png).count, 0u);
        EXPECT_TRUE(tessaline("thumbnail " + size + fixture(c.file) + " -").out == readFile(tmp / "t.png"));
    }
}

TEST(TessalineThumbnail, FreedesktopEntryRuns)
{
    TempDir tmp("entry");
    std::ifstream in(VTX_SOURCE_DIR "/tools/src/tessaline/tessaline.thumbnailer");
    std::string line, exec;
    while (std::getline(in, line))
        if (line.starts_with("Exec=")) exec = line.substr(5);
    ASSERT_TRUE(exec.starts_with("tessaline "));
    // What a file manager does: fill in size, input and output, then run it.
    for (auto [key, value] : {std::pair{"%s", std::string("128")}, {"%i", fixture("container/photo.djvu")},
                              {"%o", shq(tmp / "out.png")}})
        exec.replace(exec.find(key), 2, value);
    ASSERT_EQ(tessaline(exec.substr(10)).status, 0);
    EXPECT_EQ(readPng(tmp / "out.png").w, 128u);
}

TEST(TessalineThumbnail, BatchGoesOnPastFailures)
{
    TempDir tmp("batch");
    // A truncated copy of a good file, and a file that does not exist, among good ones.
    fs::create_directories(tmp.path / "in");
    std::string photo = readFile(kFixtures + "container/photo.djvu");
    std::ofstream(tmp / "in/cut.djvu", std::ios::binary) << photo.substr(0, photo.size() / 2);
    const std::string good[] = {"container/photo.djvu", "container/rot90.djvu", "jb2/cpaldjvu.djvu",
                                "container/dict_indirect/index.djvu", "mmr/text300.djvu"};
    std::string args;
    for (const std::string& g : good) args += " " + fixture(g);
    args += " " + shq(tmp / "in/cut.djvu") + " " + shq(tmp / "in/missing.djvu");

    std::string listed; // the same inputs for --stdin
    for (const std::string& g : good) listed += kFixtures + g + "\n";
    listed += tmp / "in/cut.djvu";
    listed += "\r\n\n" + tmp / "in/missing.djvu" + "\n";
    std::ofstream(tmp / "list.txt") << listed;

    const std::string runs[] = {"-j 1 --out-dir " + shq(tmp / "j1") + args,
                                "-j 2 --out-dir " + shq(tmp / "j2") + args,
                                "-s 256 --stdin --out-dir " + shq(tmp / "stdin") + " < " + shq(tmp / "list.txt")};
    for (const std::string& r : runs) {
        SCOPED_TRACE(r);
        Output out = tessaline("thumbnail " + r + " 2>&1", true);
        EXPECT_EQ(out.status, 1);
        EXPECT_NE(out.out.find(tmp / "in/cut.djvu" + ": "), std::string::npos) << out.out;
        EXPECT_NE(out.out.find(tmp / "in/missing.djvu" + ": "), std::string::npos) << out.out;
    }
    for (const std::string& g : good) {
        const std::string name = fs::path(g).filename().string() + ".png";
        SCOPED_TRACE(name);
        const std::string bytes = readFile(tmp / ("j1/" + name));
        EXPECT_GT(readPng(tmp / ("j1/" + name)).w, 0u);
        EXPECT_TRUE(readFile(tmp / ("j2/" + name)) == bytes && readFile(tmp / ("stdin/" + name)) == bytes);
    }
    EXPECT_FALSE(fs::exists(tmp / "j1/cut.djvu.png") || fs::exists(tmp / "j1/missing.djvu.png"));
    // Two inputs of one name would share an output: the second is refused, the first written.
    Output twice = tessaline("thumbnail --out-dir " + shq(tmp / "twice") + " " + fixture("container/photo.djvu") +
                                 " " + fixture("mmr/text300.djvu") + " " + fixture("jb2/cjb2_text300.djvu") + " " +
                                 fixture("container/text300.djvu") + " 2>&1",
                             true);
    EXPECT_EQ(twice.status, 1);
    EXPECT_NE(twice.out.find("also writes"), std::string::npos) << twice.out;
    EXPECT_TRUE(readFile(tmp / "twice/text300.djvu.png") == readFile(tmp / "j1/text300.djvu.png"));
}

// A batch worker keeps its memory from one thumbnail to the next, and several workers take the
// inputs in an order of their own: every file must still come out as it does alone. The inputs
// alternate between large and small, colour, grey and bitonal, upright and turned, stored and
// rendered thumbnails.
TEST(TessalineThumbnail, BatchFilesEqualFilesMadeOneAtATime)
{
    TempDir tmp("batchsame");
    const std::string files[] = {"container/photo.djvu",   "jb2/cjb2_text300.djvu", "container/rot90.djvu",
                                 "container/gray.djvu",    "stored/thumbs.djvu",    "container/doc_rotated.djvu",
                                 "iw44/detail_grey.djvu",  "mmr/text300.djvu"};
    std::string inputs;
    for (const std::string& f : files) inputs += " " + fixture(f);
    for (const std::string options : {"-s 200 -j 1", "-s 200 -j 2", "-s 90 -j 1 --stored", "-s 90 -j 2 --stored"}) {
        SCOPED_TRACE(options);
        fs::remove_all(tmp / "batch");
        ASSERT_EQ(tessaline("thumbnail " + options + " --out-dir " + shq(tmp / "batch") + inputs + " 2>/dev/null").status, 0);
        const std::string single = options.substr(0, options.find(" -j")) + (options.ends_with("--stored") ? " --stored" : "");
        for (const std::string& f : files) {
            SCOPED_TRACE(f);
            ASSERT_EQ(tessaline("thumbnail " + single + " " + fixture(f) + " " + shq(tmp / "one.png") + " 2>/dev/null").status, 0);
            const std::string name = fs::path(f).filename().string() + ".png";
            EXPECT_TRUE(readFile(tmp / ("batch/" + name)) == readFile(tmp / "one.png"));
        }
    }
}

TEST(TessalineThumbnail, UsageErrors)
{
    TempDir tmp("thumbusage");
    const std::string photo = fixture("container/photo.djvu"), out = shq(tmp / "t.png");
    for (const std::string& args : {"-s 0 " + photo + " " + out, "-s 16385 " + photo + " " + out, "-s x " + photo + " " + out,
                                   photo, photo + " " + out + " " + out, "--stdin " + photo + " " + out,
                                   "-j 2 " + photo + " " + out, "--out-dir " + shq(tmp / "d"), "-j 0 --out-dir d " + photo}) {
        SCOPED_TRACE(args);
        EXPECT_EQ(tessaline("thumbnail " + args).status, 2);
    }
    EXPECT_FALSE(fs::exists(tmp / "t.png"));
    std::string help = tessaline("thumbnail --help").out;
    for (const char* option : {"--size", "--out-dir", "--stdin", "--jobs"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

// Cut and corrupted files end in exit status 1 (or, when the damage misses everything that is
// read, 0): never a crash, a sanitizer report or a hang.
TEST(TessalineThumbnail, HostileFilesFailCleanly)
{
    TempDir tmp("hostile");
    std::mt19937 rng(17);
    int failures = 0, runs = 0;
    for (const char* name : {"container/photo.djvu", "jb2/cpaldjvu.djvu", "mmr/text_odd.djvu", "container/dict.djvu"}) {
        const std::string good = readFile(kFixtures + name);
        for (int variant = 0; variant < 12; ++variant) {
            std::string bad = good;
            if (variant < 4) {
                bad.resize(bad.size() * size_t(variant + 1) / 5);
            } else {
                for (int i = 0; i < variant; ++i) bad[rng() % bad.size()] ^= char(1u << (rng() % 8));
            }
            std::ofstream(tmp / "bad.djvu", std::ios::binary) << bad;
            for (const char* command : {"thumbnail -s 64", "render --fit 300"}) {
                SCOPED_TRACE(std::string(name) + " variant " + std::to_string(variant) + ": " + command);
                Output r = run("timeout 60 sh -c " +
                               shq(tessalineCommand(std::string(command) + " " + tmp / "bad.djvu" + " " +
                                                    tmp / "out.ppm")));
                EXPECT_TRUE(r.status == 0 || r.status == 1) << "status " << r.status;
                failures += r.status == 1;
                ++runs;
            }
        }
    }
    EXPECT_GT(failures, runs / 3);
}

TEST(TessalineThumbnail, StoredThumbnailOrTheRenderWithANote)
{
    TempDir tmp("stored");
    // The first page stores a 128 x 96 image: drawn at that size it is that image, silently.
    Output r = tessaline("thumbnail --stored -s 128 " + fixture("stored/thumbs.djvu") + " " + shq(tmp / "s.ppm") +
                             " 2>&1",
                         true);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(imagingtest::firstDifference(imagingtest::readPnm(tmp / "s.ppm"),
                                           imagingtest::readPnm(kFixtures + "stored/alone.1.ppm")),
              "");
    // Another size scales it; a page without one is rendered, and standard error says so.
    ASSERT_EQ(tessaline("thumbnail --stored -s 64 " + fixture("stored/thumbs.djvu") + " " + shq(tmp / "64.ppm")).status, 0);
    EXPECT_EQ(imagingtest::readPnm(tmp / "64.ppm").w, 64u);
    r = tessaline("thumbnail --stored -s 96 " + fixture("container/photo.djvu") + " " + shq(tmp / "p.ppm") + " 2>&1", true);
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("no stored thumbnail; rendering the page"), std::string::npos) << r.out;
    ASSERT_EQ(tessaline("thumbnail -s 96 " + fixture("container/photo.djvu") + " " + shq(tmp / "r.ppm")).status, 0);
    EXPECT_TRUE(readFile(tmp / "p.ppm") == readFile(tmp / "r.ppm"));
}
