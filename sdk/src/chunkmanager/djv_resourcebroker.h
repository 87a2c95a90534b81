// The broker of a multi-page document: resolves component identifiers and names through the
// DIRM directory, and keeps the shared components (DJVI) parsed so far, so that every page that
// includes one gets the same parsed chunk.
#pragma once

#include <map>

#include "djv_chunkimpls.h"
#include "djv_iff.h"
#include "vtx_syncobjs.h"

namespace Vantorix::DjVu {

class DjVuResourceBroker : public ResourceBroker {
public:
    // A broker over a directory. parent is the storage that holds the DIRM (the index file of
    // an indirect document); inner opens files by name (null: the default broker).
    DjVuResourceBroker(IFF::Directory&& directory, const AutoPtr<Storage>& parent, const AutoPtr<ResourceBroker>& inner);
    // A broker without directory: names resolve as files relative to the parent storage.
    DjVuResourceBroker(const AutoPtr<Storage>& parent, const AutoPtr<ResourceBroker>& inner);

    // A storage for the component with this identifier or name. Throws 12 "Unknown component!"
    // for a name a bundled document does not list.
    AutoPtr<Storage> load(const String& name) override;

    // Appends one late-binding chunk per component to parent, in directory order. depth is the
    // nesting at which the components will be read.
    void appendComponents(ChunkCollection& parent, uint32_t depth);

    const IFF::Directory& getDirectory() const { return dir_; }
    bool isBundled() const { return dir_.bundled; }

    // The table of parsed shared components; lookup answers null when absent.
    AutoPtr<Chunk> lookupShared(const String& id);
    void registerShared(const String& id, const AutoPtr<Chunk>& chunk);

    // name joined to the folder of the index file, unless it is absolute or has a scheme.
    String resolve(const String& name) const;

private:
    const IFF::DIRMEntry* findEntry(const String& name) const;

    IFF::Directory dir_;
    AutoPtr<Storage> parent_;
    AutoPtr<ResourceBroker> inner_;
    String base_;
    std::map<String, uint32_t> byId_, byName_;
    std::map<uint32_t, AutoPtr<Storage>> opened_;
    std::map<String, AutoPtr<Chunk>> shared_;
    Mutex mutex_;
};

} // namespace Vantorix::DjVu
