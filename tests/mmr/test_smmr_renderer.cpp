#include <random>

#include "djv_maskscaling.h"
#include "djv_mmr.h"
#include "mmr_test_util.h"

using namespace mmrtest;
using _Vtx_Internal_NS_::SmmrRenderer;
using Vantorix::AutoPtr;
using Vantorix::DjVu::Color;

namespace {

const std::string kDir = VTX_FIXTURE_DIR "/mmr/";

AutoPtr<SmmrRenderer> load(const std::string& stem)
{
    return SmmrRenderer::decode(streamOf(readFile(kDir + stem + ".mmr")));
}

// The set pixels of row y in [x0, x1) as the row source paints them, with checks on the spans.
std::vector<uint8_t> painted(const SmmrRenderer& r, uint32_t y, uint32_t x0, uint32_t x1, bool& any)
{
    std::vector<uint8_t> row(x1 > x0 ? x1 : 0, 0);
    uint32_t last = 0;
    any = r.forEachSpan(y, x0, x1, [&](uint32_t b, uint32_t e, const Color& c) {
        EXPECT_LT(b, e);
        EXPECT_LE(x0, b);
        EXPECT_LE(e, x1);
        EXPECT_LE(last, b); // left to right, not overlapping
        EXPECT_EQ(c, Color{});
        last = e;
        for (uint32_t x = b; x < e; ++x) row[x] = 1;
    });
    return row;
}

} // namespace

// The run walk against a plain expansion of the same runs, on random column ranges.
TEST(SmmrRenderer, RowSourceMatchesPlainExpansion)
{
    std::mt19937 rng(77);
    for (const char* stem : {"noise", "noise_inv", "leftbar", "leftbar_inv", "column", "wide"}) {
        SCOPED_TRACE(stem);
        AutoPtr<SmmrRenderer> r = load(stem);
        const uint32_t w = r->getWidth();
        std::vector<uint8_t> plain(w);
        for (uint32_t y = 0; y < r->getHeight(); ++y) {
            uint32_t count = 0;
            const uint16_t* runs = r->getRuns(y, count);
            ASSERT_NE(runs, nullptr);
            expand(Runs(runs, runs + count), r->isInverted(), plain.data(), w);
            for (int k = 0; k < 8; ++k) {
                uint32_t x0 = rng() % (w + 1), x1 = rng() % (w + 3);
                if (k == 0) x0 = 0, x1 = w;
                bool any = false;
                std::vector<uint8_t> got = painted(*r, y, x0, x1, any);
                bool want = false;
                for (uint32_t x = 0; x < got.size(); ++x) {
                    const uint8_t p = x >= x0 && x < w ? plain[x] : 0;
                    ASSERT_EQ(got[x], p) << "row " << y << " x " << x << " range " << x0 << ".." << x1;
                    want |= p != 0;
                }
                EXPECT_EQ(any, want);
            }
        }
        bool any = true;
        EXPECT_TRUE(painted(*r, r->getHeight(), 0, w, any).size() == w && !any); // rows past the end
    }
}

// The renderer's slots, the run cap, and decoding errors coming out of construction unchanged.
TEST(SmmrRenderer, SlotsRunCapAndDecodeErrors)
{
    const Bytes noise = readFile(kDir + "noise.mmr");
    AutoPtr<SmmrRenderer> full = SmmrRenderer::decode(streamOf(noise));
    EXPECT_FALSE(full->addChunk(nullptr));
    EXPECT_EQ(full->getChunkId(), "Smmr");
    EXPECT_EQ(full->getCodec().get(), static_cast<Vantorix::Referable*>(full.get()));
    uint32_t total = 0, n = 0;
    for (uint32_t y = 0; y < full->getHeight(); ++y) {
        full->getRuns(y, n);
        total += n;
    }
    EXPECT_EQ(thrownBy([&] { SmmrRenderer::decode(streamOf(noise), total); }).message, "");
    imagingtest::expectThrow([&] { SmmrRenderer::decode(streamOf(noise), total - 1); }, 38,
                             "_Vtx_Internal_NS_::SmmrRenderer::SmmrRenderer", "MMR mask too complex!");
    const Bytes cut(noise.begin(), noise.begin() + long(noise.size() / 2));
    EXPECT_TRUE(vtxtest::contains(thrownBy([&] { SmmrRenderer::decode(streamOf(cut)); }).message, "Error 20:"));
}

namespace {

using imagingtest::Image;
using Vantorix::DjVu::Photometric;
using Vantorix::DjVu::Rect;

uint32_t bytesPer(Photometric p) { return p == Photometric::Gray ? 1 : 3; }

// The same picture as a plain per-pixel row source.
imagingtest::VectorMask maskOf(const Image& bits)
{
    imagingtest::VectorMask m(bits.w, bits.h);
    for (uint32_t y = 0; y < bits.h; ++y)
        for (uint32_t x = 0; x < bits.w; ++x)
            if (bits.at(x, y)[0]) m.put(x, y);
    return m;
}

struct Target {
    uint32_t w, h; // the scaled picture
    Rect rect;
    Photometric photometric;
    uint32_t flags;
    bool bottomUp, foreground;
};

// Draws through the renderer (or, with plain, through resampleMaskT over `plain`) onto a
// seeded random background, bottom-up buffers addressed from their last row like the
// thumbnail provider does.
Image draw(const Target& t, SmmrRenderer& r, const imagingtest::VectorMask* plain, const Image& fg)
{
    const uint32_t bpp = bytesPer(t.photometric);
    Image out = imagingtest::randomImage(t.rect.w, t.rect.h, bpp, 99);
    uint8_t* dst = out.px.data();
    int32_t stride = out.stride();
    if (t.bottomUp) {
        dst += size_t(t.rect.h - 1) * out.w * bpp;
        stride = -stride;
    }
    const uint8_t* fgPixels = t.foreground ? fg.px.data() : nullptr;
    const uint32_t fgW = t.foreground ? fg.w : 0, fgH = t.foreground ? fg.h : 0;
    if (plain)
        _Vtx_Internal_NS_::resampleMaskT(dst, stride, t.rect, t.w, t.h, *plain, plain->w, plain->h, fgPixels,
                                         t.foreground ? fg.stride() : 0, fgW, fgH, t.photometric, 0, t.flags);
    else
        r.render(dst, stride, t.photometric, t.rect, t.w, t.h, fgPixels, t.foreground ? fg.stride() : 0, fgW, fgH,
                 t.flags);
    return out;
}

} // namespace

// Through the real resampler, the run rows must draw exactly what the decoded picture drawn
// pixel by pixel does: every size regime, partial rectangles, photometrics, foreground images.
TEST(SmmrRenderer, RenderEqualsPlainMaskDrawing)
{
    std::mt19937 rng(5);
    for (const char* stem : {"text_odd", "noise_inv", "leftbar_s", "column", "wide_inv"}) {
        SCOPED_TRACE(stem);
        AutoPtr<SmmrRenderer> r = load(stem);
        const std::string source = std::string(stem).substr(0, std::string(stem).find('_'));
        Image bits = imagingtest::readPnm(kDir + (source == "text" ? "text_odd" : source) + ".pbm");
        ASSERT_EQ(bits.w, r->getWidth());
        const imagingtest::VectorMask plain = maskOf(bits);
        const uint32_t w = r->getWidth(), h = r->getHeight();
        const Target fixed[] = {
            {w, h, {0, 0, w, h}, Photometric::Gray, 0, false, false},                                 // own size
            {w / 3 + 1, h / 3 + 1, {0, 0, w / 3 + 1, h / 3 + 1}, Photometric::BGR, 0, true, false},   // thumbnail path
            {w / 2 + 1, h / 4 + 1, {0, 0, w / 2 + 1, h / 4 + 1}, Photometric::Gray, 1, false, false}, // box
            {w * 2, h + h / 2, {0, 0, w * 2, h + h / 2}, Photometric::RGB, 0, false, false},          // enlarged
        };
        std::vector<Target> targets(std::begin(fixed), std::end(fixed));
        for (int i = 0; i < 6; ++i) {
            Target t{};
            t.w = 1 + rng() % (2 * w);
            t.h = 1 + rng() % (2 * h);
            t.rect = imagingtest::randomRect(rng, t.w, t.h);
            t.photometric = Photometric(rng() % 4);
            t.flags = rng() % 2;
            t.bottomUp = rng() % 2;
            t.foreground = rng() % 2;
            targets.push_back(t);
        }
        for (const Target& t : targets) {
            const Image fg = imagingtest::randomImage(1 + w / 12, 1 + h / 12, bytesPer(t.photometric), 3);
            SCOPED_TRACE(testing::Message() << t.w << "x" << t.h << " rect " << t.rect.x << "," << t.rect.y << " "
                                            << t.rect.w << "x" << t.rect.h << " photometric " << int(t.photometric));
            EXPECT_EQ(firstDifference(draw(t, *r, nullptr, fg), draw(t, *r, &plain, fg)), "");
        }
    }
}

// End to end against ddjvu: at the mask's own size exactly (width and height 0 meaning own
// size), at thumbnail sizes close (the scalers differ; box shrinking by 10 at most one level).
TEST(SmmrRenderer, RenderLikeDdjvu)
{
    for (const char* stem : {"text_odd_s", "noise_inv", "craft_eofb_inv", "craft_unc"}) {
        SCOPED_TRACE(stem);
        AutoPtr<SmmrRenderer> r = load(stem);
        const uint32_t w = r->getWidth(), h = r->getHeight();
        Image gray(w, h, 1, 255);
        r->render(gray.px.data(), gray.stride(), Photometric::Gray, Rect{0, 0, w, h}, 0, 0, nullptr, 0, 0, 0, 0);
        Image ref = imagingtest::readPnm(kDir + stem + ".ddjvu.pbm");
        for (auto& p : ref.px) p = p ? 0 : 255;
        EXPECT_EQ(firstDifference(gray, ref), "");
    }

    AutoPtr<SmmrRenderer> text = load("text300");
    Image thumb(198, 256, 1, 255);
    text->render(thumb.px.data(), thumb.stride(), Photometric::Gray, Rect{0, 0, 198, 256}, 198, 256, nullptr, 0, 0, 0,
                 0);
    EXPECT_GE(imagingtest::psnr(thumb, imagingtest::readPnm(kDir + "text300_mask_198x256.pgm")), 27); // 29.9 dB

    Image tenth(255, 330, 1, 255);
    text->render(tenth.px.data(), tenth.stride(), Photometric::Gray, Rect{0, 0, 255, 330}, 255, 330, nullptr, 0, 0, 0,
                 1);
    Image ref = imagingtest::readPnm(kDir + "text300_mask_255x330.pgm");
    ASSERT_EQ(ref.px.size(), tenth.px.size());
    for (size_t i = 0; i < ref.px.size(); ++i) {
        ASSERT_GE(int(ref.px[i]) - int(tenth.px[i]), 0) << i;
        ASSERT_LE(int(ref.px[i]) - int(tenth.px[i]), 1) << i;
    }
}
