// The JB2 record decoder: turns an Sjbz or Djbz payload into shapes.
#pragma once

#include <cstdint>

#include "djv_jb2.h"
#include "djv_jb2coderimpl.h"
#include "djv_jb2shapeimpls.h"

namespace _Vtx_Internal_NS_ {

// Pixels that one payload may decode besides JB2Limits::kMaxDecodedPixels: a few bytes can code
// a huge blank shape, so beyond an allowance of about a tenth of a second each coded byte earns
// a bounded number of pixels. Encoder output decodes at most a few thousand per byte (a large
// blank border); the allowance alone covers a 600 dpi page.
inline constexpr uint64_t kDecodedPixelAllowance = uint64_t(1) << 24;
inline constexpr uint64_t kDecodedPixelsPerByte = uint64_t(1) << 14;
// Records likewise: on a run of equal bytes (the 0xFF past a stream's end, the zeros of a chunk
// cut short by the end of its file) a record costs almost no input, so a few bytes could run up
// to JB2Limits::kMaxRecords. Encoder output has far fewer than one record per byte.
inline constexpr uint64_t kRecordAllowance = uint64_t(1) << 16;
inline constexpr uint64_t kRecordsPerByte = 256;

// A shape that later records may copy or refine: where it is stored and its black-pixel box.
struct LibraryEntry {
    uint32_t shapeIndex;
    Vantorix::DjVu::JB2::BoundingBox box;
};
using LibraryArray = Vantorix::SimpleArray<LibraryEntry, 2>;

// The library entries of a dictionary's shapes (Normal and Refined ones, in order).
void collectLibrary(const Vantorix::DjVu::JB2::ShapeArray& shapes, LibraryArray& library);

class JB2Decompressor final : public Vantorix::DjVu::JB2::JB2CoderImpl {
public:
    // Appends the shapes of a Djbz payload to dictionaryShapes; library (may be null) receives
    // their library entries.
    static void decodeDictionary(Vantorix::Stream& stream, Vantorix::DjVu::JB2::ShapeArray& dictionaryShapes,
                                 LibraryArray* library);
    // Appends the shapes of an Sjbz payload to pageShapes and reports the image size. The
    // dictionary's shapes (or null) come with their library entries (or null: computed here).
    static void decodePage(Vantorix::Stream& stream, uint32_t& width, uint32_t& height,
                           Vantorix::DjVu::JB2::ShapeArray& pageShapes,
                           const Vantorix::DjVu::JB2::ShapeArray* dictionaryShapes,
                           const LibraryArray* dictionaryLibrary);

    ~JB2Decompressor() override;
    int codeBit(int bit, Vantorix::DjVu::BitContext& ctx) override;

private:
    JB2Decompressor(bool isDictionary, Vantorix::DjVu::JB2::ShapeArray& store,
                    const Vantorix::DjVu::JB2::ShapeArray* dictionaryShapes, const LibraryArray* inherited);

    void decodeRecords(Vantorix::Stream& stream);
    void decodeStartOfImage();
    void decodeNewMark();
    void decodeNewMarkLibraryOnly();
    void decodeMatchedRefine();
    void decodeMatchedRefineLibraryOnly();
    void decodeMatchedCopy();
    void decodeNonMarkData();
    void decodeRequiredDictOrReset();
    void decodeComment();
    void countRecords(uint64_t count, const char* function);

    // Size of a new direct bitmap, checked against the limits.
    Vantorix::DjVu::JB2::ShapeBitmap newBitmap(int32_t width, int32_t height, const char* function);
    // Size and bitmap of a new mark.
    Vantorix::DjVu::JB2::ShapeBitmap decodeDirect(const char* function);
    void decodeDirectBitmap(Vantorix::DjVu::JB2::ShapeBitmap& bitmap);
    // The refined bitmap of the match at library index (whose entry is returned in entry).
    Vantorix::DjVu::JB2::ShapeBitmap decodeRefinement(const char* function, Vantorix::DjVu::JB2::Shape*& reference,
                                                     LibraryEntry& entry);
    void decodeRefinementBitmap(Vantorix::DjVu::JB2::ShapeBitmap& bitmap,
                                const Vantorix::DjVu::JB2::ShapeBitmap& reference,
                                const Vantorix::DjVu::JB2::BoundingBox& box);
    // Reads a match index and finds its entry and shape; throws when it names none. The shape
    // stays owned by its store (no count is taken: dictionaries are shared).
    Vantorix::DjVu::JB2::Shape* lookUpMatch(const char* function, LibraryEntry& entry);
    void storeShape(const Vantorix::AutoPtr<Vantorix::DjVu::JB2::Shape>& shape, bool joinsLibrary);
    void charge(uint64_t bytes, const char* function);
    // Zeroed work rows of at least bytes + borders; returns the first byte of row 0.
    uint8_t* workRows(uint32_t bytes, uint32_t count);

    const bool isDictionary_;
    Vantorix::DjVu::JB2::ShapeArray& store_;
    const Vantorix::DjVu::JB2::ShapeArray* dictionaryShapes_;
    const LibraryArray* inherited_; // part A of a page's library
    LibraryArray own_;              // part A of a dictionary, part B of a page
    Vantorix::ByteArray work_;
    uint32_t workStride_ = 0;
    uint64_t bytesUsed_ = 0, pixelsDecoded_ = 0, pixelsPlaced_ = 0, records_ = 0;
    uint64_t pixelAllowance_ = Vantorix::DjVu::JB2::JB2Limits::kMaxDecodedPixels;
    uint64_t recordAllowance_ = Vantorix::DjVu::JB2::JB2Limits::kMaxRecords;
};

} // namespace _Vtx_Internal_NS_

namespace Vantorix::DjVu::JB2 {

// FGbz: the shape colours of a page.
class Compressor {
public:
    // Reads an FGbz payload from the stream's position and colours the shapes in order.
    static void decodeFGbz(const AutoPtr<Stream>& stream, ShapeArray& shapes);
};

} // namespace Vantorix::DjVu::JB2
