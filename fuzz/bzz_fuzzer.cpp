// BZZ decompression of arbitrary payloads: everything must end in bytes or an Exception.
// seeds: bzz/*.bzz 100000
#include "djv_compressStream.h"
#include "djv_zpdecoder.h"
#include "vtx_exception.h"

namespace {

// The symbol count of the first block: its 24 leading bits.
uint32_t firstBlockSize(Vantorix::Stream* source)
{
    Vantorix::DjVu::ZPDecoder zp(source);
    uint32_t n = 0;
    for (int i = 0; i < 24; ++i) n = (n << 1) | uint32_t(zp.decodePassthrough());
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 24)) return 0;
    try {
        // Huge blocks cost seconds under the sanitizers whatever their bytes: the unit tests take those.
        if (firstBlockSize(Vantorix::MemoryStorage::create(data, uint32_t(size)).get()) > (1u << 18)) return 0;

        auto source = Vantorix::MemoryStorage::create(data, uint32_t(size));
        auto z = Vantorix::DjVu::InflateStream::create(source);
        // Later blocks may be as large: stop after 16 MiB.
        static uint8_t buffer[65536];
        uint64_t total = 0;
        while (uint32_t n = z->readBytes(buffer, sizeof buffer, false)) {
            total += n;
            if (total > (16u << 20)) break;
        }
    } catch (const Vantorix::Exception&) {
    }
    return 0;
}
