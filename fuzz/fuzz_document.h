// Documents opened from fuzz input alone: the components of indirect documents are never loaded.
#pragma once
#include <cstddef>
#include <cstdint>

#include "djv_document.h"
#include "vtx_exception.h"

class NoFiles final : public Vantorix::ResourceBroker {
public:
    Vantorix::AutoPtr<Vantorix::Storage> load(const Vantorix::String&) override
    {
        VTX_THROW(12, "no files while fuzzing", "NoFiles::load");
    }
};

inline Vantorix::AutoPtr<Vantorix::DjVu::Document> openFuzzDocument(const uint8_t* data, size_t size)
{
    return Vantorix::DjVu::Document::create(Vantorix::MemoryStorage::create(data, uint32_t(size)),
                                            Vantorix::makeAuto<NoFiles>());
}
