// Reconstruction of one component: its coefficients laid out in a 16-bit work plane and the
// inverse transform run over it, either for the whole image at full resolution or for a
// rectangle at a power-of-two reduction. The rows of the result are handed out in plane order
// (bottom-up), so that a renderer can convert each one as soon as it is final.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "djv_iw44lifting.h"
#include "djv_types.h"
#include "vtx_memory.h"

namespace Vantorix::DjVu::IW44 {

class ComponentDecoder;

// A work plane of 16-bit samples. Throws 38 when it would exceed what one image may take.
class Plane {
public:
    Plane() = default;
    explicit Plane(uint64_t samples) : samples_(checked(samples)) {}
    int16_t* data() { return samples_.data(); }
    size_t size() const { return samples_.size(); }

private:
    static uint32_t checked(uint64_t samples);
    SimpleArray<int16_t, 2> samples_;
};

// Samples carry six fractional bits; a pixel is their rounded value as a signed byte.
inline uint8_t sampleToByte(int32_t c)
{
    c = (c + 32) >> 6;
    return uint8_t(c < -128 ? -128 : c > 127 ? 127 : c);
}

class ComponentRows {
public:
    // The whole component at full resolution. Everything but the finest scale is done here;
    // the finest scale runs row by row as the rows are asked for.
    ComponentRows(const ComponentDecoder& component, bool chromaHalf);
    // The rectangle rect (plane coordinates, already checked) of the component reduced by
    // 32 >> level, reconstructed at once.
    ComponentRows(const ComponentDecoder& component, uint32_t level, const Rect& rect, bool chromaHalf);
    ComponentRows(const ComponentRows&) = delete;
    ComponentRows& operator=(const ComponentRows&) = delete;

    // Row y of the result (y = 0 first), asked for in increasing order. Valid until the next
    // call.
    const int16_t* row(uint32_t y);
    // Whether the rows hold half as many samples, column x at index x / 2 (chroma at half
    // resolution on the full path, which leaves the copying to the reader).
    bool halfColumns() const { return halfRows_; }

private:
    void composeFull(const ComponentDecoder& component, bool chromaHalf);
    void composeReduced(const ComponentDecoder& component, uint32_t level, const Rect& rect, bool chromaHalf);
    void makeRow(uint32_t y);

    // Reduced path: the reconstructed region. Full path: the image at even positions (what
    // the scales above the finest make), half the size each way.
    Plane plane_;
    ptrdiff_t pitch_ = 0;
    int16_t* origin_ = nullptr; // the result's row 0, column 0 (reduced path)
    bool halfRows_ = false;

    // Full path, finest scale: rows are assembled from the half-size plane and the finest
    // coefficients into a ring of rows, lifted down the columns and then along each row.
    static constexpr uint32_t kRingRows = 16;
    const ComponentDecoder* component_ = nullptr;
    Plane ring_;
    ptrdiff_t ringPitch_ = 0;
    uint32_t height_ = 0;
    std::optional<ColumnLifter> finestColumns_;
    std::optional<RowLifter> finestRows_;
    uint32_t rowsMade_ = 0, rowsDone_ = 0;
};

} // namespace Vantorix::DjVu::IW44
