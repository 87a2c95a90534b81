#include "djv_dictmap.h"

namespace _Vtx_Internal_NS_ {

using namespace Vantorix;
using namespace Vantorix::DjVu;

AutoPtr<Dictionary> DictMap::obtain(const AutoPtr<Chunk>& chunk, DictionaryFactory factory)
{
    AutoLock hold(mutex_);
    auto it = entries_.find(chunk.get());
    if (it != entries_.end()) return it->second.dictionary;
    // Made under the lock: two pages must not decode the same dictionary twice.
    AutoPtr<Dictionary> dictionary = factory(chunk);
    entries_.emplace(chunk.get(), Entry{chunk, dictionary});
    return dictionary;
}

uint32_t DictMap::size()
{
    AutoLock hold(mutex_);
    return uint32_t(entries_.size());
}

} // namespace _Vtx_Internal_NS_
