// The outline of a multi-page document (the NAVM chunk): a tree of bookmarks, each a title and
// a link, usually "#" and a page name. The root has an empty title and link.
#pragma once
#include <cstdint>
#include "vtx_memory.h"
#include "vtx_stream.h"
#include "vtx_string.h"

namespace Vantorix::DjVu {

class Bookmark;
using BookmarkArray = SimpleArray<AutoPtr<Bookmark>, 1>;

// One entry of the outline; it holds references to its children. Returned strings and arrays
// belong to the bookmark.
class Bookmark : public Referable {
public:
    virtual const String& getTitle() const = 0;
    virtual const String& getLink() const = 0;
    virtual const BookmarkArray& getChildren() const = 0;

    // A root without children (a document without outline).
    static AutoPtr<Bookmark> createRoot();
    // Reads the tree from the decompressed NAVM payload. A stream that ends inside a count or a
    // length throws its end-of-data error; a title or link cut short keeps the bytes there were.
    static AutoPtr<Bookmark> read(Stream& payload);
};

} // namespace Vantorix::DjVu
