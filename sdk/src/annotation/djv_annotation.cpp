// The annotation model: the lists of every chunk read so far and the display settings that
// they give.
#include "djv_annotation.h"

#include <string>

#include "djv_payload.h"
#include "vtx_exception.h"

namespace _Vtx_Internal_NS_ {

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::AnnoParse;

namespace {

constexpr const char* kAlignHorizontal[] = {"none", "left", "center", "right"};
constexpr const char* kAlignVertical[] = {"none", "top", "center", "bottom"};
constexpr const char* kModes[] = {"none", "color", "bw", "fore", "back"};
constexpr const char* kZooms[] = {"stretch", "one2one", "width", "page", "none"};

// Reading stops at the first short piece; both payload streams fill every read but the last.
constexpr uint32_t kPiece = 1u << 16;
// Far beyond any real page; keeps a hostile compressed chunk from filling memory.
constexpr size_t kMaxText = 64u << 20;

template <size_t N>
int32_t keyword(const Element& e, const char* const (&table)[N])
{
    return Annotation::convertString(e.getText(), table, N);
}

// "d150" is a percentage: the digits after the "d", up to the first other character.
int32_t percentage(const String& value)
{
    const char* s = value.getUtf8() + 1;
    int64_t n = 0;
    for (; *s >= '0' && *s <= '9' && n <= INT32_MAX; ++s) n = n * 10 + (*s - '0');
    return n > INT32_MAX ? INT32_MAX : int32_t(n);
}

void applyList(DisplaySettings& settings, const ElementArray& list)
{
    const ElementList& items = list.getElements();
    if (items.empty()) return;
    const String& key = items[0]->getText();
    const uint32_t count = items.getSize();
    if (key == "align" && count == 3) {
        settings.alignHorizontal = keyword(*items[1], kAlignHorizontal);
        settings.alignVertical = keyword(*items[2], kAlignVertical);
    } else if (key == "background" && count == 2) {
        settings.backgroundColor = Annotation::convertColor(items[1]->getText());
    } else if (key == "mode" && count == 2) {
        settings.mode = keyword(*items[1], kModes);
    } else if (key == "zoom" && count == 2) {
        const String& value = items[1]->getText();
        settings.zoom = value.startsWith("d") ? percentage(value) : keyword(*items[1], kZooms) - 4;
    }
}

class AnnotationImpl : public Annotation {
public:
    const ElementArray& getElements() const override { return *root_; }
    const DisplaySettings& getSettings() const override { return settings_; }
    void decode(Chunk& chunk) override;
    void decodeText(const char* text, uint32_t size) override;

private:
    AutoPtr<ElementArray> root_ = ElementArray::create();
    DisplaySettings settings_;
};

void AnnotationImpl::decode(Chunk& chunk)
{
    const char* function = "_Vtx_Internal_NS_::AnnotationImpl::decode";
    AutoPtr<Stream> in = openPayload(chunk, "ANTa", "ANTz", "Not a ANT* chunk!", function);
    std::string text;
    char piece[kPiece];
    for (;;) {
        uint32_t got = in->readBytes(piece, kPiece, false);
        text.append(piece, got);
        if (got < kPiece) break;
        if (text.size() > kMaxText) VTX_THROW(errLimitExceeded, "The annotation text is too long!", function);
    }
    decodeText(text.data(), uint32_t(text.size()));
}

void AnnotationImpl::decodeText(const char* text, uint32_t size)
{
    // Parsed aside, so that a failure keeps what earlier chunks gave.
    AutoPtr<ElementArray> lists = ElementArray::create();
    parse(*lists, text, size);
    DisplaySettings settings = settings_;
    for (const AutoPtr<Element>& list : lists->getElements()) applyList(settings, *list->asArray());
    for (const AutoPtr<Element>& list : lists->getElements()) root_->getElements().append(list);
    settings_ = settings;
}

} // namespace

} // namespace _Vtx_Internal_NS_

namespace Vantorix::DjVu {

AutoPtr<Annotation> Annotation::create()
{
    return makeAuto<_Vtx_Internal_NS_::AnnotationImpl>();
}

int32_t Annotation::convertString(const String& text, const char* const* table, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
        if (text == table[i]) return int32_t(i);
    VTX_THROW(errDataBroken, String::format("Invalid Data \"%s\"!", text.getUtf8()),
              "_Vtx_Internal_NS_::convertString");
}

int32_t Annotation::convertColor(const String& text)
{
    const char* s = text.getUtf8();
    bool valid = text.getLength() == 7 && s[0] == '#';
    int32_t value = 0;
    for (uint32_t i = 1; valid && i < 7; ++i) {
        const char c = s[i];
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        valid = digit >= 0;
        value = value << 4 | digit;
    }
    if (!valid)
        VTX_THROW(errDataBroken, String::format("Invalid Color \"%s\"!", text.getUtf8()),
                  "_Vtx_Internal_NS_::convertColor");
    return value;
}

String Annotation::convertLink(const String& link)
{
    if (!link.startsWith("#file://")) return link;
    std::string s = link.toStdString();
    return String("#" + s.substr(s.rfind('/') + 1));
}

} // namespace Vantorix::DjVu
