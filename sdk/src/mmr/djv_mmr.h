// The renderer of Smmr (MMR-coded) masks.
//
// The whole mask is decoded once, at construction, and kept as run lengths: all rows one after
// another (without terminators) plus the index of each row's first run. A row's runs alternate
// white, black, white, ... (black first when the mask is inverted) and sum to the width; black
// pixels are the set pixels. Rows after an end-of-block code hold no runs (no set pixel).
// The object is immutable once made and serves as the row source of resampleMaskT.
#pragma once

#include <cstdint>

#include "djv_renderer.h"
#include "djv_types.h"
#include "vtx_memory.h"
#include "vtx_stream.h"

namespace _Vtx_Internal_NS_ {

class SmmrRenderer final : public Vantorix::DjVu::Renderer {
public:
    // The run entries one mask may hold by default (64 MiB): ample for any scanned page (a
    // 600 dpi halftone page needs about half), while a crafted 65535 x 65535 mask could ask for
    // over 8 GiB.
    static constexpr uint32_t kMaxRuns = 1u << 25;

    // Renderer factory for "Smmr" chunks; the dictionary is ignored. Decoding errors propagate
    // (code 20); no renderer is made then.
    static Vantorix::AutoPtr<Vantorix::DjVu::Renderer> create(
        const Vantorix::AutoPtr<Vantorix::DjVu::Chunk>& chunk,
        const Vantorix::AutoPtr<Vantorix::DjVu::Dictionary>& dictionary);
    // Decodes an Smmr payload read from stream (which is not kept). More than maxRuns run
    // entries in all throws 38 "MMR mask too complex!".
    static Vantorix::AutoPtr<SmmrRenderer> decode(const Vantorix::AutoPtr<Vantorix::Stream>& stream,
                                                  uint32_t maxRuns = kMaxRuns);

    // Never takes a further chunk: an Smmr mask has no palette and no refinement.
    bool addChunk(const Vantorix::AutoPtr<Vantorix::DjVu::Chunk>& chunk) override;
    uint32_t getWidth() override { return width_; }
    uint32_t getHeight() override { return height_; }
    // Draws the mask (black, or through fgPixels) with resampleMaskT; width or height 0 is the
    // mask's own. Throws 26 "Unsupported Photometric!" for codes other than 0 to 3.
    void render(uint8_t* dst, int32_t dstStride, Vantorix::DjVu::Photometric photometric,
                const Vantorix::DjVu::Rect& rect, uint32_t width, uint32_t height, const uint8_t* fgPixels,
                int32_t fgStride, uint32_t fgWidth, uint32_t fgHeight, uint32_t flags) override;
    Vantorix::String getChunkId() override;
    // The renderer itself: it is its own decoded mask.
    Vantorix::AutoPtr<Vantorix::Referable> getCodec() override;

    bool isInverted() const { return inverted_ != 0; }
    // Runs of row y (count entries); null with count 0 for a row without runs or y out of range.
    const uint16_t* getRuns(uint32_t y, uint32_t& count) const
    {
        count = 0;
        if (y >= height_) return nullptr;
        count = rowStart_[y + 1] - rowStart_[y];
        return count ? runs_.data() + rowStart_[y] : nullptr;
    }

    // Row source: calls paint(begin, end, color) for each black run of row y clipped to
    // [x0, x1), left to right; returns whether it painted anything. White runs cost one add.
    template <class Paint>
    bool forEachSpan(uint32_t y, uint32_t x0, uint32_t x1, Paint&& paint) const
    {
        if (y >= height_) return false;
        if (x1 > width_) x1 = width_;
        if (x0 >= x1) return false;
        const uint16_t* r = runs_.data() + rowStart_[y];
        const uint16_t* const e = runs_.data() + rowStart_[y + 1];
        uint32_t x = 0;
        if (!inverted_) {
            if (r == e) return false;
            x = *r++;
        }
        bool any = false;
        // r is at a black run; the white run after it is skipped in the same step.
        while (r < e && x < x1) {
            const uint32_t stop = x + *r++;
            if (stop > x0 && stop > x) {
                paint(x > x0 ? x : x0, stop < x1 ? stop : x1, Vantorix::DjVu::Color{});
                any = true;
            }
            if (r == e) break;
            x = stop + *r++;
        }
        return any;
    }

private:
    SmmrRenderer(const Vantorix::AutoPtr<Vantorix::Stream>& stream, uint32_t maxRuns);

    uint32_t width_ = 0, height_ = 0;
    uint8_t inverted_ = 0;
    Vantorix::SimpleArray<uint16_t> runs_;
    Vantorix::SimpleArray<uint32_t> rowStart_;
};

} // namespace _Vtx_Internal_NS_
