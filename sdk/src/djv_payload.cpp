#include "djv_payload.h"

#include <algorithm>

#include "djv_compressStream.h"
#include "djv_payloadextent.h"
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

uint64_t remainingBytes(Stream& stream)
{
    auto* storage = dynamic_cast<Storage*>(&stream);
    if (!storage) return 0;
    auto* payload = dynamic_cast<PayloadExtent*>(&stream);
    const uint64_t size = payload ? payload->getPresentSize() : storage->getSize(), pos = storage->getPos();
    return pos < size ? size - pos : 0;
}

std::string readString(Stream& stream, uint32_t length, bool exact)
{
    constexpr uint32_t kPiece = 1u << 16;
    std::string out;
    while (out.size() < length) {
        const uint32_t want = std::min<uint32_t>(kPiece, length - uint32_t(out.size()));
        const size_t had = out.size();
        out.resize(had + want);
        const uint32_t got = stream.readBytes(out.data() + had, want, exact);
        out.resize(had + got);
        if (got < want) break;
    }
    return out;
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
