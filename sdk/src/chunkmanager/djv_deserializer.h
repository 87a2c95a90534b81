// Internal steps of the IFF reader, shared by deserialize_IFF, the late-binding chunks and the
// resource broker.
#pragma once

#include "djv_chunkimpls.h"
#include "djv_iff.h"

namespace Vantorix::DjVu::IFF {

// An inclusion being resolved: the chain of them lets a cycle be recognised.
struct IncludeFrame {
    const IncludeFrame* outer = nullptr;
    String id;
};

// Everything one reading pass carries from level to level.
struct ParseContext {
    AutoPtr<Storage> storage;
    AutoPtr<ResourceBroker> broker;
    FormRecords* records = nullptr;
    ChunkCallback callback = nullptr;
    void* context = nullptr;
    IFFErrorRecoveryHandler* recovery = nullptr;
    Summary* summary = nullptr;
    const IncludeFrame* including = nullptr;
};

// Reads chunks into parent until parentLength bytes are consumed (0: exactly one chunk).
// depth counts the FORMs and inclusions above this level.
void recurseChunks(ChunkCollection* parent, ParseContext& ctx, uint32_t parentLength, uint32_t depth);

// Reads exactly one top-level chunk at the storage's position: the steps of deserialize_IFF.
AutoPtr<Chunk> parseOneChunk(ParseContext& ctx, uint32_t depth);

// The process's default broker; linking this in installs the document layer's own.
AutoPtr<ResourceBroker> defaultResourceBroker();

} // namespace Vantorix::DjVu::IFF
