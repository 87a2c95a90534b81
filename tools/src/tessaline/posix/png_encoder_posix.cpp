#include <libdeflate.h>
#include <png.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "../png_encoder.h"
#include "../png_filter.h"

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

// What a thread keeps from one picture to the next: the compressor, whose allocation and setup
// weigh on a small thumbnail, and buffers that then need no fresh pages from the system.
struct Workspace {
    using Compressor = std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)>;
    // By level, 1 and 2.
    Compressor compressors[2] = {Compressor{nullptr, libdeflate_free_compressor},
                                 Compressor{nullptr, libdeflate_free_compressor}};
    std::vector<uint8_t> plain, rows, packed;
};

// libdeflate's fastest level walks long runs of zeros byte by byte, and its next level takes
// half the time over them: filtered rows that are nearly all zero (a blank or uniform page) go
// to level 2, the rest to level 1, which is twice as fast on pictures. One byte in 64 tells.
int compressionLevel(const uint8_t* rows, size_t size)
{
    size_t zeros = 0, seen = 0;
    for (size_t i = 0; i < size; i += 64, ++seen) zeros += rows[i] == 0;
    return zeros * 20 >= seen * 19 ? 2 : 1;
}

// At least size bytes of buffer; they hold whatever they held before.
uint8_t* room(std::vector<uint8_t>& buffer, size_t size)
{
    if (buffer.size() < size) buffer.resize(size);
    return buffer.data();
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

// The whole file built in memory and compressed in one call: for a thumbnail, libdeflate at its
// fastest level takes about half the instructions of zlib at level 2 (the file is some 10%
// larger); at its next level it would be smaller than zlib's and still a fifth cheaper.
bool encodeWhole(const PixelView& v, Samples samples, FILE* file, std::string* error)
{
    thread_local Workspace work;
    const size_t rowBytes = size_t(v.width) * (samples == Samples::Gray ? 1 : 3);
    const size_t rowsSize = (rowBytes + 1) * v.height;
    subFilterRows(v, samples, rowBytes, work);
    const int level = compressionLevel(work.rows.data(), rowsSize);
    Workspace::Compressor& compressor = work.compressors[level - 1];
    if (!compressor) compressor.reset(libdeflate_alloc_compressor(level));
    if (!compressor) return false; // out of memory
    const size_t bound = libdeflate_zlib_compress_bound(compressor.get(), rowsSize);
    uint8_t* packed = room(work.packed, bound);
    const size_t packedSize = libdeflate_zlib_compress(compressor.get(), work.rows.data(), rowsSize, packed, bound);
    if (!packedSize) {
        *error = "the compressed rows did not fit their bound";
        return false;
    }

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
    if ((rowBytes + 1) * v.height <= kWholeLimit) return encodeWhole(v, gray ? Samples::Gray : Samples::RGB, file, error);
    std::vector<uint8_t> row(size_t(v.width) * 3);
    return pngWriteRows(v, gray, file, row.data(), error);
}

} // namespace Tessaline
