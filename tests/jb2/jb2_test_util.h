// Helpers of the JB2 tests: files, Netpbm pictures, and a plain same-size drawing of a page
// through its row source.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "djv_jb2.h"
#include "djv_jb2decoder.h"
#include "vtx_exception.h"
#include "vtx_stream.h"

namespace jb2test {

inline std::string fixtureDir() { return VTX_FIXTURE_DIR "/jb2/"; }

inline std::vector<uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool fileExists(const std::string& path) { return std::ifstream(path).good(); }

inline Vantorix::AutoPtr<Vantorix::Stream> streamOf(const std::vector<uint8_t>& bytes)
{
    return Vantorix::AutoPtr<Vantorix::Stream>(Vantorix::MemoryStorage::create(bytes.data(), uint32_t(bytes.size())));
}

// A Netpbm picture as one byte per pixel (P4: 1 = black; P5: grey) or three (P6: r, g, b).
struct Picture {
    uint32_t width = 0, height = 0, channels = 1;
    std::vector<uint8_t> pixels;
    uint8_t* row(uint32_t y) { return pixels.data() + size_t(y) * width * channels; }
};

inline Picture readNetpbm(const std::string& path)
{
    std::vector<uint8_t> bytes = readFile(path);
    Picture pic;
    size_t pos = 0;
    auto token = [&]() {
        while (pos < bytes.size() && (isspace(bytes[pos]) || bytes[pos] == '#')) {
            if (bytes[pos] == '#')
                while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
            else
                ++pos;
        }
        std::string t;
        while (pos < bytes.size() && !isspace(bytes[pos])) t += char(bytes[pos++]);
        return t;
    };
    std::string magic = token();
    pic.width = uint32_t(std::stoul(token()));
    pic.height = uint32_t(std::stoul(token()));
    if (magic == "P6" || magic == "P5") {
        token(); // maxval
        pic.channels = magic == "P6" ? 3 : 1;
        ++pos;
        const size_t count = size_t(pic.width) * pic.height * pic.channels;
        pic.pixels.assign(bytes.begin() + long(pos), bytes.begin() + long(pos + count));
    } else {
        ++pos;
        uint32_t rowBytes = (pic.width + 7) / 8;
        pic.pixels.resize(size_t(pic.width) * pic.height);
        for (uint32_t y = 0; y < pic.height; ++y)
            for (uint32_t x = 0; x < pic.width; ++x)
                pic.pixels[size_t(y) * pic.width + x] = (bytes[pos + size_t(y) * rowBytes + x / 8] >> (7 - x % 8)) & 1;
    }
    return pic;
}

// Draws a page at its own size, one byte per pixel (1 where set) or, with colour, as r, g, b
// over white, straight from its row source.
inline Picture drawPage(_Vtx_Internal_NS_::JB2PageImpl& page, bool colour)
{
    Picture pic;
    pic.width = page.getWidth();
    pic.height = page.getHeight();
    pic.channels = colour ? 3 : 1;
    pic.pixels.assign(size_t(pic.width) * pic.height * pic.channels, colour ? 255 : 0);
    _Vtx_Internal_NS_::JB2RowSource source = page.getRowSource();
    for (uint32_t y = 0; y < pic.height; ++y) {
        uint8_t* row = pic.row(y);
        source.forEachSpan(y, 0, pic.width, [&](uint32_t b, uint32_t e, const Vantorix::DjVu::Color& c) {
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

// Position of the first pixel where two pictures differ, as "x,y", or "" when equal.
inline std::string firstDifference(const Picture& a, const Picture& b)
{
    if (a.width != b.width || a.height != b.height || a.channels != b.channels)
        return "size " + std::to_string(a.width) + "x" + std::to_string(a.height) + " vs " +
               std::to_string(b.width) + "x" + std::to_string(b.height);
    for (size_t i = 0; i < a.pixels.size(); ++i)
        if (a.pixels[i] != b.pixels[i]) {
            size_t p = i / a.channels;
            return std::to_string(p % a.width) + "," + std::to_string(p / a.width);
        }
    return "";
}

// Peak signal-to-noise ratio of two pictures of the same size, in dB (1000 when equal).
inline double psnr(const Picture& a, const Picture& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        double d = double(a.pixels[i]) - double(b.pixels[i]);
        sum += d * d;
    }
    if (sum == 0) return 1000;
    return 10 * std::log10(255.0 * 255.0 * double(a.pixels.size()) / sum);
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

// Runs f and checks that it throws with this code, function and text.
template <class F>
void expectError(F&& f, int32_t code, const std::string& function, const std::string& text)
{
    try {
        f();
        ADD_FAILURE() << "no exception; expected " << text;
    } catch (const Vantorix::Exception& e) {
        EXPECT_EQ(e.getCode(), code) << e.what();
        EXPECT_NE(std::string(e.what()).find(function + ": Error " + std::to_string(code) + ": " + text),
                  std::string::npos)
            << e.what();
    }
}

} // namespace jb2test
