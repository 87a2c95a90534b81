// Helpers of the JB2 tests: fixture pages, and pages drawn through their row source.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "djv_jb2.h"
#include "djv_jb2decoder.h"
#include "imaging_testutil.h"

namespace jb2test {

inline std::string fixtureDir() { return VTX_FIXTURE_DIR "/jb2/"; }

using imagingtest::expectThrow;
using imagingtest::Image;
using vtxtest::fileExists;
using vtxtest::readFile;
using vtxtest::streamOf;

// Columns [x0, x1) of every row through the row source: one byte per pixel (1 where set) or,
// with colour, r, g, b over white.
inline Image drawPage(_Vtx_Internal_NS_::JB2PageImpl& page, bool colour, uint32_t x0 = 0, uint32_t x1 = ~0u)
{
    Image pic(page.getWidth(), page.getHeight(), colour ? 3 : 1, colour ? 255 : 0);
    _Vtx_Internal_NS_::JB2RowSource source = page.getRowSource();
    for (uint32_t y = 0; y < pic.h; ++y)
        source.forEachSpan(y, x0, x1 < pic.w ? x1 : pic.w, [&](uint32_t b, uint32_t e, const Vantorix::DjVu::Color& c) {
            for (uint8_t* p = pic.at(b, y); p < pic.at(e, y); p += pic.bpp)
                if (colour)
                    p[0] = c.red, p[1] = c.green, p[2] = c.blue;
                else
                    p[0] = 1;
        });
    return pic;
}

// A bitmap over one byte per pixel (non-zero is black), rows of w.
inline Vantorix::DjVu::JB2::ShapeBitmap bitmapOf(uint32_t w, uint32_t h, const std::vector<uint8_t>& px)
{
    using namespace Vantorix::DjVu::JB2;
    return *Shape::create(w, h, int32_t(w), px.data(), 0, 0, Normal)->getBitmap();
}

// The pixels of a bitmap, [y][x], so that two bitmaps compare (and print) whole.
using Pixels = std::vector<std::vector<int>>;
inline Pixels pixelsOf(const Vantorix::DjVu::JB2::ShapeBitmap& b)
{
    Pixels p(b.getHeight(), std::vector<int>(b.getWidth()));
    for (uint32_t y = 0; y < b.getHeight(); ++y)
        for (uint32_t x = 0; x < b.getWidth(); ++x) p[y][x] = b.getPixel(x, y);
    return p;
}

// The payloads of a fixture page (the dictionary if it has one, FGbz when asked for).
inline Vantorix::AutoPtr<Vantorix::DjVu::JB2::JB2Page> decodeFixture(const std::string& name, bool colours)
{
    using namespace Vantorix::DjVu::JB2;
    Vantorix::AutoPtr<JB2Dictionary> dictionary;
    if (fileExists(fixtureDir() + name + ".djbz"))
        dictionary = JB2Dictionary::create(streamOf(readFile(fixtureDir() + name + ".djbz")));
    Vantorix::AutoPtr<JB2Page> page = JB2Page::create(streamOf(readFile(fixtureDir() + name + ".sjbz")), dictionary);
    if (colours) page->addFGbz(streamOf(readFile(fixtureDir() + name + ".fgbz")));
    return page;
}

} // namespace jb2test
