// render_region FILE PAGE X Y W H OUT.ppm: renders the part (X, Y, W, H) of a page, at the
// page's own size and upright, into a binary PPM file, with the installed library.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

#include "djv_document.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;

namespace {

bool writePpm(const char* path, const std::vector<uint8_t>& rgb, uint32_t width, uint32_t height)
{
    FILE* out = std::fopen(path, "wb");
    if (!out) return false;
    std::fprintf(out, "P6\n%u %u\n255\n", width, height);
    bool written = std::fwrite(rgb.data(), 1, rgb.size(), out) == rgb.size();
    return std::fclose(out) == 0 && written;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 8) {
        std::fprintf(stderr, "usage: render_region FILE PAGE X Y W H OUT.ppm\n");
        return 2;
    }
    uint32_t number = std::strtoul(argv[2], nullptr, 10);
    Rect rect;
    rect.x = std::strtoul(argv[3], nullptr, 10);
    rect.y = std::strtoul(argv[4], nullptr, 10);
    rect.w = std::strtoul(argv[5], nullptr, 10);
    rect.h = std::strtoul(argv[6], nullptr, 10);
    try {
        AutoPtr<Document> document = Document::create(String(argv[1]));
        PageArray& pages = document->getPages();
        if (number < 1 || number > pages.getSize() || rect.w == 0 || rect.h == 0) {
            std::fprintf(stderr, "render_region: no page %u or an empty region\n", number);
            return 2;
        }
        Page& page = *pages[number - 1];
        if (rect.x + rect.w > page.getWidth() || rect.y + rect.h > page.getHeight()) {
            std::fprintf(stderr, "render_region: the region leaves the %ux%u page\n", page.getWidth(),
                         page.getHeight());
            return 2;
        }
        // Three bytes per pixel, rows packed; 0 x 0 asks for the page's own size.
        std::vector<uint8_t> rgb(size_t(rect.w) * rect.h * 3);
        page.render(rgb.data(), int32_t(rect.w * 3), Photometric::RGB, rect, 0, 0, Page::layerAll, 0);
        if (!writePpm(argv[7], rgb, rect.w, rect.h)) {
            std::fprintf(stderr, "render_region: cannot write %s\n", argv[7]);
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "render_region: %s\n", error.what());
        return 1;
    }
    return 0;
}
