// BZZ decompression of arbitrary payloads: everything must end in bytes or an Exception.
// seeds: bzz/*.bzz 100000
#include <cstddef>
#include <cstdint>

#include "djv_compressStream.h"
#include "vtx_exception.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 24)) return 0;
    try {
        auto source = Vantorix::MemoryStorage::create(data, uint32_t(size));
        auto z = Vantorix::DjVu::InflateStream::create(source);
        // Blocks of up to 4 MiB symbols can come from a few bytes each: stop after a few of them
        // so that a run measures the decoder, not the length of its output.
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
