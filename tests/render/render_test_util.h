// Helpers of the page render tests: fixture documents, pages assembled in memory, renders.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "container_test_util.h"
#include "djv_document.h"
#include "imaging_testutil.h"
#include "iw44_testfiles.h"

namespace rendertest {

using imagingtest::firstDifference;
using imagingtest::Image;
using Vantorix::AutoPtr;
using Vantorix::DjVu::Document;
using Vantorix::DjVu::Page;
using Vantorix::DjVu::Photometric;
using Vantorix::DjVu::Rect;

inline std::string fixture(const std::string& relative) { return std::string(VTX_FIXTURE_DIR) + "/" + relative; }

// Payloads of every chunk with this id in a fixture file, in file order.
inline std::vector<iw44test::Bytes> chunksOf(const std::string& file, const std::string& id)
{
    return iw44test::djvuChunks(fixture(file), id);
}

// A document opened by file name, so that indirect components are found next to it.
inline AutoPtr<Document> openDocument(const std::string& relative)
{
    return Document::create(Vantorix::String(fixture(relative).c_str()));
}

// One page in memory: an INFO record, then the chunks (id, payload) in the order given.
struct PageBuilder {
    ContainerTest::Bytes body;

    PageBuilder(uint16_t width, uint16_t height, uint8_t flags = 1)
    {
        body = ContainerTest::chunk(
            "INFO", ContainerTest::info(width, height, 26, std::string("\0\x2c\x01\x16", 4) + char(flags)));
    }
    PageBuilder& add(const std::string& id, const std::vector<uint8_t>& payload)
    {
        body += ContainerTest::chunk(id, std::string(payload.begin(), payload.end()));
        return *this;
    }
    PageBuilder& add(const std::string& id, const std::vector<std::vector<uint8_t>>& payloads)
    {
        for (const auto& p : payloads) add(id, p);
        return *this;
    }
    AutoPtr<Page> page() const
    {
        auto doc = Document::create(vtxtest::streamOf(ContainerTest::file(ContainerTest::form("DJVU", body))));
        return doc->getPages()[0];
    }
};

// The part rect of the page scaled to width x height (0: displayed size), turned by rotation
// (-1: the page's own), as a packed image.
inline Image render(Page& page, uint32_t width, uint32_t height, Rect rect = {}, uint32_t layers = 7,
                    Photometric photometric = Photometric::RGB, int rotation = -1, uint32_t flags = 0)
{
    if (rect.w == 0) rect = {0, 0, width ? width : page.getWidth(), height ? height : page.getHeight()};
    Image out(rect.w, rect.h, photometric == Photometric::Gray ? 1 : 3, 0x5A);
    if (rotation < 0)
        page.render(out.px.data(), out.stride(), photometric, rect, width, height, layers, flags);
    else
        page.render(out.px.data(), out.stride(), photometric, rect, width, height, layers, uint32_t(rotation), flags);
    return out;
}

// Thumbnail size for edge cx: the longer displayed side becomes cx, the other truncates.
inline std::pair<uint32_t, uint32_t> thumbnailSize(uint32_t W, uint32_t H, uint32_t cx)
{
    if (W >= H) return {cx, H * cx / W};
    return {W * cx / H, cx};
}

// The picture turned by quarter turns counter-clockwise (plain loops).
inline Image turnCounterClockwise(const Image& src, int quarterTurns)
{
    Image out = src;
    for (int t = 0; t < (quarterTurns & 3); ++t) {
        Image next(out.h, out.w, out.bpp);
        for (uint32_t y = 0; y < out.h; ++y)
            for (uint32_t x = 0; x < out.w; ++x)
                std::copy(out.at(x, y), out.at(x, y) + out.bpp, next.at(y, out.w - 1 - x));
        out = next;
    }
    return out;
}

} // namespace rendertest
