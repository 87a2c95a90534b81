// BZZ decompression: a Stream that reads the plain bytes of a BZZ-compressed payload
// (block sort + move-to-front, coded with the ZP decoder). Used for DIRM, FGbz, TXTz, ANTz
// and NAVM payloads.
#pragma once

#include <cstdint>

#include "vtx_memory.h"
#include "vtx_stream.h"

namespace Vantorix::DjVu {

class InflateStream : public Stream {
public:
    // byteLimit and bufferSize go to the ZP decoder (0: no limit; 0: 16). Reads the first
    // six bytes of source at once. The source is held for the stream's life.
    // readBytes throws 26 "Stream corrupt", "Index out of range" or, for an exact read that
    // runs out, "Could not read 'size' many bytes"; writeBytes/flushBuffer throw 28.
    static AutoPtr<InflateStream> create(const AutoPtr<Stream>& source, uint32_t byteLimit = 0,
                                         uint32_t bufferSize = 16);
};

} // namespace Vantorix::DjVu
