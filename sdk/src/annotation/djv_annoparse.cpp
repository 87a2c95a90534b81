// The list syntax of annotations: atoms separated by whitespace, double-quoted atoms with
// backslash escapes, and nested lists.
#include "djv_annotation.h"
#include "vtx_exception.h"

namespace _Vtx_Internal_NS_ {

using namespace Vantorix;
using namespace Vantorix::DjVu::AnnoParse;

class ElementImpl : public Element {
public:
    ElementImpl(const String& text, bool quoted) : text_(text), quoted_(quoted) {}
    const String& getText() const override { return text_; }
    bool isQuoted() const override { return quoted_; }
    const ElementArray* asArray() const override { return nullptr; }

private:
    String text_;
    bool quoted_;
};

class ElementArrayImpl : public ElementArray {
public:
    const String& getText() const override { return empty_; }
    bool isQuoted() const override { return false; }
    const ElementArray* asArray() const override { return this; }
    const ElementList& getElements() const override { return elements_; }
    ElementList& getElements() override { return elements_; }

private:
    String empty_;
    ElementList elements_;
};

namespace {

constexpr const char* kParseName = "_Vtx_Internal_NS_::parseAnno";

// Real annotations nest two or three lists deep; far deeper input is hostile and would
// exhaust the stack.
constexpr uint32_t kMaxListDepth = 256;

// The length of the UTF-8 character that starts with lead (1 for stray bytes).
uint32_t charLength(uint8_t lead)
{
    if (lead >= 0xF0 && lead < 0xF8) return 4;
    if (lead >= 0xE0 && lead < 0xF0) return 3;
    if (lead >= 0xC0 && lead < 0xE0) return 2;
    return 1;
}

uint32_t codePoint(const uint8_t* c, uint32_t n)
{
    static const uint8_t kLeadMask[5] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    uint32_t cp = c[0] & kLeadMask[n];
    for (uint32_t i = 1; i < n; ++i) cp = cp << 6 | (c[i] & 0x3F);
    return cp;
}

bool isWhitespace(uint32_t cp)
{
    return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0xA0 || (cp >= 0x2000 && cp <= 0x200B) ||
           cp == 0x3000;
}

// The text between two quotes with each backslash-quote pair turned into a quote.
String unescape(const char* text, uint32_t from, uint32_t to)
{
    std::string out;
    out.reserve(to - from);
    for (uint32_t i = from; i < to; ++i) {
        if (text[i] == '\\' && i + 1 < to && text[i + 1] == '"') ++i;
        out += text[i];
    }
    return String(out);
}

enum class State { normal, quoted, escaped };

void appendAtom(ElementArray& list, const String& text, bool quoted)
{
    list.getElements().append(ElementArray::createAtom(text, quoted));
}

uint32_t parseList(ElementArray& list, const char* text, uint32_t start, uint32_t end, uint32_t depth)
{
    if (start >= end || text[start] != '(') VTX_THROW(errDataBroken, "The data does not start with '('!", kParseName);
    if (start + 1 >= end) VTX_THROW(errDataBroken, "No matching ')' found!", kParseName);
    if (depth > kMaxListDepth) VTX_THROW(errDataBroken, "Annotation lists nest too deeply!", kParseName);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text);
    State state = State::normal;
    int64_t atom = -1;
    uint32_t at = start + 1;
    while (at < end) {
        uint32_t n = charLength(bytes[at]);
        if (n > end - at) VTX_THROW(errDataBroken, "No matching \" found!", kParseName);
        const uint32_t next = at + n;
        const char c = n == 1 ? text[at] : '\0';
        if (state == State::escaped) {
            state = State::quoted;
        } else if (state == State::quoted) {
            if (c == '\\') {
                state = State::escaped;
            } else if (c == '"') {
                appendAtom(list, unescape(text, uint32_t(atom), at), true);
                atom = -1;
                state = State::normal;
            }
        } else if (c == '"' && atom < 0) {
            state = State::quoted;
            atom = next;
        } else if (c == '(') {
            // A pending atom ends where a nested list begins.
            if (atom >= 0) appendAtom(list, String::fromUtf8(text + atom, int32_t(at - atom)), false);
            atom = -1;
            AutoPtr<ElementArray> nested = ElementArray::create();
            uint32_t after = parseList(*nested, text, at, end, depth + 1);
            list.getElements().append(AutoPtr<Element>(nested));
            at = after;
            continue;
        } else if (c == ')') {
            if (atom >= 0) appendAtom(list, String::fromUtf8(text + atom, int32_t(at - atom)), false);
            return next;
        } else if (isWhitespace(codePoint(bytes + at, n))) {
            if (atom >= 0) appendAtom(list, String::fromUtf8(text + atom, int32_t(at - atom)), false);
            atom = -1;
        } else if (atom < 0) {
            atom = at;
        }
        at = next;
    }
    if (state == State::escaped) VTX_THROW(errDataBroken, "Malformed escape!", kParseName);
    if (state == State::quoted) VTX_THROW(errDataBroken, "No matching \" found!", kParseName);
    VTX_THROW(errDataBroken, "No matching ')' found!", kParseName);
}

} // namespace

} // namespace _Vtx_Internal_NS_

namespace Vantorix::DjVu::AnnoParse {

AutoPtr<ElementArray> ElementArray::create()
{
    return makeAuto<_Vtx_Internal_NS_::ElementArrayImpl>();
}

AutoPtr<Element> ElementArray::createAtom(const String& text, bool quoted)
{
    return makeAuto<_Vtx_Internal_NS_::ElementImpl>(text, quoted);
}

uint32_t parseAnno(ElementArray& list, const char* text, uint32_t start, uint32_t end)
{
    return _Vtx_Internal_NS_::parseList(list, text, start, end, 0);
}

void parse(ElementArray& root, const char* text, uint32_t size)
{
    uint32_t at = 0;
    while (at < size) {
        if (text[at] != '(') {
            ++at;
            continue;
        }
        AutoPtr<ElementArray> list = ElementArray::create();
        at = parseAnno(*list, text, at, size);
        root.getElements().append(AutoPtr<Element>(list));
    }
}

} // namespace Vantorix::DjVu::AnnoParse
