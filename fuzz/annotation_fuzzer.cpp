// Annotation payloads, plain (ANTa) and compressed (ANTz): each ends in lists and settings or
// an Exception.
// seeds: text/seeds/*.ant*
#include "djv_annotation.h"
#include "fuzz_payload.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20)) return 0;
    readBothWays(data, size, "ANTa", "ANTz", [](Vantorix::DjVu::Chunk& chunk) {
        auto annotation = Vantorix::DjVu::Annotation::create();
        annotation->decode(chunk);
    });
    return 0;
}
