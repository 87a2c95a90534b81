// Our scalers against ddjvu on pages made by the DjVuLibre encoders (tests/fixtures/gen_imaging.sh).
// The input is ddjvu's own full-size render, so only the scaling differs; the two scalers use
// different filters, hence PSNR rather than equality.
#include <gtest/gtest.h>

#include "djv_maskscaling.h"
#include "djv_scaling.h"
#include "imaging_testutil.h"

#include <iterator>
#include <vector>

using namespace Vantorix::DjVu;
using imagingtest::fixture;
using imagingtest::Image;
using imagingtest::psnr;
using imagingtest::readPnm;

namespace {

Image scaled(const Image& src, uint32_t w, uint32_t h, uint32_t flags)
{
    Image out(w, h, src.bpp);
    Imaging::resample(out.px.data(), out.stride(), Rect{0, 0, w, h}, w, h, src.px.data(), src.stride(), src.w, src.h,
                      src.bpp == 3 ? Photometric::RGB : Photometric::Gray, flags);
    return out;
}

// The bilevel picture (1 = black) as a mask, drawn in black over white.
Image maskOnWhite(const Image& bits, uint32_t w, uint32_t h, uint32_t flags)
{
    imagingtest::VectorMask mask(bits.w, bits.h);
    mask.set = bits.px;
    Image out(w, h, 1, 255);
    _Vtx_Internal_NS_::resampleMaskT(out.px.data(), out.stride(), Rect{0, 0, w, h}, w, h, mask, bits.w, bits.h,
                                     nullptr, 0, 0, 0, Photometric::Gray, 0, flags);
    return out;
}

struct Case {
    const char* name; // ddjvu's render at w x h
    uint32_t w, h;
    double minInterpolating, minBox; // a few dB under what was measured
};

} // namespace

TEST(Differential, PicturesScaledLikeDdjvu)
{
    const Case photo[] = {{"photo_160x120.ppm", 160, 120, 35, 35}, // 38.2, 38.3 dB
                          {"photo_256x192.ppm", 256, 192, 42, 43}, // 45.1, 46.3
                          {"photo_213x160.ppm", 213, 160, 39, 40}, // 42.3, 43.5
                          {"photo_960x720.ppm", 960, 720, 46, 46}, // 49.7 (enlarged: one method)
                          {"photo_700x300.ppm", 700, 300, 46, 46}}; // 49.9
    const Case gray[] = {{"gray_160x120.pgm", 160, 120, 35, 35},
                         {"gray_213x160.pgm", 213, 160, 39, 40},
                         {"gray_960x720.pgm", 960, 720, 46, 46}};
    for (const auto& [input, cases] : {std::pair{"photo_full.ppm", std::vector<Case>(std::begin(photo), std::end(photo))},
                                       std::pair{"gray_full.pgm", std::vector<Case>(std::begin(gray), std::end(gray))}}) {
        Image full = readPnm(fixture(input));
        ASSERT_EQ(full.w, 640u) << input;
        for (const Case& c : cases) {
            Image ref = readPnm(fixture(c.name));
            ASSERT_EQ(ref.w, c.w) << c.name;
            EXPECT_GE(psnr(scaled(full, c.w, c.h, 0), ref), c.minInterpolating) << c.name;
            EXPECT_GE(psnr(scaled(full, c.w, c.h, 1), ref), c.minBox) << c.name;
        }
    }
}

TEST(Differential, TextMaskScaledLikeDdjvu)
{
    Image bits = readPnm(VTX_FIXTURE_DIR "/sources/text300.pbm");
    ASSERT_EQ(bits.w, 2550u);
    const Case cases[] = {{"text_mask_255x330.pgm", 255, 330, 35, 55},    // 38.4, 58.7 dB
                          {"text_mask_198x256.pgm", 198, 256, 27, 27},    // 29.9, 30.0
                          {"text_mask_850x1100.pgm", 850, 1100, 24, 60}}; // 26.6, 65.1
    for (const Case& c : cases) {
        Image ref = readPnm(fixture(c.name));
        ASSERT_EQ(ref.w, c.w) << c.name;
        EXPECT_GE(psnr(maskOnWhite(bits, c.w, c.h, 0), ref), c.minInterpolating) << c.name;
        EXPECT_GE(psnr(maskOnWhite(bits, c.w, c.h, 1), ref), c.minBox) << c.name;
    }
    // Whole-factor box shrinking is ddjvu's reduction but for the last step: it rounds where we
    // truncate, so we are never above it and at most one level below.
    Image ref = readPnm(fixture("text_mask_255x330.pgm"));
    Image ours = maskOnWhite(bits, 255, 330, 1);
    for (size_t i = 0; i < ours.px.size(); ++i) ASSERT_TRUE(ref.px[i] == ours.px[i] || ref.px[i] == ours.px[i] + 1) << i;

    Image odd = readPnm(VTX_FIXTURE_DIR "/sources/text_odd.pbm");
    Image oddRef = readPnm(fixture("text_odd_mask_1501x1165.pgm"));
    ASSERT_EQ(oddRef.w, 1501u);
    EXPECT_GE(psnr(maskOnWhite(odd, 1501, 1165, 0), oddRef), 22); // 24.3: ddjvu samples pixel centres
}
