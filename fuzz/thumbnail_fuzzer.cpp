// seeds: container/*.djvu
// seeds: jb2/*.djvu
// seeds: mmr/*.djvu
// seeds: iw44/*.djvu 200000
// seeds: render/*.djvu 200000
// The whole thumbnail path on arbitrary input, as the shell extension runs it: open the
// document, take its first page and build its 64-pixel thumbnail (every layer, widened to a
// 32-bit bottom-up bitmap). Anything but an Exception (crash, hang, leak, sanitizer report) is a
// finding.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "djv_document.h"
#include "nimbrel_thumbnail.h"
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
        std::vector<uint8_t> bitmap;
        Nimbrel::buildThumbnail(*page, kEdge, [&](uint32_t w, uint32_t h) {
            bitmap.assign(size_t(w) * h * 4, 0);
            return bitmap.data();
        });
    } catch (const Exception&) {
    }
    return 0;
}
