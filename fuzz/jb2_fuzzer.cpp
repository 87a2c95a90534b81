// JB2 dictionary, page and FGbz colours, then the mask drawn small and at its own size.
// Input: [dictionary "SJBZ"] page ["FGBZ" colours].
// seeds: jb2/*.fuzz
#include <cstring>
#include <vector>

#include "djv_jb2.h"
#include "vtx_exception.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;

namespace {

const uint8_t* findMarker(const uint8_t* begin, const uint8_t* end, const char* marker)
{
    for (const uint8_t* p = begin; p + 4 <= end; ++p)
        if (std::memcmp(p, marker, 4) == 0) return p;
    return nullptr;
}

AutoPtr<Stream> streamOf(const uint8_t* begin, const uint8_t* end)
{
    return AutoPtr<Stream>(MemoryStorage::create(begin, uint32_t(end - begin)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint8_t* end = data + size;
    const uint8_t* dictEnd = findMarker(data, end, "SJBZ");
    const uint8_t* page = dictEnd ? dictEnd + 4 : data;
    const uint8_t* pageEnd = findMarker(page, end, "FGBZ");
    const uint8_t* colours = pageEnd ? pageEnd + 4 : nullptr;
    if (!pageEnd) pageEnd = end;
    try {
        AutoPtr<JB2Dictionary> dict = dictEnd ? JB2Dictionary::create(streamOf(data, dictEnd)) : nullptr;
        AutoPtr<JB2Page> jb2 = JB2Page::create(streamOf(page, pageEnd), dict);
        if (colours) jb2->addFGbz(streamOf(colours, end));
        std::vector<uint8_t> pixels(96 * 96 * 3, 0xFF);
        jb2->renderMask(pixels.data(), 96 * 3, Photometric::RGB, Rect{0, 0, 96, 64}, 96, 64, 0, 0);
        jb2->renderMask(pixels.data(), 96, Photometric::Gray, Rect{0, 0, 96, 96}, 0, 0, 0, 0);
        jb2->renderMask(pixels.data(), 32 * 3, Photometric::YCbCr, Rect{5, 7, 32, 32}, 200, 300, 0, 1);
    } catch (const Exception&) {
    }
    return 0;
}
