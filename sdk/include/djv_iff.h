// Reading the IFF container of DjVu files into a chunk tree (djv_chunk.h).
//
// A file is one top-level FORM, optionally preceded by the magic "AT&T". A single-page file is
// a FORM:DJVU; a multi-page document is a FORM:DJVM whose DIRM directory lists its components,
// either inside the same file (bundled) or as separate files named relative to the index file
// (indirect). Pages and shared components of a multi-page document, and the page of a
// single-page file, are read lazily: they become chunks that parse their bytes on first use,
// so opening a document and counting its pages reads only the directory.
//
// Hostile files: identifiers, lengths, counts, offsets and names are all checked; nesting of
// FORMs and inclusions is bounded (kMaxNesting) and inclusion cycles are refused. Every failure
// is an Exception (code 20 for broken data unless stated otherwise).
#pragma once

#include <cstdint>

#include "djv_chunk.h"
#include "vtx_exception.h"
#include "vtx_stream.h"

namespace Vantorix::DjVu {

// Asked whether reading may go on after an error inside a FORM. When it answers true, the
// reader keeps what it has read of that FORM and carries on with the rest of the file.
class IFFErrorRecoveryHandler {
public:
    virtual ~IFFErrorRecoveryHandler() = default;
    virtual bool onError(const Exception& error) = 0;
};

namespace IFF {

// Component kinds of a DIRM directory.
enum ComponentKind : uint8_t { kindShared = 0, kindPage = 1, kindThumbnails = 2 };

// FORMs and inclusions nested deeper than this are refused (real files use three levels).
constexpr uint32_t kMaxNesting = 32;

// One chunk header as stored.
struct ChunkHeader {
    uint64_t offset = 0;        // of the identifier (after the magic, when present)
    uint64_t payloadOffset = 0; // of the first payload byte (the form type of a FORM)
    uint32_t length = 0;        // payload bytes, without the pad byte
    bool magic = false;         // "AT&T" stood in front
    char id[5] = {};

    bool isForm() const { return id[0] == 'F' && id[1] == 'O' && id[2] == 'R' && id[3] == 'M'; }
    String getId() const { return String::fromUtf8(id, 4); }
    // Where the next chunk starts: after the payload and its pad byte.
    uint64_t getEnd() const { return payloadOffset + length + (length & 1); }
};

// Reads a header at the storage's position: an optional "AT&T", the identifier and the length.
// Throws 20 "Invalid IFF chunk ID; maybe a broken file?" for identifier bytes outside 0x20-0x7E;
// a storage that ends first throws its own end-of-data exception.
ChunkHeader readChunkHeader(Storage& storage);
// Reads the four-character form type that starts a FORM's payload.
String readFormType(Storage& storage);

// One component of a multi-page document, in directory order.
struct DIRMEntry {
    AutoPtr<Storage> storage; // the storage that holds it (null until known for indirect ones)
    uint64_t offset = 0;      // of its "FORM" header, bundled documents only
    uint32_t size = 0;        // bytes including the header
    uint8_t kind = 0;         // low three bits of the kind byte
    String id, name, title;   // an absent name or title is empty
};
using DIRMEntries = SimpleArray<DIRMEntry, 1>;

struct Directory {
    bool bundled = false;
    DIRMEntries entries;
};

// Reads a DIRM payload of `length` bytes starting at the storage's position. Throws 27
// "DIRM V0 is not supportted any more!" or "Unsupported DIRM version!" for other versions than
// 1, 20 for counts that do not fit the chunk and for names not terminated inside the
// directory; errors of the BZZ stream pass through.
Directory readDIRM(const AutoPtr<Storage>& storage, uint32_t length);

// A FORM:DJVU met while reading the file front to back.
struct FormRecord {
    uint64_t offset = 0; // of its "FORM" header
    uint64_t length = 0; // including the 8-byte header
    uint32_t kind = kindPage;
    AutoPtr<Chunk> chunk;
};
using FormRecords = SimpleArray<FormRecord, 1>;

// What kind of document the top-level FORM turned out to be.
struct Summary {
    bool hasDirectory = false; // a DIRM was read at the top level
    bool bundled = false;
};

// Reads the file at the storage's position and returns its top-level FORM chunk (owned by the
// caller). broker opens the components of indirect documents and included files (null: the
// default broker). records receives the DJVU forms read in file order; callback is called with
// every chunk read; recovery (optional) may let reading go on after errors; summary receives
// the document kind. Throws 20 "No chunk found!" or "The top level chunk is not a FORM chunk!".
AutoPtr<Chunk> deserialize_IFF(const AutoPtr<Storage>& storage, const AutoPtr<ResourceBroker>& broker = nullptr,
                               FormRecords* records = nullptr, ChunkCallback callback = nullptr,
                               void* context = nullptr, IFFErrorRecoveryHandler* recovery = nullptr,
                               Summary* summary = nullptr);

// The broker that opens names as files: plain paths and "file:" names; "http:"/"https:" fail
// with 26 "No HTTP manager!", other schemes with 7 "Unknown resource protocol!". It is the
// process's default broker (setDefaultResourceBrokerFactory) unless the program installs another.
AutoPtr<ResourceBroker> createFileResourceBroker();

} // namespace IFF
} // namespace Vantorix::DjVu
