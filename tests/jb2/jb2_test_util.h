// Helpers of the JB2 tests: the fixture list, and a plain same-size drawing of a page through its
// row source.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "djv_jb2.h"
#include "djv_jb2decoder.h"
#include "imaging_testutil.h"
#include "vtx_exception.h"
#include "vtx_stream.h"

namespace jb2test {

inline std::string fixtureDir() { return VTX_FIXTURE_DIR "/jb2/"; }

using vtxtest::fileExists;
using vtxtest::readFile;
using vtxtest::streamOf;

// Images, Netpbm files, PSNR and the error matcher are the imaging tests' helpers.
using imagingtest::Image;
using imagingtest::expectThrow;
using imagingtest::firstDifference;
using imagingtest::psnr;
using imagingtest::readPnm;

// Draws a page at its own size, one byte per pixel (1 where set) or, with colour, as r, g, b
// over white, straight from its row source.
inline Image drawPage(_Vtx_Internal_NS_::JB2PageImpl& page, bool colour)
{
    Image pic(page.getWidth(), page.getHeight(), colour ? 3 : 1, colour ? 255 : 0);
    _Vtx_Internal_NS_::JB2RowSource source = page.getRowSource();
    for (uint32_t y = 0; y < pic.h; ++y) {
        uint8_t* row = pic.row(y);
        source.forEachSpan(y, 0, pic.w, [&](uint32_t b, uint32_t e, const Vantorix::DjVu::Color& c) {
            for (uint32_t x = b; x < e; ++x) {
                if (colour) {
                    row[3 * x] = c.red;
                    row[3 * x + 1] = c.green;
                    row[3 * x + 2] = c.blue;
                } else {
                    row[x] = 1;
                }
            }
        });
    }
    return pic;
}

struct FixturePage {
    std::string name;
    uint32_t width, height;
    friend void PrintTo(const FixturePage& p, std::ostream* os) { *os << p.name; }
};

inline std::vector<FixturePage> fixturePages(const char* list = "pages.txt")
{
    std::vector<FixturePage> pages;
    std::ifstream in(fixtureDir() + list);
    FixturePage p;
    while (in >> p.name >> p.width >> p.height) pages.push_back(p);
    return pages;
}

} // namespace jb2test
