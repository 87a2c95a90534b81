// One mask row as packed bits, a plane per colour, for area averaging by bit counts when the
// row's shapes differ in colour.
//
// A page has few shape colours, so a row of several is still a few packed rows rather than a
// list of runs. Later pieces are drawn over earlier ones: a piece takes its columns out of the
// other colours' planes, so each set column is in exactly one plane, that of the last piece
// covering it. A row with more colours than planes is marked as such; its owner takes the runs.
#pragma once

#include <cstdint>

#include "djv_maskpackedrow.h"
#include "djv_types.h"

namespace _Vtx_Internal_NS_ {

class MaskColourPlanes {
public:
    // Rows of more colours are cheaper as runs: each plane is weighed over its whole range.
    static constexpr uint32_t kPlanes = 4;

    // Clears the row for mask columns [x0, x1).
    void reset(uint32_t x0, uint32_t x1)
    {
        x0_ = x0;
        x1_ = x1;
        count_ = 0;
        tooMany_ = false;
    }

    // Sets columns [begin, end), clipped to the row, in colour.
    [[gnu::always_inline]] void setRun(uint32_t begin, uint32_t end, const Vantorix::DjVu::Color& colour)
    {
        if (!planeOf(colour)) return;
        for (uint32_t k = 0; count_ > 1 && k < count_; ++k)
            if (k != last_ && overlaps(planes_[k], begin, end)) planes_[k].clearRun(begin, end);
        planes_[last_].setRun(begin, end, colour);
    }

    // ORs bits [from, to) of a packed row in at mask column at, in colour; as MaskPackedRow::blit.
    [[gnu::always_inline]] void blit(const uint8_t* row, uint32_t from, uint32_t to, uint32_t at,
                                     const Vantorix::DjVu::Color& colour)
    {
        if (!planeOf(colour) || from >= to) return;
        for (uint32_t k = 0; count_ > 1 && k < count_; ++k)
            if (k != last_ && overlaps(planes_[k], at, at + (to - from))) planes_[k].clearBits(row, from, to, at);
        planes_[last_].blit(row, from, to, at, colour);
    }

    // Planes in use, in the order their colours first came; a plane may be empty.
    uint32_t size() const { return count_; }
    MaskPackedRow& operator[](uint32_t k) { return planes_[k]; }
    const Vantorix::DjVu::Color& colour(uint32_t k) const { return colours_[k]; }
    // The row has more colours than planes: the planes then miss some of its pieces.
    bool tooMany() const { return tooMany_; }
    bool empty() const
    {
        for (uint32_t k = 0; k < count_; ++k)
            if (!planes_[k].empty()) return false;
        return true;
    }

private:
    static bool overlaps(const MaskPackedRow& plane, uint32_t begin, uint32_t end)
    {
        return begin < plane.hi() && plane.lo() < end;
    }

    // Makes the plane of colour the last one; false when there is no room for it. Pieces of a
    // colour tend to come together: the last plane is tried first.
    bool planeOf(const Vantorix::DjVu::Color& colour)
    {
        if (last_ < count_ && sameColour(colours_[last_], colour)) return true;
        return findPlane(colour);
    }
    [[gnu::noinline]] bool findPlane(const Vantorix::DjVu::Color& colour)
    {
        if (tooMany_) return false;
        for (uint32_t k = 0; k < count_; ++k)
            if (sameColour(colours_[k], colour)) {
                last_ = k;
                return true;
            }
        if (count_ == kPlanes) {
            tooMany_ = true;
            return false;
        }
        colours_[count_] = colour;
        planes_[count_].reset(x0_, x1_);
        last_ = count_++;
        return true;
    }

    MaskPackedRow planes_[kPlanes];
    Vantorix::DjVu::Color colours_[kPlanes] = {};
    uint32_t x0_ = 0, x1_ = 0, count_ = 0, last_ = 0;
    bool tooMany_ = false;
};

} // namespace _Vtx_Internal_NS_
