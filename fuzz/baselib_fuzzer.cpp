// The runtime's parsers: zlib inflation, text codecs, numbers, replacement and storage windows.
#include <cstring>
#include <string>

#include "vtx_exception.h"
#include "vtx_misc.h"
#include "vtx_stream.h"
#include "vtx_string.h"

using namespace Vantorix;

namespace {

void inflateAll(const uint8_t* data, size_t size)
{
    auto in = InflateStream::create(AutoPtr<Stream>(MemoryStorage::create(data, uint32_t(size))));
    uint8_t buf[4096];
    for (size_t total = 0; !in->isEof() && total < (64u << 20);) { // a bomb stops at 64 MiB
        uint32_t n = in->readBytes(buf, sizeof buf, false);
        if (n == 0) break;
        total += n;
    }
}

void texts(const uint8_t* data, size_t size)
{
    String u8 = String::fromUtf8(reinterpret_cast<const char*>(data), int32_t(size));
    u8.getUtf16(), u8.getUtf32(), u8.getNarrow();
    std::u16string units(size / 2, u'\0');
    std::memcpy(units.data(), data, units.size() * 2);
    String::fromUtf16(units.data(), int32_t(units.size())).getUtf32();
    String what = String::fromUtf8(reinterpret_cast<const char*>(data), int32_t(size > 8 ? 1 + data[0] % 8 : 0));
    if (!what.isEmpty()) u8.replaced(what, "xyz");
}

void numbers(const uint8_t* data, size_t size)
{
    uint32_t n = uint32_t(size > 16 ? 16 : size);
    try { Decimal::fromStrToInt(reinterpret_cast<const char*>(data), n); } catch (const Exception&) {}
    try { Hex::fromStrToInt(reinterpret_cast<const char*>(data), n); } catch (const Exception&) {}
}

// Operations read from the data drive a window over the data itself.
void windows(const uint8_t* data, size_t size)
{
    if (size < 8) return;
    auto base = MemoryStorage::create(data, uint32_t(size));
    uint32_t off = data[0] % size, len = data[1] % (size - off + 1);
    AutoPtr<Storage> part = PartialStorage::create(AutoPtr<Storage>(base), off, len, data[2] & 1);
    uint8_t buf[256];
    for (size_t i = 3; i + 1 < size && i < 64; i += 2) {
        try {
            switch (data[i] % 6) {
            case 0: part->readBytes(buf, data[i + 1], data[i] & 8); break;
            case 1: part->writeBytes(buf, data[i + 1] % 16); break;
            case 2: part->setPos(data[i + 1]); break;
            case 3: part->setPosRelative(int8_t(data[i + 1])); break;
            case 4: part->setPosFromEnd(-int64_t(data[i + 1] % 32)); break;
            default: part = part->duplicate(); break;
            }
        } catch (const Exception&) {
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    try {
        switch (data[0] % 4) {
        case 0: inflateAll(data + 1, size - 1); break;
        case 1: texts(data + 1, size - 1); break;
        case 2: numbers(data + 1, size - 1); break;
        default: windows(data + 1, size - 1); break;
        }
    } catch (const Exception&) {
    }
    return 0;
}
