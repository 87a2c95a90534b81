// BZZ decompression of arbitrary payloads: everything must end in bytes or an Exception.
// seeds: bzz/*.bzz 100000
#include "djv_compressStream.h"
#include "fuzz_payload.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 24)) return 0;
    try {
        if (!smallFirstBlock(data, size)) return 0;
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
