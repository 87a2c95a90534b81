#include "djv_document_impl.h"

#include "chunkmanager/djv_latebindingchunk.h"
#include "djv_chunkimpls.h"
#include "djv_page_impl.h"

namespace _Vtx_Internal_NS_ {

using namespace Vantorix;
using namespace Vantorix::DjVu;

DocumentImpl::DocumentImpl(const AutoPtr<Chunk>& top, const IFF::FormRecords& records, Kind kind) : kind_(kind)
{
    init(top, records);
}

void DocumentImpl::init(const AutoPtr<Chunk>& top, const IFF::FormRecords& records)
{
    if (!top) VTX_THROW(errInvalidParam, "errInvalidParam", "_Vtx_Internal_NS_::DocumentImpl::init");
    String id = top->getId();
    if (id == "DJVM") {
        root_ = top;
        dictMap_ = makeAuto<DictMap>();
    } else if (id == "DJVU") {
        AutoPtr<ChunkCollection> root = ChunkCollection::create("DJVM");
        root->append(top);
        root_ = root;
    } else {
        VTX_THROW(errDataBroken, "Not a valid DjVu file!", "_Vtx_Internal_NS_::DocumentImpl::init");
    }
    if (records.getSize() == 0) {
        rebuildPages();
        return;
    }
    for (const IFF::FormRecord& record : records)
        if (record.kind == IFF::kindPage) pages_.append(AutoPtr<Page>(makeAuto<PageImpl>(record.chunk, dictMap_)));
}

namespace {

// Pages answer their id from the directory; other components are read to learn it. One whose
// file is missing (an indirect document without its files) is no page to list; the errors of
// reading one that is there reach the caller.
bool isPage(Chunk& chunk)
{
    auto* component = dynamic_cast<DjVuLateBindingChunk*>(&chunk);
    if (component && !component->canAnswerId()) return false;
    return chunk.getId() == "DJVU";
}

} // namespace

void DocumentImpl::rebuildPages()
{
    pages_.clear();
    navigation_ = nullptr;
    ChunkArray& children = root_->getChildren();
    for (uint32_t i = 0; i < children.getSize(); ++i)
        if (isPage(*children[i])) pages_.append(AutoPtr<Page>(makeAuto<PageImpl>(children[i], dictMap_)));
    attachThumbnails();
}

void DocumentImpl::attachThumbnails()
{
    // The TH44 images of all thumbnail components, in directory order, belong to the pages in
    // page order. A thumbnail file missing from an indirect document leaves its pages without.
    uint32_t next = 0;
    ChunkArray& children = root_->getChildren();
    for (uint32_t i = 0; i < children.getSize() && next < pages_.getSize(); ++i) {
        // A component is asked by its directory kind: reading others to learn their id is
        // the page list's business.
        auto* component = dynamic_cast<DjVuLateBindingChunk*>(children[i].get());
        const bool thumbnails = component ? component->getKind() == IFF::kindThumbnails && component->isAvailable()
                                          : children[i]->getId() == "THUM";
        if (!thumbnails) continue;
        ChunkArray& images = children[i]->getChildren();
        for (uint32_t j = 0; j < images.getSize() && next < pages_.getSize(); ++j)
            if (images[j]->getId() == "TH44") pages_[next++]->setThumbnailChunk(images[j]);
    }
}

namespace {

// The kind of a tree made elsewhere, from the chunks its directory made.
Document::Kind kindOfTree(Chunk& top)
{
    if (top.getId() != "DJVM") return Document::Kind::single;
    ChunkArray& children = top.getChildren();
    for (uint32_t i = 0; i < children.getSize(); ++i) {
        Chunk* child = children[i].get();
        if (dynamic_cast<DjVuLateBindingChunk2*>(child)) return Document::Kind::bundled;
        if (dynamic_cast<DjVuLateBindingChunk*>(child)) return Document::Kind::indirect;
    }
    return Document::Kind::bundled;
}

} // namespace

} // namespace _Vtx_Internal_NS_

namespace Vantorix::DjVu {

using _Vtx_Internal_NS_::DocumentImpl;

AutoPtr<Document> Document::create(const AutoPtr<Storage>& storage, const AutoPtr<ResourceBroker>& broker,
                                   IFFErrorRecoveryHandler* handler, bool recovery)
{
    _Vtx_Internal_NS_::RecoveryHandler goOn;
    if (recovery && !handler) handler = &goOn;
    IFF::FormRecords records;
    IFF::Summary summary;
    AutoPtr<Chunk> top = IFF::deserialize_IFF(storage, broker, &records, nullptr, nullptr, handler, &summary);
    Kind kind = Kind::single;
    if (summary.hasDirectory)
        kind = summary.bundled ? Kind::bundled : Kind::indirect;
    else if (top->getId() == "DJVM")
        kind = Kind::bundled;
    return makeAuto<DocumentImpl>(top, records, kind);
}

AutoPtr<Document> Document::create(const String& location, const AutoPtr<ResourceBroker>& broker, bool recovery)
{
    return create(openStorage(location, false, broker), broker, nullptr, recovery);
}

AutoPtr<Document> Document::create(const AutoPtr<Chunk>& root)
{
    if (!root) VTX_THROW(errInvalidParam, "errInvalidParam", "Vantorix::DjVu::Document::create");
    return makeAuto<DocumentImpl>(root, IFF::FormRecords(), _Vtx_Internal_NS_::kindOfTree(*root));
}

} // namespace Vantorix::DjVu
