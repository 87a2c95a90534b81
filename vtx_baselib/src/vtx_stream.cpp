#include "vtx_stream.h"

namespace Vantorix {
namespace {

// One loop serves both copies: count 0 means "until the source reports its end".
uint32_t copyLoop(Stream& self, Stream& source, uint32_t count, uint32_t chunkSize, CopyProgressCallback callback,
                  void* context)
{
    if (chunkSize == 0) chunkSize = 1;
    ByteArray buffer(chunkSize, -1);
    std::memset(buffer.data(), 0, chunkSize);
    uint32_t total = 0;
    if (callback) callback(context, 0, count);
    while (!source.isEof() && (count == 0 || total < count)) {
        uint32_t want = count == 0 || count - total > chunkSize ? chunkSize : count - total;
        uint32_t got = source.readBytes(buffer.data(), want, false);
        if (got == 0) break; // a source that delivers nothing without reporting its end
        self.writeBytes(buffer.data(), got);
        total += got;
        if (callback) callback(context, total, count);
    }
    return total;
}

} // namespace

uint32_t Stream::copyAllFrom(Stream& source, uint32_t chunkSize, CopyProgressCallback callback, void* context)
{
    return copyLoop(*this, source, 0, chunkSize, callback, context);
}

uint32_t Stream::copyFrom(Stream& source, uint32_t count, uint32_t chunkSize, CopyProgressCallback callback,
                          void* context)
{
    return copyLoop(*this, source, count, chunkSize, callback, context);
}

} // namespace Vantorix
