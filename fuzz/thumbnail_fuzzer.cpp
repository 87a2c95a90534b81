// seeds: container/*.djvu
// seeds: jb2/*.djvu
// seeds: mmr/*.djvu
// seeds: iw44/*.djvu 200000
// seeds: render/*.djvu 200000
// The whole thumbnail path on arbitrary input: open the document, take its first page, size the
// thumbnail by the page's displayed proportions (longer side 64) and render every layer into a
// 32-bit bottom-up buffer as the shell's bitmap is filled (BGR), or top-down in RGB, chosen by
// the input's length. Anything but an Exception (crash, hang, leak, sanitizer report) is a
// finding.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "djv_document.h"
#include "vtx_exception.h"

namespace {

// Component files of indirect documents are not opened: the input is the whole world.
class NoFiles final : public Vantorix::ResourceBroker {
public:
    Vantorix::AutoPtr<Vantorix::Storage> load(const Vantorix::String&) override
    {
        VTX_THROW(12, "no files while fuzzing", "NoFiles::load");
    }
};

constexpr uint32_t kEdge = 64;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace Vantorix;
    using namespace Vantorix::DjVu;
    if (size > (1u << 22)) return 0;
    try {
        AutoPtr<ResourceBroker> broker = makeAuto<NoFiles>();
        AutoPtr<Document> doc = Document::create(MemoryStorage::create(data, uint32_t(size)), broker);
        if (doc->getPages().size() == 0) return 0;
        AutoPtr<Page> page = doc->getPages()[0];
        const uint64_t W = page->getWidth(), H = page->getHeight();
        if (!W || !H) return 0;
        const uint32_t w = W >= H ? kEdge : uint32_t(W * kEdge / H);
        const uint32_t h = W >= H ? uint32_t(H * kEdge / W) : kEdge;
        if (!w || !h) return 0;
        std::vector<uint8_t> bitmap(size_t(w) * h * 4);
        const Rect all{0, 0, w, h};
        if (size & 1)
            page->render(bitmap.data() + size_t(h - 1) * w * 4, -int32_t(w * 4), Photometric::BGR, all, w, h,
                         Page::layerAll, 0);
        else
            page->render(bitmap.data(), int32_t(w * 3), Photometric::RGB, all, w, h, Page::layerAll, 0);
    } catch (const Exception&) {
    }
    return 0;
}
