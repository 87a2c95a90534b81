// The zone tree behind TextZone: each zone keeps the rectangle it was read or turned to; the
// root also keeps a copy of the page record, which says the orientation of the rectangles.
#pragma once
#include <optional>

#include "djv_text.h"

namespace _Vtx_Internal_NS_ {

class TextZoneImpl : public Vantorix::DjVu::TextZone {
public:
    TextZoneImpl(uint32_t type, const Vantorix::DjVu::ZoneRect& rect) : type_(type), rect_(rect) {}

    uint32_t getType() const override { return type_; }
    Vantorix::DjVu::ZoneRect getRect() const override;
    Vantorix::String getText() const override;
    const Vantorix::DjVu::TextZoneArray& getChildren() const override { return children_; }
    Vantorix::String getPageText() const override { return pageText_; }
    uint32_t getRotation() const override;
    void setRotation(uint32_t rotation) override;

    // The rectangle as stored in the zone itself, whatever its children say.
    const Vantorix::DjVu::ZoneRect& ownRect() const { return rect_; }
    void setOwnText(const Vantorix::String& text) { text_ = text; }
    void append(const Vantorix::AutoPtr<TextZoneImpl>& child) { children_.append(Vantorix::AutoPtr<TextZone>(child)); }
    // Makes this zone the root of a page's tree.
    void setPage(const Vantorix::String& text, const Vantorix::DjVu::PageInfo& info)
    {
        pageText_ = text;
        info_ = info;
    }

private:
    // Maps this zone and its descendants by k quarter turns on a page of wf x hf pixels (the
    // size in the orientation being left).
    void turn(uint32_t k, int32_t wf, int32_t hf);

    uint32_t type_;
    Vantorix::DjVu::ZoneRect rect_;
    Vantorix::String text_;
    Vantorix::DjVu::TextZoneArray children_;
    Vantorix::String pageText_;
    std::optional<Vantorix::DjVu::PageInfo> info_;
};

} // namespace _Vtx_Internal_NS_
