#include "djv_chunkimpls.h"
#include "vtx_exception.h"

namespace Vantorix::DjVu {

LazyLoadChunk::LazyLoadChunk(const AutoPtr<Chunk>& collection, uint32_t index) : collection_(collection), index_(index)
{
    if (!collection_) VTX_THROW(errInvalidParam, "errInvalidParam", "Vantorix::DjVu::LazyLoadChunk::LazyLoadChunk");
}

AutoPtr<Chunk> LazyLoadChunk::create(const AutoPtr<Chunk>& collection, uint32_t index)
{
    return makeAuto<LazyLoadChunk>(collection, index);
}

AutoPtr<Chunk> LazyLoadChunk::getChunk()
{
    ChunkArray& children = collection_->getChildren();
    if (index_ >= children.getSize()) VTX_THROW(errInvalidParam, "index out of range!", "Vantorix::DjVu::LazyLoadChunk::getChunk");
    return children[index_];
}

bool LazyLoadChunk::isAvailable()
{
    AutoPtr<Chunk> child = getChunk();
    return collection_->isAvailable() && child->isAvailable();
}

} // namespace Vantorix::DjVu
