// One page of a document: a view over the page's DJVU chunk that reads the page information
// record (INFO) and visits the page's chunks once to build its layers.
//
// Rendering composes the page's layers (background or white, then the mask in its own colours
// or through the foreground image) at any scale, for any part of the scaled page.
//
// Reading a page parses its chunk on first need (pages of multi-page documents are loaded
// lazily), so any operation that needs the record may throw the errors of that parse.
#pragma once

#include <cstdint>

#include "djv_chunk.h"
#include "djv_renderer.h"
#include "djv_types.h"
#include "vtx_memory.h"
#include "vtx_stream.h"

namespace Vantorix::DjVu {

class TextZone;
class Annotation;

// The INFO record. Width, height and minor version are required; every later field may be
// missing from the chunk and then keeps its default.
struct PageInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t minorVersion = 25;
    uint32_t majorVersion = 0;
    uint32_t dpi = 300;
    uint32_t gamma = 22; // gamma x 10
    uint32_t flags = 1;  // bits 0-2: orientation

    // Reads the record from an INFO payload. Fewer than five bytes throw the storage's
    // end-of-data exception.
    static PageInfo read(Storage& payload);
    // 0 to 3 quarter turns (1: the stored page turned counter-clockwise). Files older than
    // minor version 22 carry no orientation.
    uint32_t getRotation() const;
    // Writes the orientation bits; an old minor version is raised to 25 so that they count.
    // Throws 7 for a rotation above 3.
    void setRotation(uint32_t rotation);
};

// Pages belong to their document (Document::getPages); a caller that keeps one beyond the
// document holds its own AutoPtr.
class Page : public Referable {
public:
    // Layer bits of render.
    static constexpr uint32_t layerMask = 1, layerForeground = 2, layerBackground = 4, layerAll = 7;
    // Render flags: a low byte other than 0 shrinks with box weights; the bit of value 2 also
    // renders only from what is already loaded (no lock, no visit).
    static constexpr uint32_t renderLoadedOnly = 2;

    // Displayed size: stored width and height exchanged for quarter turns.
    virtual uint32_t getWidth() = 0;
    virtual uint32_t getHeight() = 0;
    virtual uint32_t getStoredWidth() = 0;
    virtual uint32_t getStoredHeight() = 0;
    virtual uint32_t getDpi() = 0;
    virtual void setDpi(uint32_t dpi) = 0;
    virtual uint32_t getRotation() = 0;
    // Changes the page's record in memory (not the file). Throws 7 for a rotation above 3.
    virtual void setRotation(uint32_t rotation) = 0;
    // The record, read on first need (and again while its width is 0). Throws 20 "The page has
    // no INFO chunk!" when there is none.
    virtual const PageInfo& getInfo() = 0;
    virtual bool hasInfo() = 0;
    // The page's chunk; the page keeps the reference.
    virtual Chunk* getChunk() = 0;
    virtual const Chunk* getChunk() const = 0;
    // Visits every chunk of the page once (under the chunk's lock), reading the record and
    // building the layers, and remembers the photometric for the next render. A visit that
    // fails leaves the page unvisited, so a later call tries again.
    virtual void visit(Photometric photometric) = 0;
    // The photometric of the last visit, -1 before the first.
    virtual int32_t getLastPhotometric() = 0;
    // Forgets what the visit built; the next visit builds it again.
    virtual void unload() = 0;
    // Called with every chunk of the page during a visit (callback may be null).
    virtual void setChunkCallback(ChunkCallback callback, void* context) = 0;

    // Draws the page scaled to width x height (0: the displayed size), the part rect of that
    // picture, into dst (rows dstStride bytes apart, negative for bottom-up buffers), turned by
    // the page's own rotation. layers: a sum of the layer bits. The first render visits the
    // page; decoding errors propagate as Exceptions.
    virtual void render(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect, uint32_t width,
                        uint32_t height, uint32_t layers, uint32_t flags) = 0;
    // The same with the rotation given (0 to 3 quarter turns) instead of the page's.
    virtual void render(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect, uint32_t width,
                        uint32_t height, uint32_t layers, uint32_t rotation, uint32_t flags) = 0;
    // Draws the mask alone, black wherever it is set and white elsewhere, whatever colours its
    // shapes have and whatever colour layers the page has; arguments, scaling, the page's
    // rotation and errors as for render. A page without a mask comes out white. Photometrics
    // other than RGB, BGR, Gray and YCbCr throw 7 "Unknown photometric!".
    virtual void renderBlackMask(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect,
                                 uint32_t width, uint32_t height, uint32_t flags) = 0;
    // The page's stored thumbnail: a TH44 chunk (an IW44 image), null when it has none. A
    // document attaches the images of its thumbnail components to its pages in page order.
    virtual AutoPtr<Chunk> getThumbnailChunk() = 0;
    virtual void setThumbnailChunk(const AutoPtr<Chunk>& chunk) = 0;
    // Draws the stored thumbnail scaled to width x height (0: its own size), the part rect of
    // that picture, into dst, and returns true. A page without one is drawn whole as by render
    // with all layers when wholePage allows it (true); else nothing is drawn and the answer is
    // false. Decoding errors propagate as Exceptions.
    virtual bool renderThumbnail(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect,
                                 uint32_t width, uint32_t height, uint32_t flags, bool wholePage) = 0;

    // The layer renderers the visit built (null where the page has none).
    virtual AutoPtr<Renderer> getMaskRenderer() = 0;
    virtual AutoPtr<Renderer> getForegroundRenderer() = 0;
    virtual AutoPtr<Renderer> getBackgroundRenderer() = 0;

    // The hidden text (djv_text.h): the zone tree of the page's TXTa or TXTz chunk in the
    // displayed orientation, read on first request and kept; null when the page has none.
    // Throws the errors of TextZone::decode.
    virtual AutoPtr<TextZone> getText() = 0;
    // The annotations (djv_annotation.h) of every ANTa or ANTz chunk of the page in order, so
    // that a shared component the page includes comes before the page's own; read on first
    // request and kept; null when the page has none. Throws the errors of Annotation::decode.
    virtual AutoPtr<Annotation> getAnnotation() = 0;
};

} // namespace Vantorix::DjVu
