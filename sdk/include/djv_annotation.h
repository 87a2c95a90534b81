// Page annotations: the parenthesised lists of an ANTa (plain) or ANTz (compressed) chunk read
// into a tree of atoms and lists, and the display settings (alignment, background colour, mode,
// zoom) taken from it. Every list stays in the tree as parsed, so hyperlink areas and metadata
// can be read from it.
#pragma once
#include <cstdint>
#include <optional>
#include "djv_chunk.h"
#include "vtx_memory.h"
#include "vtx_string.h"

namespace Vantorix::DjVu {

namespace AnnoParse {

class ElementArray;

// One atom: its text and whether it was written in double quotes. Lists derive from it.
class Element : public ReferableNoTS {
public:
    virtual const String& getText() const = 0;
    virtual bool isQuoted() const = 0;
    // This element as a list, or null for an atom.
    virtual const ElementArray* asArray() const = 0;
};

using ElementList = SimpleArray<AutoPtr<Element>, 1>;

// One parenthesised list; its text is empty.
class ElementArray : public Element {
public:
    virtual const ElementList& getElements() const = 0;
    virtual ElementList& getElements() = 0;
    static AutoPtr<ElementArray> create();
    static AutoPtr<Element> createAtom(const String& text, bool quoted);
};

// Reads the list whose "(" is at text[start] (end: the size of text) into list and returns the
// position after its ")". Throws 20 with "The data does not start with '('!", "No matching ')'
// found!", "No matching \" found!" or "Malformed escape!".
uint32_t parseAnno(ElementArray& list, const char* text, uint32_t start, uint32_t end);

// Every top-level list of text, in order, appended to root; bytes outside lists are skipped.
void parse(ElementArray& root, const char* text, uint32_t size);

} // namespace AnnoParse

// The settings that the lists of a page may give. A setting that no list gives is empty.
struct DisplaySettings {
    enum Zoom : int32_t { zoomStretch = -4, zoomOne2One = -3, zoomWidth = -2, zoomPage = -1, zoomNone = 0 };
    std::optional<int32_t> alignHorizontal; // "none", "left", "center", "right"
    std::optional<int32_t> alignVertical;   // "none", "top", "center", "bottom"
    std::optional<int32_t> backgroundColor; // 0xRRGGBB
    std::optional<int32_t> mode;            // "none", "color", "bw", "fore", "back"
    std::optional<int32_t> zoom;            // a percentage, or one of Zoom
};

class Annotation : public Referable {
public:
    // The top-level lists of every chunk decoded so far, in order.
    virtual const AnnoParse::ElementArray& getElements() const = 0;
    virtual const DisplaySettings& getSettings() const = 0;
    // Appends the lists of an "ANTa" or "ANTz" chunk; a later list replaces a setting of an
    // earlier one. Throws 7 "Not a ANT* chunk!" for other chunks and the errors of parseAnno,
    // convertString and convertColor; a failure leaves the lists read before it.
    virtual void decode(Chunk& chunk) = 0;
    // The lists of text (as an ANTa payload holds them); throws as decode.
    virtual void decodeText(const char* text, uint32_t size) = 0;
    static AutoPtr<Annotation> create();

    // The index of text in table; throws 20 "Invalid Data \"text\"!" when it is not there.
    static int32_t convertString(const String& text, const char* const* table, uint32_t count);
    // "#RRGGBB" as 0xRRGGBB; throws 20 "Invalid Color \"text\"!" for anything else.
    static int32_t convertColor(const String& text);
    // A link to "#file://.../NAME" becomes "#NAME" (a local file named by its path); other links
    // stay as written.
    static String convertLink(const String& link);
};

} // namespace Vantorix::DjVu
