// The page's render: the outer part turns the picture by the page's rotation, the compose step
// lays the layers on top of one another.
#include <optional>

#include "djv_imageutils.h"
#include "djv_page_impl.h"
#include "djv_scaling.h"
#include "vtx_exception.h"

namespace _Vtx_Internal_NS_ {

using namespace Vantorix;
using namespace Vantorix::DjVu;

namespace {

// The wanted part of the displayed picture (W x H), mapped into the unrotated one.
Rect unrotatedRect(const Rect& r, uint32_t rotation, uint32_t W, uint32_t H)
{
    switch (rotation) {
    case 1: return {H - r.y - r.h, r.x, r.h, r.w};
    case 2: return {W - r.x - r.w, H - r.y - r.h, r.w, r.h};
    case 3: return {r.y, W - r.x - r.w, r.h, r.w};
    default: return r;
    }
}

} // namespace

void PageImpl::render(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect, uint32_t width,
                      uint32_t height, uint32_t layers, uint32_t flags)
{
    if ((flags & renderLoadedOnly) && !hasInfo()) return;
    render(dst, dstStride, photometric, rect, width, height, layers, getRotation(), flags);
}

void PageImpl::render(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect, uint32_t width,
                      uint32_t height, uint32_t layers, uint32_t rotation, uint32_t flags)
{
    if (rotation > 3) VTX_THROW(7, "errInvalidParam", "_Vtx_Internal_NS_::PageImpl::render");
    if ((flags & renderLoadedOnly) && !hasInfo()) return;
    const bool loadedOnly = (flags & renderLoadedOnly) != 0;
    std::optional<AutoLock> hold;
    if (!loadedOnly) {
        hold.emplace(*chunk_);
        visit(photometric);
    }
    if (width == 0) width = getWidth();
    if (height == 0) height = getHeight();
    if (rect.x > width || rect.w > width - rect.x || rect.y > height || rect.h > height - rect.y)
        VTX_THROW(7, "errInvalidParam", "_Vtx_Internal_NS_::PageImpl::render");
    if (rect.w == 0 || rect.h == 0) return;
    if (rotation == 0) {
        compose(dst, dstStride, photometric, rect, width, height, layers, flags);
    } else if (rotation == 2) {
        // Composed upside down, then each row mirrored: a half turn without a copy.
        uint8_t* last = dst + int64_t(rect.h - 1) * dstStride;
        compose(last, -dstStride, photometric, unrotatedRect(rect, 2, width, height), width, height, layers, flags);
        Imaging::horzMirror(dst, dstStride, photometric, rect.w, rect.h);
    } else {
        Rect r = unrotatedRect(rect, rotation, width, height);
        ImageUtils::SimpleImage turned(r.w, r.h, photometric);
        compose(turned.getPixels(), int32_t(turned.getStride()), photometric, r, height, width, layers, flags);
        Imaging::rotate90(dst, dstStride, turned.getPixels(), int32_t(turned.getStride()), r.w, r.h, photometric,
                          rotation == 1);
    }
}

bool PageImpl::prepareForeground(Photometric photometric)
{
    AutoPtr<Renderer> fg = slot(LayerKind::Foreground);
    if (!fg || fg->getWidth() == 0 || fg->getHeight() == 0) return false;
    if (foreground_ && foreground_->getPhotometric() == photometric) return true;
    uint32_t w = fg->getWidth(), h = fg->getHeight();
    AutoPtr<ImageUtils::SimpleImage> image(new ImageUtils::SimpleImage(w, h, photometric));
    fg->render(image->getPixels(), int32_t(image->getStride()), photometric, Rect{0, 0, w, h}, w, h, nullptr, 0, 0, 0,
               0);
    foreground_ = image;
    return true;
}

void PageImpl::compose(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect, uint32_t width,
                       uint32_t height, uint32_t layers, uint32_t flags)
{
    AutoPtr<Renderer> background = slot(LayerKind::Background);
    AutoPtr<Renderer> mask = slot(LayerKind::Mask);
    if ((layers & layerBackground) && background)
        background->render(dst, dstStride, photometric, rect, width, height, nullptr, 0, 0, 0, flags);
    else
        Imaging::fillWhite(dst, dstStride, rect.w, rect.h, photometric);

    if (layers & layerMask) {
        if (!prepareForeground(photometric)) {
            if (mask) mask->render(dst, dstStride, photometric, rect, width, height, nullptr, 0, 0, 0, flags);
        } else if (mask && (layers & layerForeground)) {
            mask->render(dst, dstStride, photometric, rect, width, height, foreground_->getPixels(),
                         int32_t(foreground_->getStride()), foreground_->getWidth(), foreground_->getHeight(), flags);
        } else {
            Imaging::resample(dst, dstStride, rect, width, height, foreground_->getPixels(),
                              int32_t(foreground_->getStride()), foreground_->getWidth(), foreground_->getHeight(),
                              photometric, flags);
        }
    } else if ((layers & layerForeground) && mask) {
        mask->render(dst, dstStride, photometric, rect, width, height, nullptr, 0, 0, 0, flags);
    }
    lastPhotometric_ = int32_t(photometric);
}

} // namespace _Vtx_Internal_NS_
