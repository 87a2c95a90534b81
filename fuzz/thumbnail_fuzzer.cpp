// seeds: container/*.djvu
// seeds: jb2/*.djvu
// seeds: mmr/*.djvu
// seeds: iw44/*.djvu 200000
// seeds: render/*.djvu 200000
// The shell extension's whole path: the first page's 64-pixel thumbnail as a 32-bit bitmap.
#include <vector>

#include "fuzz_document.h"
#include "nimbrel_thumbnail.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 22)) return 0;
    try {
        auto doc = openFuzzDocument(data, size);
        if (doc->getPages().size() == 0) return 0;
        std::vector<uint8_t> bitmap;
        Vantorix::Nimbrel::buildThumbnail(*doc->getPages()[0], 64, [&](uint32_t w, uint32_t h) {
            bitmap.assign(size_t(w) * h * 4, 0);
            return bitmap.data();
        });
    } catch (const Vantorix::Exception&) {
    }
    return 0;
}
