#include <random>

#include "djv_maskscaling.h"
#include "djv_mmr.h"
#include "mmr_test_util.h"

using namespace mmrtest;
using _Vtx_Internal_NS_::SmmrRenderer;
using Vantorix::AutoPtr;

namespace {

const std::string kDir = VTX_FIXTURE_DIR "/mmr/";

AutoPtr<SmmrRenderer> load(const std::string& stem)
{
    return SmmrRenderer::decode(streamOf(readFile(kDir + stem + ".mmr")));
}

} // namespace

// Spans inside the columns asked for (the resampler would not notice), the run cap, and decoding
// errors coming out of construction unchanged.
TEST(SmmrRenderer, SpanBoundsRunCapAndDecodeErrors)
{
    const Bytes noise = readFile(kDir + "noise.mmr");
    AutoPtr<SmmrRenderer> full = SmmrRenderer::decode(streamOf(noise));
    for (uint32_t y = 0; y < full->getHeight(); ++y)
        full->forEachSpan(y, 50, 1000, [&](uint32_t b, uint32_t e, const auto&) {
            EXPECT_TRUE(50 <= b && b < e && e <= full->getWidth()) << y << ": " << b << ".." << e;
        });
    uint32_t total = 0, n = 0;
    for (uint32_t y = 0; y < full->getHeight(); ++y) total += (full->getRuns(y, n), n);
    EXPECT_EQ(thrownBy([&] { SmmrRenderer::decode(streamOf(noise), total); }).message, "");
    imagingtest::expectThrow([&] { SmmrRenderer::decode(streamOf(noise), total - 1); }, 38,
                             "_Vtx_Internal_NS_::SmmrRenderer::SmmrRenderer", "MMR mask too complex!");
    const Bytes cut(noise.begin(), noise.begin() + long(noise.size() / 2));
    EXPECT_TRUE(vtxtest::contains(thrownBy([&] { SmmrRenderer::decode(streamOf(cut)); }).message, "Error 20:"));
}

using imagingtest::Image;
using Vantorix::DjVu::Photometric;
using Vantorix::DjVu::Rect;

// Through the real resampler, the run rows must draw exactly what the decoded picture drawn
// pixel by pixel does: shrunk and enlarged, partial rectangles, photometrics, foreground images.
TEST(SmmrRenderer, RenderEqualsPlainMaskDrawing)
{
    std::mt19937 rng(5);
    for (const char* stem : {"text_odd", "noise_inv", "leftbar_s", "column", "wide_inv"}) {
        SCOPED_TRACE(stem);
        AutoPtr<SmmrRenderer> r = load(stem);
        const uint32_t w = r->getWidth(), h = r->getHeight();
        const std::string source = std::string(stem).substr(0, std::string(stem).find('_'));
        const Image bits = imagingtest::readPnm(kDir + (source == "text" ? "text_odd" : source) + ".pbm");
        ASSERT_EQ(bits.w, w);
        const imagingtest::VectorMask plain = imagingtest::maskOf(bits);
        for (int i = 0; i < 10; ++i) {
            const uint32_t tw = 1 + rng() % (2 * w), th = 1 + rng() % (2 * h), flags = rng() % 2;
            const Rect rect = imagingtest::randomRect(rng, tw, th);
            const Photometric pm = Photometric(rng() % 3);
            const uint32_t bpp = pm == Photometric::Gray ? 1 : 3;
            const Image fg = imagingtest::randomImage(1 + w / 12, 1 + h / 12, bpp, 3);
            const bool withFg = rng() % 2;
            const uint8_t* fgPixels = withFg ? fg.px.data() : nullptr;
            const uint32_t fgW = withFg ? fg.w : 0, fgH = withFg ? fg.h : 0;
            Image ours = imagingtest::randomImage(rect.w, rect.h, bpp, 99), want = ours;
            r->render(ours.px.data(), ours.stride(), pm, rect, tw, th, fgPixels, fg.stride(), fgW, fgH, flags);
            _Vtx_Internal_NS_::resampleMaskT(want.px.data(), want.stride(), rect, tw, th, plain, w, h, fgPixels,
                                             fg.stride(), fgW, fgH, pm, 0, flags);
            EXPECT_EQ(firstDifference(ours, want), "") << tw << "x" << th << " rect " << rect.x << "," << rect.y << " "
                                                       << rect.w << "x" << rect.h << " photometric " << int(pm);
        }
    }
}

// End to end against ddjvu at the mask's own size (width and height 0 meaning own size); the
// scaled sizes are the plain mask drawing's, compared with ddjvu by the imaging tests.
TEST(SmmrRenderer, RenderLikeDdjvu)
{
    for (const char* stem : {"text_odd_s", "noise_inv", "craft_eofb_inv", "craft_unc"}) {
        SCOPED_TRACE(stem);
        AutoPtr<SmmrRenderer> r = load(stem);
        const uint32_t w = r->getWidth(), h = r->getHeight();
        Image gray(w, h, 1, 255);
        r->render(gray.px.data(), gray.stride(), Photometric::Gray, Rect{0, 0, w, h}, 0, 0, nullptr, 0, 0, 0, 0);
        EXPECT_EQ(firstDifference(gray, imagingtest::greyOf(imagingtest::readPnm(kDir + stem + ".ddjvu.pbm"))), "");
    }
}
