// A DjVu document: single-page files and bundled or indirect multi-page documents in one
// shape, a "DJVM" root whose page components are listed in document order.
//
// Opening reads only the file's structure (for a multi-page document its directory); each page
// parses its own chunk when first used, and errors inside a page surface only then.
#pragma once

#include <cstdint>

#include "djv_bookmark.h"
#include "djv_chunk.h"
#include "djv_iff.h"
#include "djv_page.h"
#include "vtx_memory.h"
#include "vtx_stream.h"

namespace Vantorix::DjVu {

using PageArray = SimpleArray<AutoPtr<Page>, 1>;

// The caller holds the document through the AutoPtr that create returns; the document holds
// its pages and chunk tree, so pages and chunks taken from it stay valid while it lives (or
// while the caller holds them).
class Document : public Referable {
public:
    enum class Kind { single, bundled, indirect };

    virtual const PageArray& getPages() const = 0;
    virtual PageArray& getPages() = 0;
    // The "DJVM" root; the document keeps the reference.
    virtual const Chunk* getRoot() const = 0;
    virtual Chunk* getRoot() = 0;
    // The outline from the document's NAVM chunk, read on first request and kept (a root
    // without children when there is none). Throws the errors of Bookmark::read and of BZZ.
    virtual AutoPtr<Bookmark> getBookmark() = 0;
    // Lists the pages again from the root's "DJVU" children (and forgets the outline).
    virtual void rebuildPages() = 0;
    virtual Kind getKind() const = 0;

    // Opens a document from a storage positioned at its first byte. broker opens included and
    // indirect components (null: the default broker); handler, when given, is asked whether
    // reading may go on after an error; recovery without a handler goes on after every error.
    // Throws 20 "Not a valid DjVu file!" for other files than DJVU and DJVM forms, and the
    // errors of the storage and of the reader.
    static AutoPtr<Document> create(const AutoPtr<Storage>& storage, const AutoPtr<ResourceBroker>& broker = nullptr,
                                    IFFErrorRecoveryHandler* handler = nullptr, bool recovery = false);
    // Opens a file name or "file:" location through broker (null: the default broker).
    static AutoPtr<Document> create(const String& location, const AutoPtr<ResourceBroker>& broker = nullptr,
                                    bool recovery = false);
    // A document over a tree the caller made: a "DJVM" collection, or a page ("DJVU").
    static AutoPtr<Document> create(const AutoPtr<Chunk>& root);
};

} // namespace Vantorix::DjVu
