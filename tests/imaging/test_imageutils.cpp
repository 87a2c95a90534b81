#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>

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

TEST(ImageUtils, SimpleImageSizesAndRefusals)
{
    auto img = makeAuto<ImageUtils::SimpleImage>(5u, 2u, Photometric::BGR);
    EXPECT_EQ(std::tuple(img->getWidth(), img->getHeight(), img->getPhotometric(), img->getStride()),
              std::tuple(5u, 2u, Photometric::BGR, 15u));
    img->getPixels()[29] = 7; // the last of 30 bytes (ASan checks the size)
    EXPECT_EQ(makeAuto<ImageUtils::SimpleImage>(3u, 3u, Photometric::Bytes2)->getStride(), 6u);
    EXPECT_EQ(ImageUtils::SimpleImage(0, 7, Photometric::RGB).getStride(), 0u);
    expectThrow([] { ImageUtils::SimpleImage(5, 2, Photometric(8)); }, 7,
                "Vantorix::DjVu::ImageUtils::SimpleImage::getBpp", "Unknown photometric!");
    // 2 GB and more (just at it, past 4 GB, a row past 4 GB) fail as any array block that large.
    struct Huge {
        uint32_t w, h;
        Photometric ph;
    };
    for (const Huge& c : {Huge{32768, 16384, Photometric::Bytes4}, Huge{65535, 65535, Photometric::Bytes4},
                          Huge{0xFFFFFFFFu, 1, Photometric::RGB}, Huge{0xFFFFFFFFu, 0, Photometric::RGB}})
        expectThrow([&] { ImageUtils::SimpleImage(c.w, c.h, c.ph); }, 26, "Vantorix::SimpleArray<unsigned char,2>::_malloc",
                    "SimpleArray: The size of the memory block exceeds 2GB, we could not deal with the request!");
}

TEST(ImageUtils, SubsampledSizeRoundsUpAndLimitsTheFactor)
{
    struct Case {
        uint32_t w, h, factor, outW, outH;
    };
    for (const Case& c : {Case{100, 1, 12, 9, 1}, Case{100, 37, 1, 100, 37}, Case{640, 481, 8, 80, 61}}) {
        uint32_t w = 0, h = 0;
        ImageUtils::estimateSubsampledSize(&w, &h, c.w, c.h, c.factor);
        EXPECT_EQ(std::pair(w, h), std::pair(c.outW, c.outH)) << c.w << "x" << c.h << " / " << c.factor;
    }
    uint32_t w = 0, h = 0;
    struct Bad {
        uint32_t *w, *h, factor;
        const char* text;
    } bad[] = {{&w, &h, 13, "This function doesn't support over 12 inSubsample."},
               {&w, &h, 0, "inSubsample must be positive integer."},
               {nullptr, &h, 2, "errInvalidParam"},
               {&w, nullptr, 2, "errInvalidParam"}};
    for (const Bad& b : bad)
        expectThrow([&] { ImageUtils::estimateSubsampledSize(b.w, b.h, 100, 1, b.factor); }, 7,
                    "Vantorix::DjVu::ImageUtils::estimateSubsampledSize", b.text);
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
        // 3 x 2 pixels in a buffer with a 2-byte gap after each row, filled bottom-up.
        const uint32_t bpp = uint32_t(c.white.size()), stride = 3 * bpp + 2;
        std::vector<uint8_t> buf(size_t(stride) * 2, 0x11), want = buf;
        for (uint32_t i = 0; i < 3 * bpp; ++i) want[i] = want[stride + i] = c.white[i % bpp];
        Imaging::fillWhite(buf.data() + stride, -int32_t(stride), 3, 2, c.p);
        EXPECT_EQ(buf, want) << int(c.p);
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
    // Light when 3R + 6G + B exceeds 1280 (grey 128 sits exactly on it), or Y exceeds 128.
    const uint8_t rgb[9 * 3] = {128, 128, 128, 129, 128, 128, 128, 128, 129, 0, 255, 0, 255, 0, 255,
                                255, 255, 255, 0, 0, 0, 200, 100, 90, 90, 100, 200};
    const uint8_t gray[10] = {128, 129, 0, 255, 200, 100, 130, 127, 255, 1};
    const uint8_t ycc[3 * 3] = {129, 0, 0, 128, 255, 255, 255, 10, 10}; // only Y counts
    struct Case {
        const uint8_t* src;
        uint32_t width, stride;
        Photometric p;
        uint8_t first, second; // the second byte's low bits are padding
    } cases[] = {{rgb, 9, 27, Photometric::RGB, 0b01110101, 0x00},
                 {rgb, 9, 27, Photometric::BGR, 0b01110100, 0x80}, // red read from the third byte
                 {gray, 10, 10, Photometric::Gray, 0b01011010, 0x80},
                 {ycc, 3, 9, Photometric::YCbCr, 0b10100000, 0xAA}};
    for (const Case& c : cases) {
        uint8_t out[2] = {0xAA, 0xAA};
        ImageUtils::packAnyToBits(c.width, 1, c.src, int32_t(c.stride), out, 2, c.p);
        EXPECT_EQ(out[0], c.first) << int(c.p);
        EXPECT_EQ(out[1], c.second) << int(c.p);
    }
    // Two rows, bottom-up source and a destination with spare bytes per row.
    const uint8_t rows[2][3] = {{255, 0, 255}, {0, 255, 0}};
    uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    ImageUtils::packAnyToBits(3, 2, &rows[1][0], -3, out, 2, Photometric::Gray);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 3), (std::vector<uint8_t>{0b01000000, 0xEE, 0b10100000}));
    for (int code : {4, 5, 6, 7, 8}) {
        uint8_t src[4] = {255, 255, 255, 255}, bits[1] = {0x33};
        expectThrow([&] { ImageUtils::packAnyToBits(1, 1, src, 4, bits, 1, ph(code)); }, 26,
                    "Vantorix::DjVu::ImageUtils::packAnyToBits", "packAnyToBits: Unknown photometric!");
        EXPECT_EQ(bits[0], 0x33);
    }
}

TEST(ImageUtils, PackAndUnpackBitsRoundTripAtEveryWidth)
{
    std::mt19937 rng(5);
    for (uint32_t width = 1; width <= 33; ++width) {
        // Every row of every buffer is followed by one guard byte.
        const uint32_t height = 3, packed = (width + 7) / 8, bs = packed + 1, us = width + 1;
        std::vector<uint8_t> bytes(size_t(width) * height);
        for (auto& b : bytes) b = (rng() % 3) ? uint8_t(rng() % 256) : 0;
        std::vector<uint8_t> bits(size_t(bs) * height, 0x5A), ones(size_t(us) * height, 0x77), ff = ones;
        ImageUtils::packBytesToBits(width, height, bytes.data(), int32_t(width), bits.data(), int32_t(bs));
        ImageUtils::unpackBitsTo01(width, height, bits.data(), int32_t(bs), ones.data(), int32_t(us));
        ImageUtils::unpackBitsTo00FF(width, height, bits.data(), int32_t(bs), ff.data(), int32_t(us));
        for (uint32_t y = 0; y < height; ++y) {
            ASSERT_EQ(bits[y * bs + packed], 0x5A) << "wrote past the packed row";
            const uint32_t padding = width % 8 ? (1u << (8 - width % 8)) - 1 : 0;
            ASSERT_EQ(bits[y * bs + packed - 1] & padding, 0u) << "padding bits (the low ones) must be 0";
            for (uint32_t x = 0; x < width; ++x) {
                const bool set = bytes[y * width + x] != 0;
                ASSERT_EQ(ones[y * us + x], set ? 1 : 0) << width;
                ASSERT_EQ(ff[y * us + x], set ? 0xFF : 0x00) << width;
            }
            ASSERT_EQ(ones[y * us + width], 0x77);
            ASSERT_EQ(ff[y * us + width], 0x77);
        }
    }
}
