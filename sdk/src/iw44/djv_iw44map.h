// The wavelet coefficients of one IW44 component.
//
// The image is cut into 32 x 32 blocks, stored row by row from the bottom of the picture up.
// A block holds its 1024 coefficients in 64 buckets of 16, in coarse-to-fine order: the first
// 4^k coefficients form the 2^k x 2^k coarse grid of the block. Most buckets of a block stay
// zero for many slices (or for ever), so a block is four pointers to groups of 16 bucket
// pointers, and groups and buckets are taken from a zero-filled pool only when a coefficient
// becomes non-zero. A missing bucket reads as all zero.
//
// A map takes its pool from the heap a few pages at a time until it holds as much as two large
// pages; from there on it takes whole large pages straight from the system, which come
// zero-filled and cost one fault each instead of one per small page.
//
// The file states the size, not the amount of data, so nothing is allocated for the size alone
// beyond one pointer per row of blocks: a row's block records appear with its first bucket.
// Every allocation counts against a limit fixed at construction and exceeding it throws, so
// that a small hostile file cannot claim gigabytes.
#pragma once

#include <cstdint>

#include "vtx_memory.h"

namespace Vantorix::DjVu::IW44 {

// What one image may allocate: the coefficients of all its components, and separately a work
// plane while it is reconstructed.
inline constexpr uint64_t kImageByteLimit = uint64_t(1) << 30;

// Every slice visits every block of its component, and a crafted stream can stay on the
// cheapest path of each block for 140 slices of a 65535 x 65535 image from a few bytes. An
// image may visit this many blocks (about half a second here), and more for each byte of its
// coded data: encoder output visits a few dozen blocks per byte, an empty image a few thousand.
inline constexpr uint64_t kWorkAllowance = uint64_t(1) << 24;
inline constexpr uint64_t kWorkPerByte = 4096;

// The allowance the maps of one image share: chroma is mostly sparse, so the luma of a large
// colour image may take well over a third of it.
struct MapBudget : Referable {
    explicit MapBudget(uint64_t byteLimit) : limit(byteLimit) {}
    uint64_t limit, used = 0;
};

class Map : public Referable {
public:
    using Bucket = int16_t*;
    struct Block {
        Bucket* groups[4];
    };

    // An empty block, for rows that have none yet.
    static const Block kEmptyBlock;

    Map(uint32_t width, uint32_t height, uint64_t byteLimit) : Map(width, height, makeAuto<MapBudget>(byteLimit)) {}
    // A map that allocates from a budget shared with other maps (what it took goes back when it
    // goes).
    Map(uint32_t width, uint32_t height, const AutoPtr<MapBudget>& budget);
    ~Map() override;
    Map(const Map&) = delete;
    Map& operator=(const Map&) = delete;

    uint32_t getWidth() const { return width_; }
    uint32_t getHeight() const { return height_; }
    uint32_t getBlocksWide() const { return blocksWide_; }
    uint32_t getBlocksHigh() const { return blocksHigh_; }
    // The blocks of block row by (0 at the bottom), or null while the row is all zero.
    Block* getRow(uint32_t by) { return rows_[by]; }
    const Block* getRow(uint32_t by) const { return rows_[by]; }
    // The blocks of row by, created zero-filled when missing. Throws 38 past the budget.
    Block* makeRow(uint32_t by);
    uint64_t getAllocatedBytes() const { return allocated_; }

    static const int16_t* getBucket(const Block& block, uint32_t bucket)
    {
        const Bucket* group = block.groups[bucket >> 4];
        return group ? group[bucket & 15] : nullptr;
    }
    static int16_t* getBucket(Block& block, uint32_t bucket)
    {
        Bucket* group = block.groups[bucket >> 4];
        return group ? group[bucket & 15] : nullptr;
    }
    // The bucket, created zero-filled when missing. Throws 38 past the budget.
    int16_t* makeBucket(Block& block, uint32_t bucket)
    {
        Bucket*& group = block.groups[bucket >> 4];
        if (!group) group = reinterpret_cast<Bucket*>(take(kGroupUnits));
        Bucket& b = group[bucket & 15];
        if (!b) b = take(16);
        return b;
    }

    // Pool chunk sizes: from the heap (8 KiB with the heap's own header), and a large page.
    // Units of 16 bits: a bucket takes 16, a group of bucket pointers 64 (on 64-bit targets).
    static constexpr uint32_t kChunkBytes = 8192 - 2 * sizeof(void*);
    static constexpr uint32_t kLargeChunkBytes = uint32_t(2) << 20;
    static constexpr uint32_t kGroupUnits = uint32_t(16 * sizeof(Bucket) / sizeof(int16_t));

private:
    int16_t* take(uint32_t units)
    {
        if (used_ + units > capacity_) newChunk();
        int16_t* p = current_ + used_;
        used_ += units;
        return p;
    }
    void newChunk();
    bool fits(uint64_t bytes) const;
    void* allocate(uint64_t bytes, bool pages);

    struct PoolChunk;
    uint32_t width_, height_, blocksWide_, blocksHigh_;
    Block** rows_ = nullptr;
    PoolChunk* chunks_ = nullptr;
    int16_t* current_ = nullptr;
    uint32_t used_ = 0, capacity_ = 0;
    AutoPtr<MapBudget> budget_;
    uint64_t allocated_ = 0;
};

} // namespace Vantorix::DjVu::IW44
