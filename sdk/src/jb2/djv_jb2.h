// JB2 bilevel images: the shapes of a page mask (Sjbz) and of a shared shape dictionary (Djbz).
//
// A Shape is one bilevel mark. Normal and NonMark shapes own their bitmap; a Refined shape owns
// its bitmap and remembers the library shape it was refined from; a Matched shape has no bitmap
// of its own and shows its reference's bitmap at its own position. A JB2Dictionary holds the
// shapes of a Djbz chunk; a JB2Page holds the shapes of an Sjbz chunk in record order, inherits
// the library shapes of its dictionary, takes its shape colours from an FGbz chunk and draws
// itself through a per-row index of the shapes that cover each row.
//
// Positions are top-down pixel coordinates of the page, stored unsigned: a shape that the file
// places left of or above the page shows a large value (read it as signed to clip).
//
// Hostile files: one Sjbz or Djbz payload may not make the decoder hold more than
// JB2Limits::kMaxImageBytes of shapes, decode more than JB2Limits::kMaxDecodedPixels pixels, place
// more than JB2Limits::kMaxPlacedPixels pixels on a page, or grow its number coder beyond
// JB2Limits::kMaxNumberNodes nodes or read more than JB2Limits::kMaxRecords records; a single
// shape may not exceed JB2Limits::kMaxShapePixels.
// Going beyond fails the decoding with code 38. These lie far above what real pages need (an A4
// page at 600 dpi has 2^25 pixels) and keep a hostile file to seconds and a few hundred MiB.
//
// Threads: shapes use unlocked reference counts and the page builds its row index on the
// first draw, so a page and its shapes belong to one thread at a time. Pages that share a
// dictionary also count references to its shapes: build and release them on one thread.
#pragma once

#include <cstdint>

#include "djv_chunk.h"
#include "djv_types.h"
#include "vtx_memory.h"
#include "vtx_stream.h"

namespace Vantorix::DjVu::JB2 {

struct JB2Limits {
    static constexpr uint64_t kMaxShapePixels = uint64_t(1) << 28;
    static constexpr uint64_t kMaxDecodedPixels = uint64_t(1) << 29;
    static constexpr uint64_t kMaxPlacedPixels = uint64_t(1) << 31;
    static constexpr uint64_t kMaxImageBytes = uint64_t(256) << 20;
    static constexpr uint32_t kMaxNumberNodes = 1u << 22;
    static constexpr uint64_t kMaxRecords = uint64_t(1) << 22; // comment bytes count as records
};

enum ShapeType : int32_t {
    Normal = 0,  // own bitmap, joins the library
    Matched = 1, // no bitmap: shows its reference's
    Refined = 2, // own bitmap refined from a reference, joins the library
    NonMark = 3, // own bitmap, never a library entry
};

// Packed bilevel rows: (width + 7) / 8 bytes per row, top row first, most significant bit
// leftmost, 1 = black. Bits past the width in a row's last byte are 0. Behind the last row the
// storage holds kPadding more zero bytes, so that a scan may read any row a word at a time.
class ShapeBitmap {
public:
    static constexpr uint32_t kPadding = 8;

    ShapeBitmap() = default;
    // A white bitmap; the byte count must stay below 2 GiB (else 26 from the array).
    ShapeBitmap(uint32_t width, uint32_t height);
    ShapeBitmap(const ShapeBitmap& other);
    ShapeBitmap(ShapeBitmap&& other) noexcept = default;
    ShapeBitmap& operator=(const ShapeBitmap& other);
    ShapeBitmap& operator=(ShapeBitmap&& other) noexcept = default;

    uint32_t getWidth() const { return width_; }
    uint32_t getHeight() const { return height_; }
    uint32_t getRowBytes() const { return (width_ + 7) >> 3; }
    const uint8_t* getRow(uint32_t y) const { return bits_.data() + size_t(y) * getRowBytes(); }
    uint8_t* getRow(uint32_t y) { return bits_.data() + size_t(y) * getRowBytes(); }
    bool getPixel(uint32_t x, uint32_t y) const { return (getRow(y)[x >> 3] >> (7 - (x & 7))) & 1; }
    const ByteArray& getBytes() const { return bits_; }

private:
    uint32_t width_ = 0, height_ = 0;
    ByteArray bits_;
};

class ShapeRuns;

// What a drawing reads of a shape: its packed bitmap, or for a large shape of a decoded page the
// runs it is kept as (then bitmap is null).
struct ShapePixels {
    const ShapeBitmap* bitmap = nullptr;
    const ShapeRuns* runs = nullptr;
};

class Shape : public ReferableNoTS {
public:
    virtual ShapeType getType() const = 0;
    // Of the own bitmap, or of the reference's for a Matched shape.
    virtual uint32_t getWidth() const = 0;
    virtual uint32_t getHeight() const = 0;
    virtual uint32_t getX() const = 0;
    virtual uint32_t getY() const = 0;
    virtual void setPosition(uint32_t x, uint32_t y) = 0;
    virtual Rect getRect() const = 0;
    // The own bitmap, or the reference's for a Matched shape; owned by the shape that has it.
    virtual const ShapeBitmap* getBitmap() const = 0;
    // Replaces the own bitmap by a copy; throws 26 "Could not replace the bitmap" without one.
    virtual void replaceBitmap(const ShapeBitmap& bitmap) = 0;
    // Makes the shape Refined from reference, keeping its bitmap. Throws 26 for a null or
    // Matched reference, or when the shape has no bitmap.
    virtual void setRefinement(const AutoPtr<Shape>& reference) = 0;
    // Makes the shape Matched to reference and drops its bitmap; the same checks.
    virtual void setMatch(const AutoPtr<Shape>& reference) = 0;
    virtual Color getColor() const = 0;
    virtual void setColor(const Color& color) = 0;
    virtual AutoPtr<Shape> getReference() const = 0;
    // The own pixels, or the reference's for a Matched shape, without unpacking runs.
    virtual ShapePixels getPixels() const = 0;
    // Keeps the own bitmap as runs when they take at most half of it; getBitmap() unpacks them
    // again if asked. For the shapes of a decoded page, which only drawing reads.
    virtual void compactBitmap() = 0;

    // Normal or NonMark shapes from bytes (non-zero = black; stride may be negative) or from a
    // bitmap (copied). Other types throw 26 "This function si only for Normal and NonMark Shape!".
    static AutoPtr<Shape> create(uint32_t width, uint32_t height, int32_t stride, const uint8_t* pixels, uint32_t x,
                                 uint32_t y, ShapeType type);
    static AutoPtr<Shape> create(const ShapeBitmap& bitmap, uint32_t x, uint32_t y, ShapeType type);
    // Refined and Matched shapes. A null or Matched reference throws 26
    // "Refinement target should not be matched shape!".
    static AutoPtr<Shape> createRefined(const AutoPtr<Shape>& reference, uint32_t width, uint32_t height,
                                        int32_t stride, const uint8_t* pixels, uint32_t x, uint32_t y);
    static AutoPtr<Shape> createRefined(const AutoPtr<Shape>& reference, const ShapeBitmap& bitmap, uint32_t x,
                                        uint32_t y);
    static AutoPtr<Shape> createMatched(const AutoPtr<Shape>& reference, uint32_t x, uint32_t y);
};

using ShapeArray = SimpleArray<AutoPtr<Shape>, 1>;

// A store of shapes: a dictionary or a page.
class JB2ShapeStore : public Referable {
public:
    virtual const ShapeArray& getShapes() const = 0;
    // For changing the shapes: drops what the store derived from them first (invalidate).
    virtual ShapeArray& getShapesForChange() = 0;
    // Frees spare capacity of the shape array (a page compacts its dictionary as well).
    virtual void compact() = 0;
    // Forgets what was derived from the shapes (a page's row index).
    virtual void invalidate() = 0;
};

class JB2Dictionary : public JB2ShapeStore {
public:
    // Decodes a Djbz payload; decoding errors propagate.
    static AutoPtr<JB2Dictionary> create(const AutoPtr<Chunk>& chunk);
    static AutoPtr<JB2Dictionary> create(const AutoPtr<Stream>& stream);
    static AutoPtr<JB2Dictionary> create();
};

class JB2Page : public JB2ShapeStore {
public:
    // Decodes the chunk's FGbz payload into the shape colours. Throws 26 "FGbz already loaded!"
    // when the page has its colours; decoding errors leave the page without them.
    virtual void addFGbz(const AutoPtr<Chunk>& chunk) = 0;
    virtual void addFGbz(const AutoPtr<Stream>& stream) = 0;
    virtual uint32_t getWidth() const = 0;
    virtual uint32_t getHeight() const = 0;
    virtual bool hasFGbz() const = 0;
    // Draws the mask scaled to width x height (0: own size), the part rect of it, into dst:
    // set pixels in the shapes' colours, clear pixels untouched. reserved must be 0.
    virtual void renderMask(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect,
                            uint32_t width, uint32_t height, uint32_t reserved, uint32_t flags) = 0;
    // The same with set pixels taking the colours of a foreground image in the same photometric.
    virtual void renderMaskForeground(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect,
                                      uint32_t width, uint32_t height, const uint8_t* fgPixels, int32_t fgStride,
                                      uint32_t fgWidth, uint32_t fgHeight, uint32_t reserved, uint32_t flags) = 0;
    virtual AutoPtr<JB2Dictionary> getDictionary() const = 0;
    // Drops the row index first, since the dictionary's shapes may change.
    virtual AutoPtr<JB2Dictionary> getDictionaryForChange() = 0;

    // Decodes an Sjbz payload; a dictionary that is not one of this library's counts as none.
    static AutoPtr<JB2Page> create(const AutoPtr<Chunk>& chunk, const AutoPtr<JB2Dictionary>& dictionary);
    static AutoPtr<JB2Page> create(const AutoPtr<Stream>& stream, const AutoPtr<JB2Dictionary>& dictionary);
    // An empty page of the given size, for building a mask by hand.
    static AutoPtr<JB2Page> create(uint32_t width, uint32_t height);
};

} // namespace Vantorix::DjVu::JB2
