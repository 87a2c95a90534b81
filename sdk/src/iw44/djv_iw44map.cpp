#include "djv_iw44map.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "vtx_exception.h"

namespace Vantorix::DjVu::IW44 {

// The head of a pool chunk; its units follow it.
struct Map::PoolChunk {
    PoolChunk* next;
    uint32_t bytes;

    // Groups and buckets are carved in multiples of 16 units, so every piece stays aligned
    // for the pointers a group holds.
    static uint32_t capacity(uint32_t bytes) { return (bytes - uint32_t(sizeof(PoolChunk))) / sizeof(int16_t) / 16 * 16; }
};

const Map::Block Map::kEmptyBlock = {};

Map::Map(uint32_t width, uint32_t height, const AutoPtr<MapBudget>& budget)
    : width_(width), height_(height), blocksWide_((width + 31) / 32), blocksHigh_((height + 31) / 32),
      budget_(budget)
{
    // Sizes are 16-bit: at most 2048 rows of 2048 blocks.
    if (blocksHigh_) {
        rows_ = static_cast<Block**>(allocate(uint64_t(blocksHigh_) * sizeof(Block*), false));
        std::memset(static_cast<void*>(rows_), 0, blocksHigh_ * sizeof(Block*));
    }
}

Map::~Map()
{
    MemoryAllocator* alloc = MemoryAllocator::getDefault();
    while (chunks_) {
        PoolChunk* next = chunks_->next;
        if (chunks_->bytes == kLargeChunkBytes)
            MemoryAllocator::freePages(chunks_, kLargeChunkBytes);
        else
            alloc->free(chunks_);
        chunks_ = next;
    }
    for (uint32_t by = 0; by < blocksHigh_; ++by)
        if (rows_[by]) alloc->free(rows_[by]);
    if (rows_) alloc->free(rows_);
    budget_->used -= allocated_;
}

Map::Block* Map::makeRow(uint32_t by)
{
    if (!rows_[by]) {
        const uint64_t bytes = uint64_t(blocksWide_) * sizeof(Block);
        rows_[by] = static_cast<Block*>(allocate(bytes, false));
        std::memset(static_cast<void*>(rows_[by]), 0, bytes);
    }
    return rows_[by];
}

bool Map::fits(uint64_t bytes) const { return bytes <= budget_->limit && budget_->used <= budget_->limit - bytes; }

void* Map::allocate(uint64_t bytes, bool pages)
{
    if (!fits(bytes))
        VTX_THROW(errLimitExceeded, "The IW44 image needs more memory than one image may take.", "Vantorix::DjVu::IW44::Map::allocate");
    void* p = nullptr;
    if (bytes < SIZE_MAX)
        p = pages ? MemoryAllocator::allocatePages(size_t(bytes)) : MemoryAllocator::getDefault()->allocate(size_t(bytes));
    if (!p) VTX_THROW(errOutOfMemory, "errOutOfMemory", "Vantorix::DjVu::IW44::Map::allocate");
    allocated_ += bytes;
    budget_->used += bytes;
    return p;
}

void Map::newChunk()
{
    static_assert(sizeof(PoolChunk) % alignof(Bucket) == 0 && kGroupUnits % 16 == 0);
    // A map that already holds two large pages' worth takes large pages: the last one, touched
    // whole, then wastes at most half of what the map holds. Near the end of the budget it goes
    // back to small chunks, so that the limit stays where they put it.
    const bool large = allocated_ >= 2 * kLargeChunkBytes && fits(kLargeChunkBytes);
    const uint32_t bytes = large ? kLargeChunkBytes : kChunkBytes;
    auto* chunk = static_cast<PoolChunk*>(allocate(bytes, large));
    if (!large) std::memset(static_cast<void*>(chunk), 0, bytes);
    chunk->next = chunks_;
    chunk->bytes = bytes;
    chunks_ = chunk;
    current_ = reinterpret_cast<int16_t*>(chunk + 1);
    capacity_ = PoolChunk::capacity(bytes);
    used_ = 0;
}

} // namespace Vantorix::DjVu::IW44
