// IW44 wavelet images (BG44, FG44 and thumbnail layers).
//
// An IW44 image arrives as a sequence of chunks. The first (serial 0) carries the header: size,
// colour or grey, and when the chroma components start; every chunk then adds slices (one band
// of wavelet coefficients at one bit-plane) to the same coefficients, so the picture sharpens
// with each chunk. A decoder keeps the coefficients of its image for as long as it lives and
// reconstructs pixels on demand, either whole at full size or, far cheaper, for any rectangle
// at a power-of-two reduction.
//
// A decoder is not locked: one thread at a time (the page's lock serialises its layers).
#pragma once

#include <cstdint>

#include "djv_chunk.h"
#include "djv_types.h"
#include "vtx_memory.h"
#include "vtx_stream.h"

namespace Vantorix::DjVu::IW44 {

class IW44Decoder;

// Called after each slice that leaves more to decode: (decoder, serial of the chunk being
// decoded, slice index within the chunk, 0, userData). Returning 1 abandons the chunk.
using ProgressCallback = int32_t (*)(IW44Decoder* decoder, uint32_t serial, uint32_t slice, uint32_t reserved,
                                     void* userData);

class IW44Decoder : public Referable {
public:
    // Decodes one IW44 chunk into the image: the chunk's payload, or a stream positioned at
    // the chunk's first byte. Returns false if the progress hook abandoned the chunk.
    // Throws 7 for a null or data-less chunk and for a serial number other than
    // getChunkCount() (the decoder is then unchanged), 27 for an unsupported version, and
    // passes on the errors of the stream. Truncated data is not an error: it decodes to a
    // coarser image. A failure part-way keeps what was decoded and does not count the chunk.
    virtual bool decode(const AutoPtr<Chunk>& chunk) = 0;
    virtual bool decode(Stream* stream) = 0;
    // Whether the chunk's first byte is the serial number expected next. A failure to read
    // answers false; only running out of memory throws (1). A Storage gets its position back.
    virtual bool isNextChunk(const AutoPtr<Chunk>& chunk) = 0;
    virtual bool isNextChunk(Stream* stream) = 0;

    virtual bool hasImage() = 0;
    virtual uint32_t getChunkCount() = 0;
    virtual uint32_t getWidth() = 0;
    virtual uint32_t getHeight() = 0;
    virtual bool isColor() = 0;

    // The image scaled to width x height (0: its own size, as displayed after rotation), the
    // part rect of that picture, turned by rotation quarter turns (1 counter-clockwise, 2 half,
    // 3 clockwise), into dst. The image is reconstructed at the coarsest power-of-two reduction
    // that still covers the output, then resampled; flags go to the scaler.
    virtual void renderScaled(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect,
                              uint32_t width, uint32_t height, uint32_t rotation, uint32_t flags) = 0;
    // The image reduced by subsample (1, 2, 4, 8, 16 or 32) into dst: the top-down rectangle
    // rect of the reduced image, or all (width / subsample) x (height / subsample) pixels when
    // rect is null. Photometric RGB, BGR, Gray or YCbCr (signed samples). Throws 9 before the
    // first chunk, 7 for another subsample, a rectangle outside the reduced image or another
    // photometric.
    virtual void render(uint8_t* dst, int32_t dstStride, Photometric photometric, uint32_t subsample,
                        const Rect* rect) = 0;

    // A new, empty decoder. Both arguments may be null.
    static AutoPtr<IW44Decoder> create(ProgressCallback progressCallback = nullptr, void* userData = nullptr);
};

// The power-of-two reduction (1 to 32) at which an image of width x height is reconstructed
// before it is scaled to scaledW x scaledH: the smallest one that reaches the smaller of the two
// ratios, rounded up (1 when a scaled side is 0).
uint32_t reductionFor(uint32_t width, uint32_t height, uint32_t scaledW, uint32_t scaledH);

} // namespace Vantorix::DjVu::IW44
