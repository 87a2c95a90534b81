#include "djv_payload.h"

#include "djv_compressStream.h"
#include "vtx_exception.h"

namespace _Vtx_Internal_NS_ {

using namespace Vantorix;
using namespace Vantorix::DjVu;

uint32_t readBigEndian(Stream& stream, uint32_t bytes)
{
    uint8_t b[4];
    stream.readBytes(b, bytes, true);
    uint32_t value = 0;
    for (uint32_t i = 0; i < bytes; ++i) value = value << 8 | b[i];
    return value;
}

AutoPtr<Stream> openPayload(Chunk& chunk, const char* plainId, const char* packedId, const char* message,
                            const char* function)
{
    String id = chunk.getId();
    bool packed = id == packedId;
    if (!packed && id != plainId) VTX_THROW(errInvalidParam, message, function);
    AutoPtr<Data> data = chunk.getData();
    AutoPtr<Stream> plain(data->getStream(true).get());
    if (!packed) return plain;
    return AutoPtr<Stream>(DjVu::InflateStream::create(plain, 0, 16).get());
}

} // namespace _Vtx_Internal_NS_
