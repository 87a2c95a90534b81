// Reading a TXTa/TXTz payload: the page text, then the zones in pre-order, each placed
// relative to its previous sibling or its parent in bottom-up page coordinates.
#include <algorithm>
#include <string>

#include "djv_payload.h"
#include "text/djv_textzoneimpl.h"
#include "vtx_exception.h"

namespace _Vtx_Internal_NS_ {

using namespace Vantorix;
using namespace Vantorix::DjVu;

namespace {

// Real zone trees are a handful of levels deep; a deeper one is hostile and would exhaust
// the stack.
constexpr uint32_t kMaxZoneDepth = 64;

int32_t add(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) + uint32_t(b));
}

int32_t sub(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) - uint32_t(b));
}

bool stacksVertically(uint32_t type)
{
    return type == TextZone::page || type == TextZone::paragraph || type == TextZone::line;
}

int32_t readOffset(Stream& in)
{
    return int32_t(readBigEndian(in, 2)) - 0x8000;
}

class ZoneReader {
public:
    ZoneReader(Stream& in, const std::string& text, int32_t pageHeight) : in_(in), text_(text), h_(pageHeight) {}

    // Reads one zone and its descendants; returns the text position after the zone.
    int64_t read(AutoPtr<TextZoneImpl>& zone, const TextZoneImpl* parent,
                 const TextZoneImpl* previous, int64_t position, uint32_t depth);

private:
    String slice(int64_t start, uint32_t length) const;

    Stream& in_;
    const std::string& text_;
    int32_t h_;
};

String ZoneReader::slice(int64_t start, uint32_t length) const
{
    // Ranges past the text belong to damaged files: keep what lies inside.
    const int64_t size = int64_t(text_.size());
    int64_t from = std::clamp<int64_t>(start, 0, size);
    int64_t to = std::clamp<int64_t>(start + length, from, size);
    return String::fromUtf8(text_.data() + from, int32_t(to - from));
}

int64_t ZoneReader::read(AutoPtr<TextZoneImpl>& zone, const TextZoneImpl* parent,
                         const TextZoneImpl* previous, int64_t position, uint32_t depth)
{
    if (depth > kMaxZoneDepth)
        VTX_THROW(errDataBroken, "Text zones nest too deeply!", "_Vtx_Internal_NS_::ZoneReader::read");
    uint32_t type = readBigEndian(in_, 1);
    int32_t x = readOffset(in_), y = readOffset(in_);
    int32_t w = readOffset(in_), h = readOffset(in_);
    int32_t offset = readOffset(in_);
    uint32_t length = readBigEndian(in_, 3);
    uint32_t count = readBigEndian(in_, 3);
    if (previous) {
        const ZoneRect& p = previous->ownRect();
        int32_t bottom = sub(sub(h_, p.y), p.h);
        if (stacksVertically(type)) {
            x = add(x, p.x);
            y = sub(sub(bottom, h), y);
        } else {
            x = add(x, add(p.x, p.w));
            y = add(y, bottom);
        }
    } else if (parent) {
        const ZoneRect& p = parent->ownRect();
        x = add(x, p.x);
        y = sub(sub(sub(h_, p.y), h), y);
    }
    zone = makeAuto<TextZoneImpl>(type, ZoneRect{x, sub(sub(h_, h), y), w, h});
    const int64_t start = position + offset;
    if (count == 0) {
        zone->setOwnText(slice(start, length));
        return start + length;
    }
    int64_t at = start;
    const TextZoneImpl* before = nullptr;
    for (uint32_t i = 0; i < count; ++i) {
        AutoPtr<TextZoneImpl> child;
        at = read(child, zone.get(), before, at, depth + 1);
        zone->append(child);
        before = child.get();
    }
    return start + length;
}

} // namespace

} // namespace _Vtx_Internal_NS_

namespace Vantorix::DjVu {

using _Vtx_Internal_NS_::TextZoneImpl;

AutoPtr<TextZone> TextZone::decode(Chunk& chunk, const PageInfo& info)
{
    AutoPtr<Stream> in = _Vtx_Internal_NS_::openPayload(chunk, "TXTa", "TXTz", "The input is not TXT* chunk!",
                                                        "Vantorix::DjVu::TextZone::decode");
    const std::string text = _Vtx_Internal_NS_::readString(*in, _Vtx_Internal_NS_::readBigEndian(*in, 3), true);
    if (_Vtx_Internal_NS_::readBigEndian(*in, 1) != 1)
        VTX_THROW(errDataBroken, "Unknown TXT? chunk format!", "Vantorix::DjVu::TextZone::decode");
    AutoPtr<TextZoneImpl> root;
    _Vtx_Internal_NS_::ZoneReader(*in, text, int32_t(info.height)).read(root, nullptr, nullptr, 0, 0);
    // Read in the stored orientation; then turned as the page is displayed.
    PageInfo stored = info;
    stored.setRotation(0);
    root->setPage(String::fromUtf8(text.data(), int32_t(text.size())), stored);
    if (uint32_t rotation = info.getRotation()) root->setRotation(rotation);
    return AutoPtr<TextZone>(root);
}

} // namespace Vantorix::DjVu
