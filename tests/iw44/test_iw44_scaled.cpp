// Rendering at any size and rotation, and the layer renderer over the decoder.
#include <gtest/gtest.h>

#include "djv_iw44renderer.h"
#include "djv_scaling.h"
#include "iw44_testfiles.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace iw44test;

namespace {

Bytes scaled(const AutoPtr<IW44::IW44Decoder>& d, const Rect& rect, uint32_t w, uint32_t h, uint32_t rotation = 0)
{
    Bytes px(size_t(rect.w) * rect.h * 3);
    d->renderScaled(px.data(), int32_t(rect.w * 3), Photometric::RGB, rect, w, h, rotation, 0);
    return px;
}

// What renderScaled should do for rotation 0: the reduced image at subsample s, resampled.
Bytes viaSubsample(const AutoPtr<IW44::IW44Decoder>& d, uint32_t s, const Rect& rect, uint32_t w, uint32_t h)
{
    const Bytes src = reduced(*d, s);
    Bytes px(size_t(rect.w) * rect.h * 3);
    Imaging::resample(px.data(), int32_t(rect.w * 3), rect, w, h, src.data(), int32_t(d->getWidth() / s * 3),
                      d->getWidth() / s, d->getHeight() / s, Photometric::RGB, 0);
    return px;
}

TEST(RenderScaled, ChoosesTheCoarsestSubsampleThatCovers)
{
    auto d = decodeAll(djvuChunks(fixture("photo.djvu")));
    // Own size (0 x 0 too) is the full reconstruction.
    EXPECT_EQ(scaled(d, {0, 0, 640, 480}, 0, 0), reduced(*d, 1));
    EXPECT_EQ(scaled(d, {0, 0, 640, 480}, 640, 480), reduced(*d, 1));
    // Exactly an eighth: subsample 8 and a copy.
    EXPECT_EQ(scaled(d, {0, 0, 80, 60}, 80, 60), reduced(*d, 8));
    // 640 / 100 and 480 / 75 round up to 7: subsample 8, enlarged a little.
    EXPECT_EQ(scaled(d, {0, 0, 100, 75}, 100, 75), viaSubsample(d, 8, {0, 0, 100, 75}, 100, 75));
    // The smaller of the two ratios decides: ceil(640 / 300) = 3 against 480 / 50 = 10.
    EXPECT_EQ(scaled(d, {0, 0, 300, 50}, 300, 50), viaSubsample(d, 4, {0, 0, 300, 50}, 300, 50));
    // Never beyond 32, however small the output.
    EXPECT_EQ(scaled(d, {0, 0, 10, 8}, 10, 8), viaSubsample(d, 32, {0, 0, 10, 8}, 10, 8));
}

// A rotated render is the unrotated one turned: 1 a quarter turn counter-clockwise, 2 a half
// turn, 3 clockwise; width and height are the displayed size, rectangles are displayed ones
// and give that part of the displayed picture.
TEST(RenderScaled, RotationsTurnThePicture)
{
    auto d = decodeAll(djvuChunks(fixture("c157x113.djvu")));
    const uint32_t W = 100, H = 72; // unrotated output size
    const Bytes upright = scaled(d, {0, 0, W, H}, W, H);
    auto at = [&](uint32_t x, uint32_t y) { return &upright[(size_t(y) * W + x) * 3]; };
    for (uint32_t rotation : {0u, 1u, 2u, 3u}) {
        const bool quarter = rotation % 2;
        const uint32_t dw = quarter ? H : W, dh = quarter ? W : H; // displayed size
        const Bytes turned = scaled(d, {0, 0, dw, dh}, dw, dh, rotation);
        for (uint32_t i = 0; i < dw * dh; ++i) {
            const uint32_t x = i % dw, y = i / dw; // displayed, and the upright pixel shown there:
            const uint8_t* want = rotation == 0   ? at(x, y)
                                  : rotation == 1 ? at(W - 1 - y, x)
                                  : rotation == 3 ? at(y, H - 1 - x)
                                                  : at(W - 1 - x, H - 1 - y);
            ASSERT_EQ(0, std::memcmp(&turned[size_t(i) * 3], want, 3)) << "rotation " << rotation << " at " << x << "," << y;
        }
        // Displayed rectangles are parts of the displayed picture.
        const Rect r{5, 9, dw / 2, dh / 3};
        const Bytes part = scaled(d, r, dw, dh, rotation);
        for (uint32_t y = 0; y < r.h; ++y)
            ASSERT_EQ(0, std::memcmp(&part[size_t(y) * r.w * 3], &turned[(size_t(r.y + y) * dw + r.x) * 3], r.w * 3))
                << "rotation " << rotation << " row " << y;
    }
    // Own size of a quarter-turned image is its displayed size.
    EXPECT_EQ(scaled(d, {0, 0, 113, 157}, 0, 0, 1), scaled(d, {0, 0, 113, 157}, 113, 157, 1));
}

TEST(RenderScaled, Errors)
{
    uint8_t px[64 * 3] = {};
    auto empty = IW44::IW44Decoder::create();
    EXPECT_EQ(thrownBy([&] { empty->renderScaled(px, 3, Photometric::RGB, {0, 0, 1, 1}, 1, 1, 0, 0); }).code, 9);
    auto d = decodeAll(djvuChunks(fixture("c1x1.djvu")));
    EXPECT_EQ(thrownBy([&] { d->renderScaled(px, 3, Photometric::RGB, {0, 0, 1, 1}, 1, 1, 4, 0); }).code, 7);
    // Rectangles beyond the output are refused in every rotation; empty ones draw nothing.
    for (uint32_t rotation = 0; rotation < 4; ++rotation) {
        for (const Rect& r : {Rect{0, 0, 3, 1}, Rect{1, 0, 2, 2}, Rect{0, 0xFFFFFFFF, 1, 2}})
            EXPECT_EQ(thrownBy([&] { d->renderScaled(px, 9, Photometric::RGB, r, 2, 2, rotation, 0); }).code, 7)
                << rotation << " " << r.x << "," << r.y << " " << r.w << "x" << r.h;
        EXPECT_NO_THROW(d->renderScaled(px, 9, Photometric::RGB, {0, 0, 0, 5}, 2, 2, rotation, 0));
    }
}

TEST(IW44Renderer, RefinesOneDecoderAndFailsWithIt)
{
    const auto chunks = djvuChunks(fixture("photo.djvu"));
    AutoPtr<Renderer> r = RendererPrivate::IW44Renderer::create(chunkOf("BG44", chunks[0]), nullptr);
    EXPECT_EQ(r->getChunkId(), "BG44");
    EXPECT_EQ(std::pair(r->getWidth(), r->getHeight()), std::pair(640u, 480u));
    auto decoder = AutoPtr<IW44::IW44Decoder>(dynamic_cast<IW44::IW44Decoder*>(r->getCodec().get()));
    ASSERT_TRUE(decoder);
    EXPECT_FALSE(r->addChunk(chunkOf("BG44", chunks[2]))) << "out of order";
    EXPECT_TRUE(r->addChunk(chunkOf("BG44", chunks[1])));
    EXPECT_FALSE(r->addChunk(chunkOf("BG44", chunks[1]))) << "already taken";
    EXPECT_TRUE(r->addChunk(chunkOf("BG44", chunks[2])));
    EXPECT_EQ(decoder->getChunkCount(), 3u);

    // Drawing is the decoder's scaled render; foreground arguments change nothing.
    Bytes a(100 * 75 * 3), fg(16, 0x55);
    r->render(a.data(), 300, Photometric::RGB, {0, 0, 100, 75}, 100, 75, fg.data(), 12, 4, 1, 0);
    EXPECT_EQ(a, scaled(decodeAll(chunks), {0, 0, 100, 75}, 100, 75));

    AutoPtr<Renderer> fgLayer = RendererPrivate::IW44Renderer::create(chunkOf("FG44", chunks[0]), nullptr);
    EXPECT_EQ(fgLayer->getChunkId(), "FG44");
    for (const AutoPtr<Chunk>& c : {chunkOf("BG44", chunks[1]), ChunkImpl::create("BG44")})
        EXPECT_EQ(thrownBy([&] { RendererPrivate::IW44Renderer::create(c, nullptr); }).code, 7);
}

} // namespace
