// Reading the payloads of the text, annotation and outline chunks: exact big-endian fields,
// and a chunk's payload opened plain or through BZZ by its identifier.
#pragma once
#include <cstdint>
#include <string>

#include "djv_chunk.h"
#include "vtx_stream.h"

namespace _Vtx_Internal_NS_ {

// An unsigned big-endian field of 1 to 4 bytes; a short stream throws its end-of-data error.
uint32_t readBigEndian(Vantorix::Stream& stream, uint32_t bytes);

// The bytes left in stream when it is a storage, which knows its size; 0 for other streams.
// Of a chunk cut short by the end of its file only the bytes the file held count. Decoders
// earn their work allowance with them.
uint64_t remainingBytes(Vantorix::Stream& stream);

// length bytes of stream, read in pieces so that a hostile length costs no more memory than
// the stream holds. exact: a short stream throws its end-of-data error; else what is there.
std::string readString(Vantorix::Stream& stream, uint32_t length, bool exact);

// The payload of chunk as a stream: plain when its id is plainId, decompressed (no byte limit,
// 16-byte buffer) when it is packedId. Any other id throws 7 with message.
Vantorix::AutoPtr<Vantorix::Stream> openPayload(Vantorix::DjVu::Chunk& chunk, const char* plainId,
                                                const char* packedId, const char* message, const char* function);

} // namespace _Vtx_Internal_NS_
