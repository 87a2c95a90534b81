// seeds: container/*.djvu
// seeds: container/*_indirect/*
// Opens a document from the input and reads every page: the record, then one visit of all
// its chunks. Anything but an Exception (crash, hang, leak, sanitizer report) is a finding.
#include <cstddef>
#include <cstdint>

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace Vantorix;
    using namespace Vantorix::DjVu;
    if (size > (1u << 22)) return 0;
    try {
        AutoPtr<ResourceBroker> broker = makeAuto<NoFiles>();
        AutoPtr<Document> doc = Document::create(MemoryStorage::create(data, uint32_t(size)), broker);
        for (auto& page : doc->getPages()) {
            try {
                page->getInfo();
                page->getWidth();
                page->visit(Photometric::BGR);
            } catch (const Exception&) {
                // A broken page does not stop the others.
            }
        }
    } catch (const Exception&) {
    }
    return 0;
}
