// Running the tessaline program from tests: its exit status and output, files it wrote, and
// PNG pictures read back with libpng.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <png.h>

#include "imaging_testutil.h"

namespace tessalinetest {

struct Output {
    int status = -1; // exit status; -1 when the program died of a signal
    std::string out;
};

// Standard output and exit status of a shell command; standard error is dropped unless kept.
inline Output run(const std::string& command, bool keepStderr = false)
{
    Output r;
    FILE* p = popen((keepStderr ? command : command + " 2>/dev/null").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

inline std::string shq(const std::string& s) { return "'" + s + "'"; }

// The program's command line. A sanitizer report must not pass for the exit status 1 of bad
// input, so sanitized builds exit with statuses of their own.
inline std::string tessalineCommand(const std::string& args)
{
    return "ASAN_OPTIONS=\"$ASAN_OPTIONS:exitcode=86\" UBSAN_OPTIONS=\"$UBSAN_OPTIONS:exitcode=87\" " +
           std::string(TESSALINE_PATH) + " " + args;
}

inline Output tessaline(const std::string& args, bool keepStderr = false)
{
    return run(tessalineCommand(args), keepStderr);
}

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A PNG file as 8-bit RGB, a grey one with its samples repeated (so that it compares with a PPM
// file); an empty image when libpng cannot read it.
inline imagingtest::Image readPng(const std::string& path)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_RGB;
    imagingtest::Image out(image.width, image.height, 3);
    if (!png_image_finish_read(&image, nullptr, out.px.data(), 0, nullptr)) {
        png_image_free(&image);
        return {};
    }
    return out;
}

// A fresh empty folder for one test's files, removed at the end of the test.
struct TempDir {
    std::filesystem::path path;
    explicit TempDir(const std::string& name)
        : path(std::filesystem::temp_directory_path() / ("vtx_tessaline_" + name + "_" + std::to_string(getpid())))
    {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

} // namespace tessalinetest
