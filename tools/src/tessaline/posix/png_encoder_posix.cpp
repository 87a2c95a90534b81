#include <libdeflate.h>
#include <png.h>

#include <algorithm>
#include <vector>

#include "../png_encoder.h"
#include "../png_filter.h"
#include "deflate_greedy.h"
#include "deflate_literals.h"

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
bool pngWriteRows(const PixelView& v, bool gray, FILE* file, uint8_t* row, std::string* error)
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

// Pictures up to this many bytes of filtered rows (a 1180 x 1180 colour thumbnail) are
// compressed in one piece; larger ones go through libpng row by row, so that a full-size page
// does not hold its rows twice more in memory.
constexpr size_t kWholeLimit = 4 << 20;

void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (24 - 8 * i));
}

// A chunk: its length, type, data and the CRC of type and data. False when writing fails.
bool writeChunk(FILE* file, const char* type, const uint8_t* data, uint32_t size)
{
    uint8_t head[8], crc[4];
    put32(head, size);
    std::copy_n(type, 4, head + 4);
    // libdeflate_crc32 of a null buffer is its starting value, not the CRC so far.
    uint32_t sum = libdeflate_crc32(0, head + 4, 4);
    if (size) sum = libdeflate_crc32(sum, data, size);
    put32(crc, sum);
    return std::fwrite(head, 1, 8, file) == 8 && (!size || std::fwrite(data, 1, size, file) == size) &&
           std::fwrite(crc, 1, 4, file) == 4;
}

// At least size bytes of buffer; they hold whatever they held before.
uint8_t* room(std::vector<uint8_t>& buffer, size_t size)
{
    if (buffer.size() < size) buffer.resize(size);
    return buffer.data();
}

// What a thread keeps from one picture to the next: buffers that then need no fresh pages from
// the system.
struct Workspace {
    std::vector<uint8_t> plain, rows, packed;
    std::vector<DeflateMatch> matches;
};

// A picture has hardly any blank stretch of eight bytes, and its bytes rarely repeat at a
// distance: matches are not worth looking for. One sample every 64 bytes tells.
bool isPicture(const uint8_t* rows, size_t size)
{
    size_t blank = 0, seen = 0;
    for (size_t i = 0; i + 8 <= size; i += 64, ++seen)
        blank += std::all_of(rows + i, rows + i + 8, [](uint8_t b) { return b == 0; });
    return blank * 8 < seen;
}

// The rows compressed into work.packed as a zlib stream: the header, the deflate stream and the
// Adler-32 sum of the rows.
size_t compressRows(Workspace& work, size_t size)
{
    const uint8_t* rows = work.rows.data();
    uint8_t* out = room(work.packed, deflateBound(size) + 6);
    out[0] = 0x78; // deflate with a 32 KiB window
    out[1] = 0x01; // no dictionary, and the check bits
    const size_t n = 2 + (isPicture(rows, size) ? deflateLiterals(rows, size, out + 2)
                                                : deflateGreedy(rows, size, out + 2, work.matches));
    put32(out + n, libdeflate_adler32(1, rows, size));
    return n + 4;
}

// Every row as the Sub filter makes it (what libpng writes with it), one filter byte first.
void subFilterRows(const PixelView& v, Samples samples, size_t rowBytes, Workspace& work)
{
    const size_t bpp = samples == Samples::Gray ? 1 : 3;
    uint8_t* rows = room(work.rows, (rowBytes + 1) * v.height);
    uint8_t* plain = room(work.plain, rowBytes);
    // Grey 4-byte pixels (a thumbnail without colour) are filtered as they are.
    const bool gray4 = samples == Samples::Gray && v.layout == PixelLayout::BGRX;
    for (uint32_t y = 0; y < v.height; ++y) {
        uint8_t* row = rows + (rowBytes + 1) * y;
        row[0] = 1;
        if (gray4) {
            subFilterGray4(v.pixels + ptrdiff_t(y) * v.stride, v.width, row + 1);
            continue;
        }
        samplesOfRow(v, y, samples, plain);
        subFilter(plain, rowBytes, bpp, row + 1);
    }
}

// The whole file built in memory and its rows compressed in one piece: for a thumbnail, about
// half the instructions of zlib through libpng.
bool encodeWhole(const PixelView& v, Samples samples, FILE* file)
{
    thread_local Workspace work;
    const size_t rowBytes = size_t(v.width) * (samples == Samples::Gray ? 1 : 3);
    const size_t rowsSize = (rowBytes + 1) * v.height;
    subFilterRows(v, samples, rowBytes, work);
    const size_t packedSize = compressRows(work, rowsSize);
    const uint8_t* packed = work.packed.data();

    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    uint8_t header[13] = {};
    put32(header, v.width);
    put32(header + 4, v.height);
    header[8] = 8;                                // bits per sample
    header[9] = samples == Samples::Gray ? 0 : 2; // grey, or RGB
    return std::fwrite(signature, 1, 8, file) == 8 && writeChunk(file, "IHDR", header, sizeof header) &&
           writeChunk(file, "IDAT", packed, uint32_t(packedSize)) && writeChunk(file, "IEND", nullptr, 0);
}

} // namespace

bool encodePng(const PixelView& v, bool gray, FILE* file, std::string* error)
{
    const size_t rowBytes = size_t(v.width) * (gray ? 1 : 3);
    if ((rowBytes + 1) * v.height <= kWholeLimit) return encodeWhole(v, gray ? Samples::Gray : Samples::RGB, file);
    std::vector<uint8_t> row(size_t(v.width) * 3);
    return pngWriteRows(v, gray, file, row.data(), error);
}

} // namespace Tessaline
