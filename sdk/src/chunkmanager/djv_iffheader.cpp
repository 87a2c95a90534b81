#include "djv_iff.h"

namespace Vantorix::DjVu::IFF {

ChunkHeader readChunkHeader(Storage& storage)
{
    ChunkHeader h;
    h.offset = storage.getPos();
    uint8_t b[8];
    storage.readBytes(b, 4, true);
    if (b[0] == 'A' && b[1] == 'T' && b[2] == '&' && b[3] == 'T') {
        h.magic = true;
        h.offset += 4;
        storage.readBytes(b, 4, true);
    }
    for (int i = 0; i < 4; ++i) {
        if (b[i] < 0x20 || b[i] > 0x7E)
            VTX_THROW(errDataBroken, "Invalid IFF chunk ID; maybe a broken file?", "Vantorix::DjVu::IFF::recurseChunks");
        h.id[i] = char(b[i]);
    }
    storage.readBytes(b + 4, 4, true);
    h.length = uint32_t(b[4]) << 24 | uint32_t(b[5]) << 16 | uint32_t(b[6]) << 8 | b[7];
    h.payloadOffset = h.offset + 8;
    return h;
}

String readFormType(Storage& storage)
{
    char type[4];
    storage.readBytes(type, 4, true);
    return String::fromUtf8(type, 4);
}

} // namespace Vantorix::DjVu::IFF
