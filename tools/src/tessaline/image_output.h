// Writing rendered pictures: PBM, PGM, PPM, PNG and BMP files, or standard output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace Tessaline {

// Byte order of the pixels that a caller hands over (BGRX: 4 bytes, the fourth ignored).
enum class PixelLayout { Gray, RGB, BGR, BGRX };

// Rows `stride` bytes apart (negative when the picture's top row is last in memory).
struct PixelView {
    const uint8_t* pixels = nullptr;
    ptrdiff_t stride = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    PixelLayout layout = PixelLayout::RGB;
};

enum class ImageFormat { pbm, pgm, ppm, png, bmp };

// "pbm", "pgm", "ppm", "png", "bmp"; nothing for other names.
std::optional<ImageFormat> parseFormat(const std::string& name);
// The format named by a path's extension (any case); nothing for other extensions.
std::optional<ImageFormat> formatOfPath(const std::string& path);

// Writes the picture to path, or to standard output for "-". PBM marks a pixel black when its
// grey value is below 128. Throws 17 when the file cannot be written; a file left
// half-written is removed.
void writeImage(const PixelView& view, ImageFormat format, const std::string& path);

} // namespace Tessaline
