#include <gtest/gtest.h>

#include <random>
#include <string>

#include "djv_imageutils.h"
#include "imaging_testutil.h"
#include "vtx_exception.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using imagingtest::expectThrow;

namespace {

Photometric ph(int code) { return Photometric(code); }

} // namespace

TEST(ImageUtils, BytesPerPixelOfEveryCodeAndUnknownCodes)
{
    const uint32_t expected[8] = {3, 3, 1, 3, 1, 2, 3, 4};
    for (int code = 0; code < 8; ++code) {
        EXPECT_EQ(_Vtx_Internal_NS_::getBpp(ph(code)), expected[code]) << code;
        EXPECT_EQ(ImageUtils::SimpleImage::getBpp(ph(code)), expected[code]) << code;
    }
    for (int code : {8, 255, -1}) {
        expectThrow([&] { _Vtx_Internal_NS_::getBpp(ph(code)); }, 7, "_Vtx_Internal_NS_::getBpp",
                    "Unknown photometric!");
        expectThrow([&] { ImageUtils::SimpleImage::getBpp(ph(code)); }, 7,
                    "Vantorix::DjVu::ImageUtils::SimpleImage::getBpp", "Unknown photometric!");
    }
}

TEST(ImageUtils, SimpleImageRecordsPackedRows)
{
    auto img = makeAuto<ImageUtils::SimpleImage>(5u, 2u, Photometric::BGR);
    EXPECT_EQ(img->getWidth(), 5u);
    EXPECT_EQ(img->getHeight(), 2u);
    EXPECT_EQ(img->getPhotometric(), Photometric::BGR);
    EXPECT_EQ(img->getStride(), 15u);
    ASSERT_NE(img->getPixels(), nullptr);
    img->getPixels()[29] = 7; // the last of 30 bytes (ASan checks the size)
    EXPECT_EQ(makeAuto<ImageUtils::SimpleImage>(3u, 3u, Photometric::Bytes2)->getStride(), 6u);

    expectThrow([] { ImageUtils::SimpleImage(5, 2, Photometric(8)); }, 7,
                "Vantorix::DjVu::ImageUtils::SimpleImage::getBpp", "Unknown photometric!");
    // More than the 2 GB one block may hold is refused before allocating.
    EXPECT_THROW(ImageUtils::SimpleImage(65535, 65535, Photometric::Bytes4), Exception);
    EXPECT_THROW(ImageUtils::SimpleImage(0xFFFFFFFFu, 1, Photometric::RGB), Exception);
    EXPECT_EQ(ImageUtils::SimpleImage(0, 7, Photometric::RGB).getStride(), 0u);
}

TEST(ImageUtils, SubsampledSizeRoundsUpAndLimitsTheFactor)
{
    uint32_t w = 0, h = 0;
    ImageUtils::estimateSubsampledSize(&w, &h, 100, 1, 12);
    EXPECT_EQ(w, 9u);
    EXPECT_EQ(h, 1u);
    ImageUtils::estimateSubsampledSize(&w, &h, 100, 37, 1);
    EXPECT_EQ(w, 100u);
    EXPECT_EQ(h, 37u);
    ImageUtils::estimateSubsampledSize(&w, &h, 640, 481, 8);
    EXPECT_EQ(w, 80u);
    EXPECT_EQ(h, 61u);

    const char* fn = "Vantorix::DjVu::ImageUtils::estimateSubsampledSize";
    expectThrow([&] { ImageUtils::estimateSubsampledSize(&w, &h, 100, 1, 13); }, 7, fn,
                "This function doesn't support over 12 inSubsample.");
    expectThrow([&] { ImageUtils::estimateSubsampledSize(&w, &h, 100, 1, 0); }, 7, fn,
                "inSubsample must be positive integer.");
    expectThrow([&] { ImageUtils::estimateSubsampledSize(nullptr, &h, 100, 1, 2); }, 7, fn, "errInvalidParam");
    expectThrow([&] { ImageUtils::estimateSubsampledSize(&w, nullptr, 100, 1, 2); }, 7, fn, "errInvalidParam");
}

TEST(ImageUtils, FillWhiteWritesEachPhotometricsWhiteInsideTheRectangleOnly)
{
    struct Case {
        Photometric p;
        std::vector<uint8_t> white;
    } cases[] = {{Photometric::RGB, {0xFF, 0xFF, 0xFF}},
                 {Photometric::BGR, {0xFF, 0xFF, 0xFF}},
                 {Photometric::Gray, {0xFF}},
                 {Photometric::YCbCr, {0xFF, 0x80, 0x80}}};
    for (const Case& c : cases) {
        const uint32_t bpp = uint32_t(c.white.size());
        // 3 x 2 pixels in a buffer with a 2-byte gap after each row, filled bottom-up.
        const int32_t stride = int32_t(3 * bpp + 2);
        std::vector<uint8_t> buf(size_t(stride) * 2, 0x11);
        Imaging::fillWhite(buf.data() + stride, -stride, 3, 2, c.p);
        for (int y = 0; y < 2; ++y) {
            for (uint32_t i = 0; i < 3 * bpp; ++i) EXPECT_EQ(buf[y * stride + i], c.white[i % bpp]);
            EXPECT_EQ(buf[y * stride + 3 * bpp], 0x11);
            EXPECT_EQ(buf[y * stride + 3 * bpp + 1], 0x11);
        }
    }
    for (int code = 4; code <= 8; ++code) {
        uint8_t px[4] = {1, 2, 3, 4};
        expectThrow([&] { Imaging::fillWhite(px, 4, 1, 1, ph(code)); }, 7, "Vantorix::DjVu::Imaging::fillWhite",
                    "Unknown photometric!");
        EXPECT_EQ(px[0], 1);
    }
}

TEST(ImageUtils, PackAnyToBitsThresholdsLightPixels)
{
    // RGB: 3R + 6G + B must exceed 1280; grey 128 sits exactly on it.
    {
        const uint8_t rgb[9 * 3] = {128, 128, 128, 129, 128, 128, 128, 128, 129, 0, 255, 0, 255, 0, 255,
                                    255, 255, 255, 0, 0, 0, 200, 100, 90, 90, 100, 200};
        // 3*129+768+128 = 1283 (light); 3*128+768+129 = 1281 (light); 0,255,0: 1530 (light);
        // 255,0,255: 1020; white; black; 200,100,90: 1290 (light); 90,100,200: 1070.
        uint8_t out[2] = {0xAA, 0xAA};
        ImageUtils::packAnyToBits(9, 1, rgb, 27, out, 2, Photometric::RGB);
        EXPECT_EQ(out[0], 0b01110101);
        EXPECT_EQ(out[1], 0x00); // pixel 8 dark; the 7 low bits are padding
        // BGR reads red from the third byte: the last two pixels swap roles.
        ImageUtils::packAnyToBits(9, 1, rgb, 27, out, 2, Photometric::BGR);
        EXPECT_EQ(out[0], 0b01110100);
        EXPECT_EQ(out[1], 0x80);
    }
    {
        const uint8_t gray[10] = {128, 129, 0, 255, 200, 100, 130, 127, 255, 1};
        uint8_t out[2];
        ImageUtils::packAnyToBits(10, 1, gray, 10, out, 2, Photometric::Gray);
        EXPECT_EQ(out[0], 0b01011010);
        EXPECT_EQ(out[1], 0b10000000);
        // YCbCr: only Y counts, pixels three bytes apart.
        const uint8_t ycc[3 * 3] = {129, 0, 0, 128, 255, 255, 255, 10, 10};
        ImageUtils::packAnyToBits(3, 1, ycc, 9, out, 2, Photometric::YCbCr);
        EXPECT_EQ(out[0], 0b10100000);
    }
    {
        // Two rows, bottom-up source and a destination with spare bytes per row.
        const uint8_t gray[2][3] = {{255, 0, 255}, {0, 255, 0}};
        uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        ImageUtils::packAnyToBits(3, 2, &gray[1][0], -3, out, 2, Photometric::Gray);
        EXPECT_EQ(out[0], 0b01000000);
        EXPECT_EQ(out[1], 0xEE);
        EXPECT_EQ(out[2], 0b10100000);
    }
    for (int code : {4, 5, 6, 7, 8}) {
        uint8_t src[4] = {255, 255, 255, 255}, out[1] = {0x33};
        expectThrow([&] { ImageUtils::packAnyToBits(1, 1, src, 4, out, 1, ph(code)); }, 26,
                    "Vantorix::DjVu::ImageUtils::packAnyToBits", "packAnyToBits: Unknown photometric!");
        EXPECT_EQ(out[0], 0x33);
    }
}

TEST(ImageUtils, PackAndUnpackBitsRoundTripAtEveryWidth)
{
    std::mt19937 rng(5);
    for (uint32_t width = 1; width <= 33; ++width) {
        const uint32_t height = 3, packed = (width + 7) / 8;
        std::vector<uint8_t> bytes(size_t(width) * height);
        for (auto& b : bytes) b = (rng() % 3) ? uint8_t(rng() % 256) : 0;
        std::vector<uint8_t> bits(size_t(packed + 1) * height, 0x5A);
        ImageUtils::packBytesToBits(width, height, bytes.data(), int32_t(width), bits.data(), int32_t(packed + 1));
        for (uint32_t y = 0; y < height; ++y) {
            EXPECT_EQ(bits[y * (packed + 1) + packed], 0x5A) << "wrote past the packed row";
            const uint8_t last = bits[y * (packed + 1) + packed - 1];
            if (width % 8) {
                EXPECT_EQ(last & ((1u << (8 - width % 8)) - 1), 0u) << "padding bits must be 0";
            }
        }
        // 0/1 form and 0x00/0xFF form, each with a guard byte after every row.
        std::vector<uint8_t> ones(size_t(width + 1) * height, 0x77), ff(size_t(width + 1) * height, 0x77);
        ImageUtils::unpackBitsTo01(width, height, bits.data(), int32_t(packed + 1), ones.data(), int32_t(width + 1));
        ImageUtils::unpackBitsTo00FF(width, height, bits.data(), int32_t(packed + 1), ff.data(), int32_t(width + 1));
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                const bool set = bytes[y * width + x] != 0;
                EXPECT_EQ(ones[y * (width + 1) + x], set ? 1 : 0);
                EXPECT_EQ(ff[y * (width + 1) + x], set ? 0xFF : 0x00);
            }
            EXPECT_EQ(ones[y * (width + 1) + width], 0x77);
            EXPECT_EQ(ff[y * (width + 1) + width], 0x77);
        }
    }
    // Most significant bit first.
    const uint8_t bits[1] = {0b10010000};
    uint8_t out[4];
    ImageUtils::unpackBitsTo01(4, 1, bits, 1, out, 4);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{1, 0, 0, 1}));
}
