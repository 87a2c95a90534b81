#include "djv_iw44map.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "vtx_exception.h"

namespace Vantorix::DjVu::IW44 {

namespace {
// Pieces are carved in multiples of 16 units from just past a chunk's head, so every piece
// stays aligned for the pointers a group or a row holds.
constexpr uint32_t kPieceUnits = 16;

uint32_t roundToPiece(uint64_t units) { return uint32_t((units + kPieceUnits - 1) / kPieceUnits * kPieceUnits); }
} // namespace

// The head of a pool chunk; its units follow it.
struct Map::PoolChunk {
    PoolChunk* next;
    uint32_t bytes;

    static uint32_t capacity(uint32_t bytes)
    {
        return (bytes - uint32_t(sizeof(PoolChunk))) / sizeof(int16_t) / kPieceUnits * kPieceUnits;
    }
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
    while (chunks_) {
        PoolChunk* next = chunks_->next;
        MemoryAllocator::freePages(chunks_, chunks_->bytes);
        chunks_ = next;
    }
    if (rows_) MemoryAllocator::getDefault()->free(rows_);
    budget_->used -= allocated_;
}

Map::Block* Map::makeRow(uint32_t by)
{
    if (!rows_[by]) {
        const uint64_t units = uint64_t(blocksWide_) * sizeof(Block) / sizeof(int16_t);
        rows_[by] = reinterpret_cast<Block*>(take(roundToPiece(units)));
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

void Map::newChunk(uint32_t units)
{
    static_assert(sizeof(PoolChunk) % alignof(Bucket) == 0 && kGroupUnits % kPieceUnits == 0);
    uint32_t least = kFirstChunkBytes;
    while (PoolChunk::capacity(least) < units) least *= 2;
    // Near the budget's end the chunk shrinks back towards the smallest that serves, so that
    // the limit stays where small chunks would put it.
    uint32_t bytes = nextChunkBytes_ > least ? nextChunkBytes_ : least;
    while (bytes > least && !fits(bytes)) bytes /= 2;
    auto* chunk = static_cast<PoolChunk*>(allocate(bytes, true));
    chunk->next = chunks_;
    chunk->bytes = bytes;
    chunks_ = chunk;
    current_ = reinterpret_cast<int16_t*>(chunk + 1);
    capacity_ = PoolChunk::capacity(bytes);
    used_ = 0;
    if (nextChunkBytes_ < kLargestChunkBytes) nextChunkBytes_ *= 2;
}

} // namespace Vantorix::DjVu::IW44
