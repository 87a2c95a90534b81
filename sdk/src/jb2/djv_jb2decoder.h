// The JB2 dictionary and page objects, the page's row index and the row source that draws it.
#pragma once

#include <atomic>
#include <cstdint>

#include "djv_jb2.h"
#include "djv_jb2decompress.h"
#include "djv_jb2rows.h"
#include "djv_jb2runs.h"
#include "djv_maskpackedrow.h"
#include "vtx_string.h"
#include "vtx_syncobjs.h"

namespace _Vtx_Internal_NS_ {

// Receives the decoders' notes about data they ignore. The default discards them.
using JB2TraceSink = void (*)(const Vantorix::String& message);
// Installs a sink (null: the discarding one) and returns the previous one.
JB2TraceSink setJB2TraceSink(JB2TraceSink sink);

class JB2DictionaryImpl final : public Vantorix::DjVu::JB2::JB2Dictionary {
public:
    JB2DictionaryImpl();
    // Decodes a Djbz payload.
    explicit JB2DictionaryImpl(Vantorix::Stream& stream);

    const Vantorix::DjVu::JB2::ShapeArray& getShapes() const override { return shapes_; }
    Vantorix::DjVu::JB2::ShapeArray& getShapesForChange() override;
    void compact() override { shapes_.compact(); }
    void invalidate() override {}

    // The library entries of the shapes, or null when they changed since the decoding.
    const LibraryArray* getLibrary() const { return libraryValid_ ? &library_ : nullptr; }

    // Shapes of pages hold counted references to these shapes, and those counts are plain:
    // pages of a shared dictionary, decoded or freed on several threads, take turns here.
    Vantorix::Lockable& getReferenceLock() { return referenceLock_; }

private:
    Vantorix::DjVu::JB2::ShapeArray shapes_;
    Vantorix::Mutex referenceLock_;
    LibraryArray library_;
    bool libraryValid_ = false;
};

// The row source of a page: set pixels of row y are the bits of the shapes listed for y's band
// that cover y, later shapes over earlier ones. Bitmap, position and colour are read from the
// shapes at drawing time, so a shape changed after the index was built is drawn as it is now;
// rows of a changed bitmap outside the bands the index lists for the shape are left out.
class JB2RowSource {
public:
    // The index lists shapes per band of 2^kBandShift rows, not per row: a list per row costs
    // 4 bytes per row of every shape, over a megabyte on a large page of big shapes, and a
    // band's shapes that miss a row are skipped by one comparison.
    static constexpr uint32_t kBandShift = 2;

    JB2RowSource(const Vantorix::DjVu::JB2::Shape* const* shapes, const uint32_t* bandStart, const uint32_t* entries,
                 uint32_t height)
        : shapes_(shapes), bandStart_(bandStart), entries_(entries), height_(height)
    {
    }

    template <class Paint>
    bool forEachSpan(uint32_t y, uint32_t x0, uint32_t x1, Paint&& paint) const
    {
        bool any = false;
        forEachPiece(
            y, x0, x1,
            [&](const uint8_t* bits, uint32_t rowBytes, uint32_t from, uint32_t to, int64_t left,
                const Vantorix::DjVu::Color& color) {
                any |= forEachRun(bits, rowBytes, from, to, [&](uint32_t b, uint32_t en) {
                    paint(uint32_t(left + b), uint32_t(left + en), color);
                });
            },
            [&](uint32_t b, uint32_t en, int64_t left, const Vantorix::DjVu::Color& color) {
                paint(uint32_t(left + b), uint32_t(left + en), color);
                any = true;
            });
        return any;
    }

    // The same row as bits, each shape's row ORed in on whole words: into a MaskPackedRow, or
    // into a MaskColourPlanes that keeps the colours apart.
    template <class Row>
    void packRow(uint32_t y, uint32_t x0, uint32_t x1, Row& row) const
    {
        forEachPiece(
            y, x0, x1,
            [&](const uint8_t* bits, uint32_t, uint32_t from, uint32_t to, int64_t left,
                const Vantorix::DjVu::Color& color) { row.blit(bits, from, to, uint32_t(left + from), color); },
            [&](uint32_t b, uint32_t en, int64_t left, const Vantorix::DjVu::Color& color) {
                row.setRun(uint32_t(left + b), uint32_t(left + en), color);
            });
    }

private:
    // For each shape listed for y, its columns [from, to) (the shape's own) clipped to [x0, x1),
    // left its page column: piece(row bits, row bytes, from, to, left, colour) for a packed
    // shape, run(begin, end, left, colour) for each black run of a shape kept as runs.
    template <class Piece, class Run>
    void forEachPiece(uint32_t y, uint32_t x0, uint32_t x1, Piece&& piece, Run&& run) const
    {
        if (y >= height_ || x0 >= x1) return;
        const uint32_t band = y >> kBandShift;
        for (uint32_t e = bandStart_[band]; e < bandStart_[band + 1]; ++e) {
            const Vantorix::DjVu::JB2::Shape& shape = *shapes_[entries_[e]];
            const Vantorix::DjVu::JB2::ShapePixels pixels = shape.getPixels();
            const Vantorix::DjVu::JB2::ShapeBitmap* bitmap = pixels.bitmap;
            const Vantorix::DjVu::JB2::ShapeRuns* runs = pixels.runs;
            const uint32_t top = shape.getY();
            if ((!bitmap && !runs) || y < top || y - top >= (bitmap ? bitmap->getHeight() : runs->getHeight()))
                continue;
            // Clip the shape's columns to [x0, x1) in the shape's own coordinates.
            const int64_t left = int32_t(shape.getX()); // may lie left of the page
            const int64_t width = bitmap ? bitmap->getWidth() : runs->getWidth();
            const int64_t from = int64_t(x0) - left > 0 ? int64_t(x0) - left : 0;
            const int64_t to = int64_t(x1) - left < width ? int64_t(x1) - left : width;
            if (from >= to) continue;
            const Vantorix::DjVu::Color color = shape.getColor();
            if (bitmap)
                piece(bitmap->getRow(y - top), bitmap->getRowBytes(), uint32_t(from), uint32_t(to), left, color);
            else
                runs->forEachRun(y - top, uint32_t(from), uint32_t(to),
                                 [&](uint32_t b, uint32_t en) { run(b, en, left, color); });
        }
    }

    const Vantorix::DjVu::JB2::Shape* const* shapes_;
    const uint32_t* bandStart_;
    const uint32_t* entries_;
    uint32_t height_;
};

class JB2PageImpl final : public Vantorix::DjVu::JB2::JB2Page {
public:
    JB2PageImpl(uint32_t width, uint32_t height);
    // Decodes an Sjbz payload with the dictionary's shapes (dictionary may be null).
    JB2PageImpl(Vantorix::Stream& stream, const Vantorix::AutoPtr<JB2DictionaryImpl>& dictionary);
    // Drops the shapes under the dictionary's reference lock.
    ~JB2PageImpl() override;

    const Vantorix::DjVu::JB2::ShapeArray& getShapes() const override { return shapes_; }
    Vantorix::DjVu::JB2::ShapeArray& getShapesForChange() override;
    void compact() override;
    void invalidate() override;

    void addFGbz(const Vantorix::AutoPtr<Vantorix::DjVu::Chunk>& chunk) override;
    void addFGbz(const Vantorix::AutoPtr<Vantorix::Stream>& stream) override;
    uint32_t getWidth() const override { return width_; }
    uint32_t getHeight() const override { return height_; }
    bool hasFGbz() const override { return hasFGbz_; }
    void renderMask(uint8_t* dst, int32_t dstStride, Vantorix::DjVu::Photometric photometric,
                    const Vantorix::DjVu::Rect& rect, uint32_t width, uint32_t height, uint32_t reserved,
                    uint32_t flags) override;
    void renderMaskForeground(uint8_t* dst, int32_t dstStride, Vantorix::DjVu::Photometric photometric,
                              const Vantorix::DjVu::Rect& rect, uint32_t width, uint32_t height,
                              const uint8_t* fgPixels, int32_t fgStride, uint32_t fgWidth, uint32_t fgHeight,
                              uint32_t reserved, uint32_t flags) override;
    Vantorix::AutoPtr<Vantorix::DjVu::JB2::JB2Dictionary> getDictionary() const override { return dictionary_; }
    Vantorix::AutoPtr<Vantorix::DjVu::JB2::JB2Dictionary> getDictionaryForChange() override;

    // The row source over the row index, built first if needed. Valid until the shapes change.
    JB2RowSource getRowSource();

private:
    void buildRowIndex();

    uint32_t width_ = 0, height_ = 0;
    bool hasFGbz_ = false;
    Vantorix::AutoPtr<JB2DictionaryImpl> dictionary_;
    Vantorix::DjVu::JB2::ShapeArray shapes_;
    // Row index: the entries of band b are rowEntries_[bandStart_[b] .. bandStart_[b + 1]), each an
    // index into rowShapes_, in page order. The shapes are not counted: shapes_ holds them, and
    // changing shapes_ drops the index.
    bool rowIndexBuilt_ = false;
    Vantorix::SimpleArray<const Vantorix::DjVu::JB2::Shape*, 2> rowShapes_;
    Vantorix::SimpleArray<uint32_t, 2> bandStart_;
    Vantorix::SimpleArray<uint32_t, 2> rowEntries_;
};

} // namespace _Vtx_Internal_NS_
