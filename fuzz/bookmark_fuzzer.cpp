// Outline payloads, decompressed and as stored in NAVM: each ends in a bookmark tree or an
// Exception.
// seeds: text/seeds/*.navm*
#include "djv_bookmark.h"
#include "djv_compressStream.h"
#include "fuzz_payload.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20)) return 0;
    try {
        Vantorix::DjVu::Bookmark::read(*Vantorix::MemoryStorage::create(data, uint32_t(size)));
    } catch (const Vantorix::Exception&) {
    }
    if (!smallFirstBlock(data, size)) return 0;
    try {
        Vantorix::AutoPtr<Vantorix::Stream> source(Vantorix::MemoryStorage::create(data, uint32_t(size)).get());
        Vantorix::DjVu::Bookmark::read(*Vantorix::DjVu::InflateStream::create(source));
    } catch (const Vantorix::Exception&) {
    }
    return 0;
}
