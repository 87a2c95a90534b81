#include "djv_iw44map.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "vtx_exception.h"

namespace Vantorix::DjVu::IW44 {

struct Map::PoolChunk {
    PoolChunk* next;
    int16_t units[kChunkUnits];
};

const Map::Block Map::kEmptyBlock = {};

Map::Map(uint32_t width, uint32_t height, const AutoPtr<MapBudget>& budget)
    : width_(width), height_(height), blocksWide_((width + 31) / 32), blocksHigh_((height + 31) / 32),
      budget_(budget)
{
    // Sizes are 16-bit: at most 2048 rows of 2048 blocks.
    if (blocksHigh_) {
        rows_ = static_cast<Block**>(allocate(uint64_t(blocksHigh_) * sizeof(Block*)));
        std::memset(static_cast<void*>(rows_), 0, blocksHigh_ * sizeof(Block*));
    }
}

Map::~Map()
{
    MemoryAllocator* alloc = MemoryAllocator::getDefault();
    while (chunks_) {
        PoolChunk* next = chunks_->next;
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
        rows_[by] = static_cast<Block*>(allocate(bytes));
        std::memset(static_cast<void*>(rows_[by]), 0, bytes);
    }
    return rows_[by];
}

void* Map::allocate(uint64_t bytes)
{
    MapBudget& budget = *budget_;
    if (bytes > budget.limit || budget.used > budget.limit - bytes)
        VTX_THROW(errLimitExceeded, "The IW44 image needs more memory than one image may take.", "Vantorix::DjVu::IW44::Map::allocate");
    void* p = bytes < SIZE_MAX ? MemoryAllocator::getDefault()->allocate(size_t(bytes)) : nullptr;
    if (!p) VTX_THROW(errOutOfMemory, "errOutOfMemory", "Vantorix::DjVu::IW44::Map::allocate");
    allocated_ += bytes;
    budget.used += bytes;
    return p;
}

void Map::newChunk()
{
    // Groups and buckets are carved in multiples of 16 units, so every piece stays aligned
    // for the pointers a group holds.
    static_assert(kChunkUnits % 16 == 0 && kGroupUnits % 16 == 0);
    static_assert(offsetof(PoolChunk, units) % alignof(Bucket) == 0);
    auto* chunk = static_cast<PoolChunk*>(allocate(sizeof(PoolChunk)));
    std::memset(static_cast<void*>(chunk), 0, sizeof(PoolChunk));
    chunk->next = chunks_;
    chunks_ = chunk;
    current_ = chunk->units;
    used_ = 0;
}

} // namespace Vantorix::DjVu::IW44
