#include "image_output.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "console.h"
#include "gray_check.h"
#include "png_encoder.h"
#include "vtx_exception.h"

namespace Tessaline {
namespace {

using Vantorix::String;

const char* const kWriteImage = "Tessaline::writeImage";

template <int Step, int R, int G, int B>
void convertRow(const uint8_t* s, uint32_t n, Samples out, uint8_t* d)
{
    switch (out) {
    case Samples::Gray:
        for (uint32_t i = 0; i < n; ++i, s += Step) {
            if constexpr (Step == 1) d[i] = s[0];
            else d[i] = uint8_t((15 * s[B] + 75 * s[G] + 38 * s[R] + 64) >> 7); // the renderer's weights
        }
        break;
    case Samples::RGB:
        for (uint32_t i = 0; i < n; ++i, s += Step, d += 3) d[0] = s[R], d[1] = s[G], d[2] = s[B];
        break;
    case Samples::BGR:
        for (uint32_t i = 0; i < n; ++i, s += Step, d += 3) d[0] = s[B], d[1] = s[G], d[2] = s[R];
        break;
    }
}

// A file being written (or standard output). Unless finish() succeeds, the file is removed.
class Sink {
public:
    explicit Sink(const std::string& path) : path_(path)
    {
        if (path == "-") {
            setBinaryStdout();
            file_ = stdout;
            return;
        }
        file_ = std::fopen(path.c_str(), "wb");
        if (!file_)
            VTX_THROW(Vantorix::errWriteFailed, String::format("Cannot create %s: %s!", path.c_str(), std::strerror(errno)),
                      kWriteImage);
    }
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;
    ~Sink()
    {
        if (!file_ || file_ == stdout) return;
        std::fclose(file_);
        removeFile();
    }

    FILE* get() const { return file_; }
    void write(const void* data, size_t size)
    {
        if (size && std::fwrite(data, 1, size, file_) != size) failed();
    }
    void finish()
    {
        FILE* file = file_;
        if (file == stdout) {
            if (std::fflush(file) != 0) failed();
            return;
        }
        file_ = nullptr;
        if (std::fclose(file) != 0) {
            removeFile();
            failed();
        }
    }
    [[noreturn]] void failed()
    {
        VTX_THROW(Vantorix::errWriteFailed, String::format("Cannot write %s!", path_.c_str()), kWriteImage);
    }

private:
    void removeFile()
    {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }

    std::string path_;
    FILE* file_ = nullptr;
};

void writeHeader(Sink& sink, const char* format, uint32_t w, uint32_t h)
{
    char header[64];
    int n = std::snprintf(header, sizeof header, format, w, h);
    sink.write(header, size_t(n));
}

void writePnm(const PixelView& v, ImageFormat format, Sink& sink)
{
    const bool colour = format == ImageFormat::ppm;
    writeHeader(sink, format == ImageFormat::pbm ? "P4\n%u %u\n" : colour ? "P6\n%u %u\n255\n" : "P5\n%u %u\n255\n",
                v.width, v.height);
    std::vector<uint8_t> row(size_t(v.width) * (colour ? 3 : 1));
    std::vector<uint8_t> bits((v.width + 7) / 8);
    for (uint32_t y = 0; y < v.height; ++y) {
        samplesOfRow(v, y, colour ? Samples::RGB : Samples::Gray, row.data());
        if (format != ImageFormat::pbm) {
            sink.write(row.data(), row.size());
            continue;
        }
        std::fill(bits.begin(), bits.end(), 0);
        for (uint32_t x = 0; x < v.width; ++x)
            if (row[x] < 128) bits[x >> 3] |= uint8_t(0x80 >> (x & 7));
        sink.write(bits.data(), bits.size());
    }
}

void put16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); }
void put32(uint8_t* p, uint32_t v) { put16(p, v), put16(p + 2, v >> 16); }

// 24-bit, bottom-up rows padded to 4 bytes: what every reader of the format accepts.
void writeBmp(const PixelView& v, Sink& sink)
{
    const uint64_t rowBytes = (uint64_t(v.width) * 3 + 3) & ~uint64_t(3);
    const uint64_t imageBytes = rowBytes * v.height;
    if (imageBytes > 0xFFFFFFFFu - 54)
        VTX_THROW(Vantorix::errLimitExceeded, "The picture is too large for a BMP file!", kWriteImage);
    uint8_t header[54] = {'B', 'M'};
    put32(header + 2, uint32_t(54 + imageBytes));
    put32(header + 10, 54);
    put32(header + 14, 40);
    put32(header + 18, v.width);
    put32(header + 22, v.height);
    put16(header + 26, 1);
    put16(header + 28, 24);
    put32(header + 34, uint32_t(imageBytes));
    put32(header + 38, 2835); // 72 dpi in pixels per metre
    put32(header + 42, 2835);
    sink.write(header, sizeof header);
    std::vector<uint8_t> row(rowBytes, 0);
    for (uint32_t y = v.height; y-- > 0;) {
        samplesOfRow(v, y, Samples::BGR, row.data());
        sink.write(row.data(), row.size());
    }
}

// A picture without colour (every text or bilevel page) is written with one sample a pixel: a
// third of the bytes to filter and compress, and a smaller file.
void writePng(const PixelView& v, Sink& sink)
{
    std::string error;
    if (!encodePng(v, isGray(v), sink.get(), &error)) {
        if (std::ferror(sink.get())) sink.failed();
        VTX_THROW(Vantorix::errWriteFailed, String::format("PNG: %s", error.empty() ? "out of memory" : error.c_str()),
                  kWriteImage);
    }
}

} // namespace

void samplesOfRow(const PixelView& v, uint32_t y, Samples out, uint8_t* dst)
{
    const uint8_t* s = v.pixels + ptrdiff_t(y) * v.stride;
    switch (v.layout) {
    case PixelLayout::Gray: convertRow<1, 0, 0, 0>(s, v.width, out, dst); break;
    case PixelLayout::RGB: convertRow<3, 0, 1, 2>(s, v.width, out, dst); break;
    case PixelLayout::BGR: convertRow<3, 2, 1, 0>(s, v.width, out, dst); break;
    case PixelLayout::BGRX: convertRow<4, 2, 1, 0>(s, v.width, out, dst); break;
    }
}

std::optional<ImageFormat> parseFormat(const std::string& name)
{
    static const std::pair<const char*, ImageFormat> names[] = {{"pbm", ImageFormat::pbm},
                                                                {"pgm", ImageFormat::pgm},
                                                                {"ppm", ImageFormat::ppm},
                                                                {"png", ImageFormat::png},
                                                                {"bmp", ImageFormat::bmp}};
    for (const auto& [n, format] : names)
        if (name == n) return format;
    return std::nullopt;
}

std::optional<ImageFormat> formatOfPath(const std::string& path)
{
    std::string ext = std::filesystem::path(path).extension().string();
    if (ext.size() < 2) return std::nullopt;
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return parseFormat(ext.substr(1));
}

void writeImage(const PixelView& view, ImageFormat format, const std::string& path)
{
    Sink sink(path);
    switch (format) {
    case ImageFormat::pbm:
    case ImageFormat::pgm:
    case ImageFormat::ppm: writePnm(view, format, sink); break;
    case ImageFormat::bmp: writeBmp(view, sink); break;
    case ImageFormat::png: writePng(view, sink); break;
    }
    sink.finish();
}

} // namespace Tessaline
