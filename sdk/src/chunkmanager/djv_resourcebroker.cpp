#include "chunkmanager/djv_resourcebroker.h"

#include "chunkmanager/djv_deserializer.h"
#include "chunkmanager/djv_latebindingchunk.h"

namespace Vantorix::DjVu {
namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// "C:\x", "/x", "\\server\x" and "scheme:..." are not relative to anything.
bool isAbsolute(const String& name)
{
    const char* s = name.getUtf8();
    uint32_t n = name.getLength();
    if (n == 0) return false;
    if (isSeparator(s[0])) return true;
    for (uint32_t i = 0; i < n; ++i) {
        if (s[i] == ':') return i >= 1;
        if (isSeparator(s[i])) return false;
    }
    return false;
}

// The folder part of a storage's name, separator included; empty when it has none.
String folderOf(const String& path)
{
    const char* s = path.getUtf8();
    for (uint32_t i = path.getLength(); i > 0; --i)
        if (isSeparator(s[i - 1])) return path.substring(0, i);
    return String();
}

AutoPtr<ResourceBroker> orDefault(const AutoPtr<ResourceBroker>& inner)
{
    return inner ? inner : IFF::defaultResourceBroker();
}

} // namespace

DjVuResourceBroker::DjVuResourceBroker(IFF::Directory&& directory, const AutoPtr<Storage>& parent,
                                       const AutoPtr<ResourceBroker>& inner)
    : dir_(std::move(directory)), parent_(parent), inner_(orDefault(inner))
{
    // Only an indirect document names files; a bundled one holds its components itself.
    if (!dir_.bundled) base_ = folderOf(parent_->getName());
    for (uint32_t i = 0; i < dir_.entries.getSize(); ++i) {
        const IFF::DIRMEntry& e = dir_.entries[i];
        byId_.emplace(e.id, i);
        if (!e.name.isEmpty()) byName_.emplace(e.name, i);
    }
}

DjVuResourceBroker::DjVuResourceBroker(const AutoPtr<Storage>& parent, const AutoPtr<ResourceBroker>& inner)
    : parent_(parent), inner_(orDefault(inner)), base_(folderOf(parent->getName()))
{
}

String DjVuResourceBroker::resolve(const String& name) const
{
    return isAbsolute(name) ? name : base_ + name;
}

const IFF::DIRMEntry* DjVuResourceBroker::findEntry(const String& name) const
{
    auto it = byId_.find(name);
    if (it != byId_.end()) return &dir_.entries[it->second];
    it = byName_.find(name);
    return it == byName_.end() ? nullptr : &dir_.entries[it->second];
}

AutoPtr<Storage> DjVuResourceBroker::load(const String& name)
{
    AutoLock hold(mutex_);
    const IFF::DIRMEntry* e = findEntry(name);
    if (!e) {
        if (dir_.bundled) VTX_THROW(errNotFound, "Unknown component!", "Vantorix::DjVu::DjVuResourceBroker::load");
        return inner_->load(resolve(name));
    }
    uint32_t index = uint32_t(e - dir_.entries.data());
    auto it = opened_.find(index);
    if (it != opened_.end()) return it->second;
    AutoPtr<Storage> storage;
    if (dir_.bundled)
        storage = PartialStorage::create(parent_, e->offset, e->size);
    else
        storage = createLateBindingStorage(resolve(e->name.isEmpty() ? e->id : e->name), inner_);
    opened_.emplace(index, storage);
    return storage;
}

void DjVuResourceBroker::appendComponents(ChunkCollection& parent, uint32_t depth)
{
    AutoPtr<ResourceBroker> self(this);
    for (uint32_t i = 0; i < dir_.entries.getSize(); ++i) {
        const IFF::DIRMEntry& e = dir_.entries[i];
        AutoPtr<Chunk> chunk;
        if (dir_.bundled)
            chunk = makeAuto<DjVuLateBindingChunk2>(e.kind, e.id, parent_, e.offset, self, depth);
        else
            chunk = makeAuto<DjVuLateBindingChunk>(e.kind, e.id, load(e.id), 0, self, depth);
        parent.append(chunk);
    }
}

AutoPtr<Chunk> DjVuResourceBroker::lookupShared(const String& id)
{
    AutoLock hold(mutex_);
    auto it = shared_.find(id);
    return it == shared_.end() ? nullptr : it->second;
}

void DjVuResourceBroker::registerShared(const String& id, const AutoPtr<Chunk>& chunk)
{
    AutoLock hold(mutex_);
    shared_.emplace(id, chunk);
}

} // namespace Vantorix::DjVu
