// The document-wide table of shared dictionaries: pages of a multi-page document that include
// the same Djbz component meet one and the same chunk object, and get one Dictionary for it.
#pragma once

#include <map>

#include "djv_chunk.h"
#include "djv_renderer.h"
#include "vtx_syncobjs.h"

namespace _Vtx_Internal_NS_ {

class DictMap : public Vantorix::Referable {
public:
    // The dictionary made from this chunk, made now with factory if no page made it before.
    // Safe to call from several pages at once; the factory's exceptions pass through and leave
    // no entry behind.
    Vantorix::AutoPtr<Vantorix::DjVu::Dictionary> obtain(const Vantorix::AutoPtr<Vantorix::DjVu::Chunk>& chunk,
                                                         Vantorix::DjVu::DictionaryFactory factory);
    uint32_t size();

private:
    struct Entry {
        Vantorix::AutoPtr<Vantorix::DjVu::Chunk> chunk; // keeps the key alive
        Vantorix::AutoPtr<Vantorix::DjVu::Dictionary> dictionary;
    };
    std::map<const Vantorix::DjVu::Chunk*, Entry> entries_;
    Vantorix::Mutex mutex_;
};

} // namespace _Vtx_Internal_NS_
