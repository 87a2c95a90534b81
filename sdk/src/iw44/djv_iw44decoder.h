// The IW44 image decoder: chunk headers, the slice sequence over the components, and the
// reconstruction of pixels.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "djv_iw44.h"
#include "djv_iw44codec.h"
#include "vtx_syncobjs.h"

namespace Vantorix::DjVu::IW44 {

class IW44DecoderImpl : public IW44Decoder {
public:
    IW44DecoderImpl(ProgressCallback progressCallback, void* userData);

    bool decode(const AutoPtr<Chunk>& chunk) override;
    bool decode(Stream* stream) override;
    bool isNextChunk(const AutoPtr<Chunk>& chunk) override;
    bool isNextChunk(Stream* stream) override;
    bool hasImage() override { return width > 0 && height > 0; }
    uint32_t getChunkCount() override { return serial; }
    uint32_t getWidth() override { return width; }
    uint32_t getHeight() override { return height; }
    bool isColor() override { return colour != 0; }
    void renderScaled(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect, uint32_t width,
                      uint32_t height, uint32_t rotation, uint32_t flags) override;
    void render(uint8_t* dst, int32_t dstStride, Photometric photometric, uint32_t subsample,
                const Rect* rect) override;

    // The components decoded so far (chroma only for colour images); null before the first chunk.
    const ComponentDecoder* getComponent(int index) const { return components[index].get(); }
    uint8_t getChromaDelay() const { return chromaDelay; }
    bool getChromaHalf() const { return chromaHalf != 0; }
    uint32_t getSliceCount() const { return sliceCount; }

    // decode() for the page's layers, which learn the reduction only when they are drawn: the
    // header is read and the chunk counted now, its slices wait. The next chunk (or decode())
    // first decodes all of the held chunk; render() decodes of it only the slices up to the
    // last one of a band that its reduction reads. As the held chunk is the newest, nothing
    // decoded later depends on the slices it leaves for a finer render. Throws as decode().
    void hold(const AutoPtr<Chunk>& chunk);

private:
    struct Header {
        uint8_t serial = 0, slices = 0, colour = 1, chromaDelay = 10, chromaHalf = 0;
        uint16_t width = 0, height = 0;
    };
    Header readHeader(Stream* stream);
    // Takes the header: a first chunk starts the image afresh. Adds the chunk's work allowance.
    void startChunk(const Header& h, Stream& stream);
    // Where the slice loop of one chunk stands.
    // (No member initialisers: clang would then not see HeldChunk as default-constructible
    // inside this class.)
    struct SliceCursor {
        uint32_t serial, next, slices;
    };
    enum class SliceRun { Finished, Paused, Abandoned };
    // Decodes the chunk's slices from cursor.next on, pausing before a slice when no slice left
    // in the chunk touches the first `bands` bands of any component.
    SliceRun decodeSlices(ZPDecoder& zp, SliceCursor& cursor, uint32_t bands);
    bool touchesBands(uint32_t remaining, uint32_t bands) const;
    // Decodes the held chunk on until `bands` are complete (all of it for 10); a failure drops it.
    void decodeHeld(uint32_t bands);
    // Takes the blocks that one slice of the component visits from the work allowance.
    void spendSlice(const ComponentDecoder& component);

    uint32_t serial = 0;
    uint32_t width = 0, height = 0;
    uint8_t colour = 1;
    uint8_t chromaDelay = 10;
    uint8_t chromaHalf = 0;
    uint32_t sliceCount = 0;
    uint64_t workLeft = 0;
    ProgressCallback progressCallback;
    void* userData;
    AutoPtr<ComponentDecoder> components[3]; // Y, Cb, Cr

    // The held chunk. Draws of a loaded page may come from several threads at once: they
    // decode and read the image under heldMutex while a chunk is held, without it afterwards.
    struct HeldChunk {
        AutoPtr<Storage> storage;
        std::optional<ZPDecoder> zp;
        SliceCursor cursor;
    };
    std::optional<HeldChunk> held;
    std::atomic<bool> holding{false};
    Mutex heldMutex;
};

} // namespace Vantorix::DjVu::IW44
