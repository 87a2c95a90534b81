// seeds: container/*.djvu
// seeds: container/*_indirect/*
// A document from the input, every page's record read and all its chunks visited once.
#include "fuzz_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 22)) return 0;
    try {
        auto doc = openFuzzDocument(data, size); // held: the pages live in it
        for (auto& page : doc->getPages()) {
            try {
                page->getWidth();
                page->visit(Vantorix::DjVu::Photometric::BGR);
            } catch (const Vantorix::Exception&) { // a broken page does not stop the others
            }
        }
    } catch (const Vantorix::Exception&) {
    }
    return 0;
}
