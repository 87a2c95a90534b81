#include "djv_textzoneimpl.h"

#include <algorithm>

#include "vtx_exception.h"

namespace _Vtx_Internal_NS_ {

using namespace Vantorix;
using namespace Vantorix::DjVu;

ZoneRect TextZoneImpl::getRect() const
{
    if (children_.empty()) return rect_;
    // 64-bit edges: hostile rectangles may reach past the 32-bit range.
    int64_t x0 = INT64_MAX, y0 = INT64_MAX, x1 = INT64_MIN, y1 = INT64_MIN;
    for (const AutoPtr<TextZone>& child : children_) {
        ZoneRect r = child->getRect();
        x0 = std::min<int64_t>(x0, r.x);
        y0 = std::min<int64_t>(y0, r.y);
        x1 = std::max<int64_t>(x1, int64_t(r.x) + r.w);
        y1 = std::max<int64_t>(y1, int64_t(r.y) + r.h);
    }
    return ZoneRect{int32_t(x0), int32_t(y0), int32_t(x1 - x0), int32_t(y1 - y0)};
}

String TextZoneImpl::getText() const
{
    if (children_.empty()) return text_;
    String text;
    for (const AutoPtr<TextZone>& child : children_) text += child->getText();
    return text;
}

uint32_t TextZoneImpl::getRotation() const
{
    return info_ ? info_->getRotation() : 0;
}

void TextZoneImpl::setRotation(uint32_t rotation)
{
    const char* function = "_Vtx_Internal_NS_::TextZoneImpl::setRotation";
    if (rotation > 3 || !info_) VTX_THROW(errInvalidParam, "errInvalidParam", function);
    uint32_t from = getRotation();
    int32_t w = int32_t(info_->width), h = int32_t(info_->height);
    if (from & 1) std::swap(w, h);
    turn((rotation - from) & 3, w, h);
    info_->setRotation(rotation);
}

namespace {

// Wrapping arithmetic: rectangles of a damaged file may overflow, and that must stay defined.
int32_t sub(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) - uint32_t(b));
}

} // namespace

void TextZoneImpl::turn(uint32_t k, int32_t wf, int32_t hf)
{
    for (AutoPtr<TextZone>& child : children_) static_cast<TextZoneImpl&>(*child).turn(k, wf, hf);
    const ZoneRect r = rect_;
    switch (k) {
    case 1: rect_ = {r.y, sub(sub(wf, r.x), r.w), r.h, r.w}; break;
    case 2: rect_ = {sub(sub(wf, r.x), r.w), sub(sub(hf, r.y), r.h), r.w, r.h}; break;
    case 3: rect_ = {sub(sub(hf, r.y), r.h), r.x, r.h, r.w}; break;
    default: break;
    }
}

} // namespace _Vtx_Internal_NS_
