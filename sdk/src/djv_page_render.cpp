// The page's render: the outer part turns the picture by the page's rotation, the compose step
// lays the layers on top of one another.
#include <optional>

#include "djv_imageutils.h"
#include "djv_iw44.h"
#include "djv_page_impl.h"
#include "djv_scaling.h"
#include "vtx_exception.h"

namespace _Vtx_Internal_NS_ {

using namespace Vantorix;
using namespace Vantorix::DjVu;

void PageImpl::render(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect, uint32_t width,
                      uint32_t height, uint32_t layers, uint32_t flags)
{
    if ((flags & renderLoadedOnly) && !hasInfo()) return;
    render(dst, dstStride, photometric, rect, width, height, layers, getRotation(), flags);
}

void PageImpl::render(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect, uint32_t width,
                      uint32_t height, uint32_t layers, uint32_t rotation, uint32_t flags)
{
    const char* fn = "_Vtx_Internal_NS_::PageImpl::render";
    if (rotation > 3) VTX_THROW(errInvalidParam, "errInvalidParam", fn);
    drawPage(dst, dstStride, photometric, rect, width, height, rotation, flags, fn,
             [&](uint8_t* upright, int32_t uprightStride, const Rect& part, uint32_t w, uint32_t h) {
                 compose(upright, uprightStride, photometric, part, w, h, layers, flags);
             });
}

void PageImpl::renderBlackMask(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect,
                               uint32_t width, uint32_t height, uint32_t flags)
{
    const char* fn = "_Vtx_Internal_NS_::PageImpl::renderBlackMask";
    // A one-pixel foreground image in black colours every set pixel black: the mask's own
    // colours (a palette) are not used, and the page's colour layers are not drawn.
    static const uint8_t kBlack[3] = {0, 0, 0}, kBlackYCbCr[3] = {0, 0x80, 0x80};
    if (uint32_t(photometric) > uint32_t(Photometric::YCbCr))
        VTX_THROW(errInvalidParam, "Unknown photometric!", fn);
    if ((flags & renderLoadedOnly) && !hasInfo()) return;
    const uint8_t* black = photometric == Photometric::YCbCr ? kBlackYCbCr : kBlack;
    drawPage(dst, dstStride, photometric, rect, width, height, getRotation(), flags, fn,
             [&](uint8_t* upright, int32_t uprightStride, const Rect& part, uint32_t w, uint32_t h) {
                 Imaging::fillWhite(upright, uprightStride, part.w, part.h, photometric);
                 AutoPtr<Renderer> mask = slot(LayerKind::Mask);
                 if (mask) mask->render(upright, uprightStride, photometric, part, w, h, black, 3, 1, 1, flags);
                 lastPhotometric_ = int32_t(photometric);
             });
}

void PageImpl::drawPage(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect, uint32_t width,
                        uint32_t height, uint32_t rotation, uint32_t flags, const char* function,
                        const UprightDraw& drawUpright)
{
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
        VTX_THROW(errInvalidParam, "errInvalidParam", function);
    // Quarter turns draw the unturned picture, whose size is the shown one exchanged.
    const bool quarter = rotation & 1;
    const uint32_t uprightW = quarter ? height : width, uprightH = quarter ? width : height;
    const auto draw = [&] {
        Imaging::drawTurned(dst, dstStride, photometric, rect, width, height, rotation,
                            [&](uint8_t* upright, int32_t uprightStride, const Rect& part) {
                                drawUpright(upright, uprightStride, part, uprightW, uprightH);
                            });
    };
    if (loadedOnly) return draw();
    try {
        draw();
    } catch (...) {
        // Layers decode the last of their data as they are drawn: after a failed draw the next
        // one builds them again from the chunks rather than drawing half-decoded ones.
        dropLayers();
        visited_ = false;
        throw;
    }
}

AutoPtr<ImageUtils::SimpleImage> PageImpl::prepareForeground(Photometric photometric, uint32_t width, uint32_t height)
{
    AutoPtr<Renderer> fg = slot(LayerKind::Foreground);
    if (!fg || fg->getWidth() == 0 || fg->getHeight() == 0) return nullptr;
    const uint32_t w = fg->getWidth(), h = fg->getHeight();
    // A foreground that could never be drawn at its own size is refused, even for a reduced
    // picture, as the reference decoder does.
    if (uint64_t(w) * h * ImageUtils::SimpleImage::getBpp(photometric) >= (uint64_t(1) << 31))
        VTX_THROW(errLimitExceeded, "The foreground image exceeds 2GB at its own size",
                  "_Vtx_Internal_NS_::PageImpl::prepareForeground");
    // The foreground covers the whole page: it needs no more pixels than the output has, so an
    // IW44 foreground is reconstructed at the reduction a background of its size would get.
    AutoPtr<Referable> codec = fg->getCodec();
    auto* iw44 = dynamic_cast<IW44::IW44Decoder*>(codec.get());
    uint32_t s = iw44 ? IW44::reductionFor(w, h, width, height) : 1;
    while (s > 1 && (w / s == 0 || h / s == 0)) s >>= 1;
    AutoLock hold(foregroundMutex_);
    if (foreground_ && foreground_->getPhotometric() == photometric && foregroundReduction_ == s) return foreground_;
    foreground_ = nullptr; // the old one goes before the new one is made
    AutoPtr<ImageUtils::SimpleImage> image(new ImageUtils::SimpleImage(w / s, h / s, photometric));
    if (iw44)
        iw44->render(image->getPixels(), int32_t(image->getStride()), photometric, s, nullptr);
    else
        fg->render(image->getPixels(), int32_t(image->getStride()), photometric, Rect{0, 0, w, h}, w, h, nullptr, 0,
                   0, 0, 0);
    foreground_ = image;
    foregroundReduction_ = s;
    return image;
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
        AutoPtr<ImageUtils::SimpleImage> fg = prepareForeground(photometric, width, height);
        if (!fg) {
            if (mask) mask->render(dst, dstStride, photometric, rect, width, height, nullptr, 0, 0, 0, flags);
        } else if (mask && (layers & layerForeground)) {
            mask->render(dst, dstStride, photometric, rect, width, height, fg->getPixels(), int32_t(fg->getStride()),
                         fg->getWidth(), fg->getHeight(), flags);
        } else {
            Imaging::resample(dst, dstStride, rect, width, height, fg->getPixels(), int32_t(fg->getStride()),
                              fg->getWidth(), fg->getHeight(), photometric, flags);
        }
    } else if ((layers & layerForeground) && mask) {
        mask->render(dst, dstStride, photometric, rect, width, height, nullptr, 0, 0, 0, flags);
    }
    lastPhotometric_ = int32_t(photometric);
}

} // namespace _Vtx_Internal_NS_
