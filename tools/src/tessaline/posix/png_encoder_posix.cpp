#include <png.h>

#include <vector>

#include "../png_encoder.h"

namespace Tessaline {
namespace {

[[noreturn]] void pngError(png_structp png, png_const_charp message)
{
    auto* text = static_cast<std::string*>(png_get_error_ptr(png));
    *text = message ? message : "libpng error";
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

// libpng reports errors by longjmp: nothing in this frame may need a destructor after
// setjmp, so the row buffer is the caller's.
bool pngWriteRows(const PixelView& v, FILE* file, uint8_t* row, std::string* error)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, pngError, pngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    const bool gray = v.layout == PixelLayout::Gray;
    png_init_io(png, file);
    png_set_IHDR(png, info, v.width, v.height, 8, gray ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Thumbnails are small: one fixed filter and a fast zlib level write files about as small as
    // libpng's per-row filter search at its default level, in a quarter of the instructions.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_level(png, 2);
    png_write_info(png, info);
    for (uint32_t y = 0; y < v.height; ++y) {
        samplesOfRow(v, y, gray ? Samples::Gray : Samples::RGB, row);
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool encodePng(const PixelView& v, FILE* file, std::string* error)
{
    std::vector<uint8_t> row(size_t(v.width) * 3);
    return pngWriteRows(v, file, row.data(), error);
}

} // namespace Tessaline
