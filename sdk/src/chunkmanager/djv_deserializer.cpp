#include "chunkmanager/djv_deserializer.h"

#include "chunkmanager/djv_latebindingchunk.h"
#include "chunkmanager/djv_resourcebroker.h"

namespace Vantorix::DjVu::IFF {
namespace {

// A leaf cut short by the end of its file keeps its declared length, but a length that
// overshoots the file by more than this is taken for what it is: broken data.
constexpr uint64_t kMaxMissingTail = 16u << 20;
// Identifiers of included components are short file names.
constexpr uint32_t kMaxIncludeName = 4096;

void notify(ParseContext& ctx, Chunk* chunk)
{
    if (ctx.callback) ctx.callback(ctx.context, chunk);
}

void checkDepth(uint32_t depth, const char* function)
{
    if (depth > kMaxNesting) VTX_THROW(errDataBroken, "IFF chunks are nested too deeply!", function);
}

// The payload of a leaf: as many of its bytes as the storage still has.
AutoPtr<MemoryData> readPayload(Storage& storage, uint32_t length, const char* function)
{
    uint64_t size = storage.getSize(), pos = storage.getPos();
    uint64_t available = size > pos ? size - pos : 0;
    if (length > available && length - available > kMaxMissingTail)
        VTX_THROW(errDataBroken, "The chunk extends far beyond the end of the file!", function);
    AutoPtr<MemoryData> data = MemoryData::create(length);
    if (length) data->setPresentLength(storage.readBytes(data->getArray().data(), length, false));
    return data;
}

void processNonFormChunk(ChunkCollection* parent, ParseContext& ctx, const ChunkHeader& h, bool directorySeen)
{
    const char* function = "Vantorix::DjVu::IFF::processNonFormChunk";
    if (!parent) VTX_THROW(errInvalidParam, "ioCollection cannot be NULL!", function);
    AutoPtr<Chunk> chunk = ChunkImpl::create(h.getId(), readPayload(*ctx.storage, h.length, function));
    // Chunks after the directory (NAVM) stand in front of the components.
    if (directorySeen)
        parent->getChildren().insert(0, chunk);
    else
        parent->append(chunk);
    notify(ctx, chunk.get());
}

// The broker that resolves inclusions: the document's own, or the given one wrapped.
AutoPtr<DjVuResourceBroker> documentBroker(ParseContext& ctx)
{
    if (auto* own = dynamic_cast<DjVuResourceBroker*>(ctx.broker.get())) return own;
    AutoPtr<DjVuResourceBroker> wrapped = makeAuto<DjVuResourceBroker>(ctx.storage, ctx.broker);
    ctx.broker = wrapped;
    return wrapped;
}

void process_INCL(ChunkCollection* parent, ParseContext& ctx, const ChunkHeader& h, uint32_t depth)
{
    const char* function = "Vantorix::DjVu::IFF::process_INCL";
    if (h.length > kMaxIncludeName) VTX_THROW(errDataBroken, "INCL names an impossibly long identifier!", function);
    std::string raw(h.length, '\0');
    ctx.storage->readBytes(raw.data(), h.length, true);
    String id(raw);

    AutoPtr<DjVuResourceBroker> broker = documentBroker(ctx);
    AutoPtr<Chunk> shared = broker->lookupShared(id);
    if (!shared) {
        for (const IncludeFrame* f = ctx.including; f; f = f->outer)
            if (f->id == id) VTX_THROW(errDataBroken, "INCL chunks include each other in a cycle!", function);
        checkDepth(depth + 1, function);
        IncludeFrame frame{ctx.including, id};
        ParseContext inner;
        inner.storage = broker->load(id);
        inner.broker = broker;
        inner.recovery = ctx.recovery;
        inner.including = &frame;
        AutoPtr<Chunk> djvi;
        {
            AutoLock hold(*inner.storage);
            inner.storage->setPos(0);
            djvi = parseOneChunk(inner, depth + 1);
        }
        if (!djvi || djvi->getId() != "DJVI") VTX_THROW(errDataBroken, "No corresponding DJVI chunk!", function);
        if (!djvi->isCollection() || djvi->getChildren().getSize() == 0)
            VTX_THROW(errDataBroken, "DJVI does not have any child chunks!", function);
        if (djvi->getChildren().getSize() != 1) VTX_THROW(errDataBroken, "DJVI have multiple child chunks!", function);
        shared = djvi->getChildren()[0];
        broker->registerShared(id, shared);
    }
    parent->append(shared);
    notify(ctx, shared.get());
}

// Reads one chunk whose header h has been read; returns false when this level must stop.
// topLevel: the one chunk of a file, which must be a FORM (nothing else is read then).
bool readChunk(ChunkCollection* parent, ParseContext& ctx, const ChunkHeader& h, bool& directorySeen, uint32_t depth,
               bool topLevel)
{
    const char* function = "Vantorix::DjVu::IFF::recurseChunks";
    if (topLevel && !h.isForm())
        VTX_THROW(errDataBroken, "The top level chunk is not a FORM chunk!", "Vantorix::DjVu::IFF::deserialize_IFF");
    String id = h.getId();
    if (h.isForm()) {
        if (directorySeen) return false;
        if (h.length < 4) VTX_THROW(errDataBroken, "A FORM chunk is too short for its type!", function);
        String type = readFormType(*ctx.storage);
        checkDepth(depth + 1, function);
        AutoPtr<Chunk> form;
        if (h.magic && type == "DJVU") {
            form = makeAuto<DjVuLateBindingChunk>(kindPage, String(), ctx.storage, h.offset, ctx.broker, depth);
        } else {
            AutoPtr<ChunkCollection> collection = ChunkCollection::create(type);
            // A FORM too short to hold one header is empty (a length of 0 would mean "one chunk").
            if (h.length - 4 >= 8) recurseChunks(collection.get(), ctx, h.length - 4, depth + 1);
            form = collection;
        }
        if (ctx.records && type == "DJVU") {
            FormRecord record;
            record.offset = h.offset;
            record.length = uint64_t(h.length) + 8;
            record.chunk = form;
            ctx.records->append(record);
        }
        parent->append(form);
        notify(ctx, form.get());
    } else if (id == "DIRM") {
        Directory dir = readDIRM(ctx.storage, h.length);
        if (ctx.summary && depth == 1 && !ctx.summary->hasDirectory) {
            ctx.summary->hasDirectory = true;
            ctx.summary->bundled = dir.bundled;
        }
        AutoPtr<DjVuResourceBroker> broker = makeAuto<DjVuResourceBroker>(std::move(dir), ctx.storage, ctx.broker);
        broker->appendComponents(*parent, depth);
        directorySeen = true;
    } else if (id == "INCL") {
        if (directorySeen) return false;
        process_INCL(parent, ctx, h, depth);
    } else {
        processNonFormChunk(parent, ctx, h, directorySeen);
    }
    return true;
}

} // namespace

void recurseChunks(ChunkCollection* parent, ParseContext& ctx, uint32_t parentLength, uint32_t depth)
{
    Storage& storage = *ctx.storage;
    uint64_t start = storage.getPos();
    bool directorySeen = false;
    for (;;) {
        try {
            ChunkHeader h = readChunkHeader(storage);
            if (!readChunk(parent, ctx, h, directorySeen, depth, parentLength == 0)) return;
            if (parentLength == 0) return;
            uint64_t end = h.getEnd();
            storage.setPos(end);
            if (end - start + 8 > parentLength) return;
        } catch (const Exception& e) {
            // Recovery keeps what this FORM has so far; the top level has nothing to keep.
            if (parentLength == 0 || !ctx.recovery || !ctx.recovery->onError(e)) throw;
            return;
        }
    }
}

AutoPtr<Chunk> parseOneChunk(ParseContext& ctx, uint32_t depth)
{
    AutoPtr<ChunkCollection> root = ChunkCollection::create("R00T");
    recurseChunks(root.get(), ctx, 0, depth);
    ChunkArray& children = root->getChildren();
    if (children.getSize() == 0) VTX_THROW(errDataBroken, "No chunk found!", "Vantorix::DjVu::IFF::deserialize_IFF");
    return children[0];
}

AutoPtr<Chunk> deserialize_IFF(const AutoPtr<Storage>& storage, const AutoPtr<ResourceBroker>& broker,
                               FormRecords* records, ChunkCallback callback, void* context,
                               IFFErrorRecoveryHandler* recovery, Summary* summary)
{
    if (!storage) VTX_THROW(errInvalidParam, "errInvalidParam", "Vantorix::DjVu::IFF::deserialize_IFF");
    ParseContext ctx;
    ctx.storage = storage;
    ctx.broker = broker ? broker : defaultResourceBroker();
    ctx.records = records;
    ctx.callback = callback;
    ctx.context = context;
    ctx.recovery = recovery;
    ctx.summary = summary;
    return parseOneChunk(ctx, 0);
}

} // namespace Vantorix::DjVu::IFF
