#include "djv_jb2decompress.h"

#include <algorithm>
#include <cstring>

#include "djv_compressStream.h"
#include "djv_jb2contextrows.h"
#include "djv_payload.h"
#include "vtx_exception.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;

namespace _Vtx_Internal_NS_ {

namespace {

enum RecordType {
    StartOfImage = 0,
    NewMark = 1,
    NewMarkLibraryOnly = 2,
    NewMarkImageOnly = 3,
    MatchedRefine = 4,
    MatchedRefineLibraryOnly = 5,
    MatchedRefineImageOnly = 6,
    MatchedCopy = 7,
    NonMarkData = 8,
    RequiredDictOrReset = 9,
    Comment = 10,
    EndOfData = 11,
};

constexpr int32_t kMaxNumber = 262142;
// Work rows keep this many zero bytes on each side (the aligned reference rows start one
// byte early).
constexpr uint32_t kBorder = 8;
// What one stored shape costs besides its bitmap: the object, its slot, a library entry.
constexpr uint64_t kShapeOverhead = sizeof(ShapeImpl) + 48;

} // namespace

void collectLibrary(const ShapeArray& shapes, LibraryArray& library)
{
    for (uint32_t i = 0; i < shapes.size(); ++i) {
        ShapeType type = shapes[i]->getType();
        if (type == Normal || type == Refined)
            library.append(LibraryEntry{i, computeBoundingBox(*shapes[i]->getBitmap())});
    }
}

JB2Decompressor::JB2Decompressor(bool isDictionary, ShapeArray& store, const ShapeArray* dictionaryShapes,
                                 const LibraryArray* inherited)
    : isDictionary_(isDictionary), store_(store), dictionaryShapes_(dictionaryShapes), inherited_(inherited)
{
}

JB2Decompressor::~JB2Decompressor() = default;

int JB2Decompressor::codeBit(int, BitContext& ctx) { return decoder_->decode(ctx); }

void JB2Decompressor::decodeDictionary(Stream& stream, ShapeArray& dictionaryShapes, LibraryArray* library)
{
    JB2Decompressor decoder(true, dictionaryShapes, &dictionaryShapes, nullptr);
    decoder.decodeRecords(stream);
    if (library) *library = std::move(decoder.own_);
}

void JB2Decompressor::decodePage(Stream& stream, uint32_t& width, uint32_t& height, ShapeArray& pageShapes,
                                 const ShapeArray* dictionaryShapes, const LibraryArray* dictionaryLibrary)
{
    LibraryArray computed;
    if (dictionaryShapes && !dictionaryLibrary) {
        collectLibrary(*dictionaryShapes, computed);
        dictionaryLibrary = &computed;
    }
    JB2Decompressor decoder(false, pageShapes, dictionaryShapes, dictionaryLibrary);
    decoder.decodeRecords(stream);
    width = decoder.loc_.imageWidth;
    height = decoder.loc_.imageHeight;
}

void JB2Decompressor::decodeRecords(Stream& stream)
{
    if (stream.isEof()) return;
    pixelAllowance_ = std::min(JB2Limits::kMaxDecodedPixels,
                               kDecodedPixelAllowance + remainingBytes(stream) * kDecodedPixelsPerByte);
    recordAllowance_ = std::min(JB2Limits::kMaxRecords, kRecordAllowance + remainingBytes(stream) * kRecordsPerByte);
    resetContexts();
    resetNumberCoder();
    ZPDecoder zp(&stream, 0, 16);
    decoder_ = &zp;
    for (;;) {
        countRecords(1, "_Vtx_Internal_NS_::JB2Decompressor::decodeRecords");
        switch (codeNumber(0, 11, 0, roots_[RootRecordType])) {
        case StartOfImage: decodeStartOfImage(); break;
        case NewMark:
        case NewMarkImageOnly: decodeNewMark(); break;
        case NewMarkLibraryOnly: decodeNewMarkLibraryOnly(); break;
        case MatchedRefine:
        case MatchedRefineImageOnly: decodeMatchedRefine(); break;
        case MatchedRefineLibraryOnly: decodeMatchedRefineLibraryOnly(); break;
        case MatchedCopy: decodeMatchedCopy(); break;
        case NonMarkData: decodeNonMarkData(); break;
        case RequiredDictOrReset: decodeRequiredDictOrReset(); break;
        case Comment: decodeComment(); break;
        default: decoder_ = nullptr; return; // EndOfData
        }
    }
}

void JB2Decompressor::decodeStartOfImage()
{
    int32_t width = codeNumber(0, kMaxNumber, 0, roots_[RootImageSize]);
    int32_t height = codeNumber(0, kMaxNumber, 0, roots_[RootImageSize]);
    BitContext unused = 0;
    decoder_->decode(unused);
    if (!isDictionary_) startImage(uint32_t(width), uint32_t(height));
}

void JB2Decompressor::decodeNewMark()
{
    static const char* const kFunction = "_Vtx_Internal_NS_::JB2Decompressor::decodeNewMark";
    if (isDictionary_) VTX_THROW(errDataBroken, "JB2Decoder: NewMark found in the dictionary!", kFunction);
    ShapeBitmap bitmap = decodeDirect(kFunction);
    uint32_t x, y;
    codeRelativeLocation(bitmap.getWidth(), bitmap.getHeight(), x, y);
    storeShape(makeAuto<ShapeImpl>(Normal, nullptr, x, y, std::move(bitmap), true), true);
}

void JB2Decompressor::decodeNewMarkLibraryOnly()
{
    static const char* const kFunction = "_Vtx_Internal_NS_::JB2Decompressor::decodeNewMarkLibraryOnly";
    if (!isDictionary_) VTX_THROW(errDataBroken, "JB2Decoder: NewMarkLibraryOnly found on page!", kFunction);
    ShapeBitmap bitmap = decodeDirect(kFunction);
    storeShape(makeAuto<ShapeImpl>(Normal, nullptr, 0, 0, std::move(bitmap), true), true);
}

void JB2Decompressor::decodeMatchedRefine()
{
    static const char* const kFunction = "_Vtx_Internal_NS_::JB2Decompressor::decodeMatchedRefine";
    Shape* reference;
    LibraryEntry entry;
    ShapeBitmap bitmap = decodeRefinement(kFunction, reference, entry);
    uint32_t x, y;
    codeRelativeLocation(bitmap.getWidth(), bitmap.getHeight(), x, y);
    storeShape(makeAuto<ShapeImpl>(Refined, reference, x, y, std::move(bitmap), true), true);
}

void JB2Decompressor::decodeMatchedRefineLibraryOnly()
{
    static const char* const kFunction = "_Vtx_Internal_NS_::JB2Decompressor::decodeMatchedRefineLibraryOnly";
    if (!isDictionary_) VTX_THROW(errDataBroken, "JB2Decoder: MatchedRefineLibraryOnly found on page!", kFunction);
    Shape* reference;
    LibraryEntry entry;
    ShapeBitmap bitmap = decodeRefinement(kFunction, reference, entry);
    storeShape(makeAuto<ShapeImpl>(Refined, reference, 0, 0, std::move(bitmap), true), true);
}

void JB2Decompressor::decodeMatchedCopy()
{
    static const char* const kFunction = "_Vtx_Internal_NS_::JB2Decompressor::decodeMatchedCopy";
    if (isDictionary_) VTX_THROW(errDataBroken, "JB2Decoder: MatchedCopy found on the dictionary!", kFunction);
    LibraryEntry entry;
    Shape* reference = lookUpMatch(kFunction, entry);
    uint32_t x, y;
    codeRelativeLocation(uint32_t(entry.box.width), uint32_t(entry.box.height), x, y);
    const uint32_t height = reference->getHeight();
    pixelsPlaced_ += uint64_t(reference->getWidth()) * height;
    if (pixelsPlaced_ > JB2Limits::kMaxPlacedPixels)
        VTX_THROW(errLimitExceeded, "JB2Decoder: the image places too many pixels!", kFunction);
    charge(kShapeOverhead + 4ull * height, kFunction);
    storeShape(makeAuto<ShapeImpl>(Matched, reference, x - uint32_t(entry.box.left), y - uint32_t(entry.box.top),
                                   ShapeBitmap(), false),
               false);
}

void JB2Decompressor::decodeNonMarkData()
{
    static const char* const kFunction = "_Vtx_Internal_NS_::JB2Decompressor::decodeNonMarkData";
    if (isDictionary_) VTX_THROW(errDataBroken, "JB2Decoder: NonMarkData found on the dictionary!", kFunction);
    ShapeBitmap bitmap = decodeDirect(kFunction);
    uint32_t x = uint32_t(codeNumber(1, int32_t(loc_.imageWidth), 0, roots_[RootAbsoluteX])) - 1;
    uint32_t y = loc_.imageHeight - uint32_t(codeNumber(1, int32_t(loc_.imageHeight), 0, roots_[RootAbsoluteY]));
    storeShape(makeAuto<ShapeImpl>(NonMark, nullptr, x, y, std::move(bitmap), true), false);
}

void JB2Decompressor::decodeRequiredDictOrReset()
{
    if (loc_.started) {
        resetNumberCoder();
        return;
    }
    int32_t count = codeNumber(0, kMaxNumber, 0, roots_[RootInheritedCount]);
    uint32_t expected = dictionaryShapes_ ? dictionaryShapes_->size() : 0;
    if (uint32_t(count) != expected)
        VTX_THROW(errDataBroken, "JB2Decoder: Shape count mismatch!",
                  "_Vtx_Internal_NS_::JB2Decompressor::decodeRequiredDictOrReset");
}

void JB2Decompressor::decodeComment()
{
    int32_t length = codeNumber(0, kMaxNumber, 0, roots_[RootCommentLength]);
    countRecords(uint32_t(length), "_Vtx_Internal_NS_::JB2Decompressor::decodeComment");
    for (int32_t i = 0; i < length; ++i) codeNumber(0, 255, 0, roots_[RootCommentByte]);
}

void JB2Decompressor::countRecords(uint64_t count, const char* function)
{
    records_ += count;
    if (records_ > recordAllowance_) VTX_THROW(errLimitExceeded, "JB2Decoder: too many records!", function);
}

void JB2Decompressor::charge(uint64_t bytes, const char* function)
{
    bytesUsed_ += bytes;
    if (bytesUsed_ > JB2Limits::kMaxImageBytes) VTX_THROW(errLimitExceeded, "JB2Decoder: the image needs too much memory!", function);
}

ShapeBitmap JB2Decompressor::newBitmap(int32_t width, int32_t height, const char* function)
{
    if (width < 0 || height < 0) VTX_THROW(errDataBroken, "JB2Decoder: negative shape size!", function);
    uint64_t pixels = uint64_t(width) * uint64_t(height);
    if (pixels > JB2Limits::kMaxShapePixels) VTX_THROW(errLimitExceeded, "JB2Decoder: shape too large!", function);
    pixelsDecoded_ += pixels;
    if (pixelsDecoded_ > pixelAllowance_)
        VTX_THROW(errLimitExceeded, "JB2Decoder: the image decodes too many pixels!", function);
    uint64_t packed = uint64_t(height) * ((uint64_t(width) + 7) >> 3);
    charge(kShapeOverhead + packed + (isDictionary_ ? 0 : 4ull * uint32_t(height)), function);
    if (!isDictionary_) pixelsPlaced_ += pixels;
    return ShapeBitmap(uint32_t(width), uint32_t(height));
}

ShapeBitmap JB2Decompressor::decodeDirect(const char* function)
{
    int32_t w = codeNumber(0, kMaxNumber, 0, roots_[RootSymbolWidth]);
    int32_t h = codeNumber(0, kMaxNumber, 0, roots_[RootSymbolHeight]);
    ShapeBitmap bitmap = newBitmap(w, h, function);
    decodeDirectBitmap(bitmap);
    return bitmap;
}

uint8_t* JB2Decompressor::workRows(uint32_t bytes, uint32_t count)
{
    uint32_t stride = (bytes + 2 * kBorder + 7) & ~7u;
    uint64_t total = uint64_t(stride) * count;
    if (total > work_.size()) work_.resize(uint32_t(total));
    std::memset(work_.data(), 0, size_t(total));
    workStride_ = stride;
    return work_.data() + kBorder;
}

void JB2Decompressor::decodeDirectBitmap(ShapeBitmap& bitmap)
{
    if (!bitmap.getWidth() || !bitmap.getHeight()) return;
    decodeDirectRows(*decoder_, directContexts_, bitmap, workRows(bitmap.getRowBytes(), 1));
}

Shape* JB2Decompressor::lookUpMatch(const char* function, LibraryEntry& entry)
{
    const uint32_t inheritedSize = inherited_ ? inherited_->size() : 0;
    const uint64_t size = uint64_t(inheritedSize) + own_.size();
    int32_t index = codeNumber(0, int32_t(size) - 1, 0, roots_[RootMatchIndex]);
    if (index < 0 || uint64_t(index) >= size) VTX_THROW(errDataBroken, "JB2Decoder: Shape index out of range!", function);
    if (uint32_t(index) < inheritedSize) {
        entry = (*inherited_)[uint32_t(index)];
        return (*dictionaryShapes_)[entry.shapeIndex].get();
    }
    entry = own_[uint32_t(index) - inheritedSize];
    return store_[entry.shapeIndex].get();
}

ShapeBitmap JB2Decompressor::decodeRefinement(const char* function, Shape*& reference, LibraryEntry& entry)
{
    reference = lookUpMatch(function, entry);
    int32_t dw = codeNumber(-262143, kMaxNumber, 0, roots_[RootRefineWidth]);
    int32_t dh = codeNumber(-262143, kMaxNumber, 0, roots_[RootRefineHeight]);
    ShapeBitmap bitmap = newBitmap(entry.box.width + dw, entry.box.height + dh, function);
    decodeRefinementBitmap(bitmap, *reference->getBitmap(), entry.box);
    return bitmap;
}

void JB2Decompressor::decodeRefinementBitmap(ShapeBitmap& bitmap, const ShapeBitmap& reference, const BoundingBox& box)
{
    const uint32_t w = bitmap.getWidth(), h = bitmap.getHeight();
    if (!w || !h) return;
    // The new bitmap's centre falls on the centre of the reference's black box.
    const int64_t cx = int64_t(box.left) + box.width - box.width / 2 - (int64_t(w) - w / 2);
    const int64_t cy = int64_t(box.top) + box.height / 2 - int64_t(h) / 2;
    const uint32_t rowBytes = bitmap.getRowBytes();
    uint8_t* zeros = workRows(rowBytes + 2, 4);
    uint8_t* const scratch[3] = {zeros + workStride_, zeros + 2 * workStride_, zeros + 3 * workStride_};
    decodeRefinedRows(*decoder_, refinementContexts_, bitmap, RefinementReference{reference, cx, cy}, zeros, scratch);
}

void JB2Decompressor::storeShape(const AutoPtr<Shape>& shape, bool joinsLibrary)
{
    if (joinsLibrary) own_.append(LibraryEntry{store_.size(), computeBoundingBox(*shape->getBitmap())});
    // A page's shapes are only drawn once decoded, and rarely refined while it is: large ones
    // may shrink to runs now. A dictionary's are refined by every page that uses it.
    if (!isDictionary_) shape->compactBitmap();
    store_.append(shape);
}

} // namespace _Vtx_Internal_NS_

namespace Vantorix::DjVu::JB2 {

void Compressor::decodeFGbz(const AutoPtr<Stream>& stream, ShapeArray& shapes)
{
    static const char* const kFunction = "Vantorix::DjVu::JB2::Compressor::decodeFGbz";
    uint8_t version;
    stream->readBytes(&version, 1, true);
    if (version & 0x7F) VTX_THROW(errDataBroken, "JB2Decoder: Unknown FGbz version.", kFunction);
    uint8_t b[3];
    stream->readBytes(b, 2, true);
    const uint32_t paletteSize = (uint32_t(b[0]) << 8) | b[1];
    SimpleArray<Color, 2> palette(paletteSize);
    for (uint32_t i = 0; i < paletteSize; ++i) {
        stream->readBytes(b, 3, true);
        palette[i] = Color{b[0], b[1], b[2], 0};
    }
    stream->readBytes(b, 3, true);
    const uint32_t count = (uint32_t(b[0]) << 16) | (uint32_t(b[1]) << 8) | b[2];
    if (count != shapes.size())
        VTX_THROW(errDataBroken, "JB2Decoder::decodeFGbz : Shape count mismatch to the one of Sjbz!", kFunction);
    AutoPtr<InflateStream> indices = InflateStream::create(stream, 0, 16);
    for (uint32_t i = 0; i < count; ++i) {
        indices->readBytes(b, 2, true);
        const uint32_t k = (uint32_t(b[0]) << 8) | b[1];
        if (k >= paletteSize) VTX_THROW(errDataBroken, "JB2Decoder::decodeFGbz : Palette index out of range!", kFunction);
        shapes[i]->setColor(palette[k]);
    }
}

} // namespace Vantorix::DjVu::JB2
