// Chunk payloads that come plain or BZZ-compressed: fuzzers read each input both ways.
#pragma once
#include <cstddef>
#include <cstdint>

#include "djv_chunkimpls.h"
#include "djv_zpdecoder.h"
#include "vtx_exception.h"

// The symbol count of a BZZ payload's first block: its 24 leading bits.
inline uint32_t firstBlockSize(Vantorix::Stream* source)
{
    Vantorix::DjVu::ZPDecoder zp(source);
    uint32_t n = 0;
    for (int i = 0; i < 24; ++i) n = (n << 1) | uint32_t(zp.decodePassthrough());
    return n;
}

// Whether the input read as BZZ is worth decoding: huge blocks cost seconds under the
// sanitizers whatever their bytes (the unit tests take those).
inline bool smallFirstBlock(const uint8_t* data, size_t size)
{
    try {
        return firstBlockSize(Vantorix::MemoryStorage::create(data, uint32_t(size)).get()) <= (1u << 18);
    } catch (const Vantorix::Exception&) {
        return false;
    }
}

// Calls read(chunk) with the input as a leaf of id plainId and, when worth it, of id packedId;
// Exceptions end each reading.
template <class Read>
void readBothWays(const uint8_t* data, size_t size, const char* plainId, const char* packedId, Read read)
{
    for (const char* id : {plainId, packedId}) {
        if (id == packedId && !smallFirstBlock(data, size)) continue;
        try {
            read(*Vantorix::DjVu::ChunkImpl::create(id, data, uint32_t(size)));
        } catch (const Vantorix::Exception&) {
        }
    }
}
