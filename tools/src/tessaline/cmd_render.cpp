// tessaline render FILE OUTPUT [options]: one page, or a part of it, at any size, into an image.
#include <memory>
#include <vector>

#include "commands.h"
#include "failure.h"
#include "image_output.h"
#include "nimbrel_thumbnail.h"
#include "options.h"
#include "vtx_exception.h"

namespace Tessaline {
namespace {

using namespace Vantorix;
using namespace Vantorix::DjVu;

// More than this many bytes of output pixels is refused rather than attempted.
constexpr uint64_t kMaxPixelBytes = uint64_t(1) << 30;

struct Options {
    std::string file, output;
    uint32_t page = 1;
    std::string size, rect, layers = "all", format;
    uint32_t fit = 0;
};

bool isGray(ImageFormat format) { return format == ImageFormat::pbm || format == ImageFormat::pgm; }

ImageFormat chooseFormat(const Options& o)
{
    if (!o.format.empty()) return *parseFormat(o.format);
    if (o.output == "-") throw CLI::ValidationError("--format", "is needed when OUTPUT is -");
    std::optional<ImageFormat> format = formatOfPath(o.output);
    if (!format)
        throw CLI::ValidationError("OUTPUT", "'" + o.output + "' has no known extension (.pbm .pgm .ppm .png .bmp); "
                                             "name one with --format");
    return *format;
}

// The wanted part of the page, one byte per channel (grey for PBM and PGM, else RGB); rect
// becomes that part.
std::vector<uint8_t> draw(const Options& o, ImageFormat format, uint32_t layers, Rect& rect)
{
    OpenedPage opened = openPage(o.file, o.page);
    Page& page = *opened.page;
    const uint32_t pageWidth = page.getWidth(), pageHeight = page.getHeight();
    if (pageWidth == 0 || pageHeight == 0) VTX_THROW(errDataBroken, "The page has no pixels!", "Tessaline::render");

    // The size of the whole scaled page, then the part of it that is wanted.
    Size scaled{pageWidth, pageHeight};
    if (!o.size.empty()) scaled = *parseSize(o.size);
    if (o.fit) {
        Nimbrel::ThumbnailSize fit = Nimbrel::thumbnailSize(pageWidth, pageHeight, o.fit);
        scaled = {fit.width, fit.height};
    }
    rect = {0, 0, scaled.width, scaled.height};
    if (!o.rect.empty()) {
        rect = *parseRect(o.rect);
        if (uint64_t(rect.x) + rect.w > scaled.width || uint64_t(rect.y) + rect.h > scaled.height)
            throw CLI::ValidationError("--rect", o.rect + " does not lie inside the page's " +
                                                     std::to_string(scaled.width) + "x" +
                                                     std::to_string(scaled.height) + " pixels");
    }

    const bool gray = isGray(format);
    const uint64_t bytes = uint64_t(rect.w) * rect.h * (gray ? 1 : 3);
    if (bytes > kMaxPixelBytes)
        VTX_THROW(errLimitExceeded,
                  String::format("A picture of %u x %u pixels is too large to render at once!", rect.w, rect.h),
                  "Tessaline::render");
    std::vector<uint8_t> pixels(bytes);
    const int32_t stride = int32_t(rect.w * (gray ? 1 : 3));
    const Photometric photometric = gray ? Photometric::Gray : Photometric::RGB;
    // A bilevel picture of the mask shows the mask itself: black wherever it is set.
    if (format == ImageFormat::pbm && layers == Page::layerMask)
        page.renderBlackMask(pixels.data(), stride, photometric, rect, scaled.width, scaled.height, 0);
    else
        page.render(pixels.data(), stride, photometric, rect, scaled.width, scaled.height, layers, 0);
    return pixels;
}

void run(const Options& o)
{
    const ImageFormat format = chooseFormat(o);
    const uint32_t layers = *parseLayers(o.layers);

    Rect rect;
    std::vector<uint8_t> pixels;
    try {
        pixels = draw(o, format, layers, rect);
    } catch (...) {
        throw failureAbout(o.file, o.page);
    }
    const bool gray = isGray(format);
    try {
        writeImage({pixels.data(), int32_t(rect.w * (gray ? 1 : 3)), rect.w, rect.h,
                    gray ? PixelLayout::Gray : PixelLayout::RGB},
                   format, o.output);
    } catch (...) {
        throw failureAbout(o.output);
    }
}

} // namespace

void addRenderCommand(CLI::App& app)
{
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand(
        "render", "Render one page (whole or in part, at its own size or scaled) into an image file. The page is "
                  "shown as displayed, turned by the rotation its record asks for.");
    cmd->add_option("FILE", o->file, "DjVu file (a path or a file: location)")->required();
    cmd->add_option("OUTPUT", o->output, "Image file to write, or - for standard output (then --format is needed)")
        ->required();
    cmd->add_option("--page", o->page, "Page number, counted from 1 (default 1)")
        ->check(CLI::PositiveNumber)
        ->type_name("N");
    CLI::Option* size = cmd->add_option("--size", o->size, "Scale the whole page to exactly WxH pixels")
                            ->check(sizeValidator())
                            ->type_name("WxH");
    cmd->add_option("--fit", o->fit,
                    "Scale the whole page so that its longer side is N pixels and the shorter keeps the proportion "
                    "(truncated), as thumbnails are sized")
        ->check(CLI::PositiveNumber)
        ->type_name("N")
        ->excludes(size);
    cmd->add_option("--rect", o->rect,
                    "Only the part X,Y,W,H of the scaled page (origin top left); it must lie inside the page "
                    "(default: all of it)")
        ->check(rectValidator())
        ->type_name("X,Y,W,H");
    cmd->add_option("--layers", o->layers,
                    "Layers to draw: mask (1), fg (2), bg (4), all, or a comma list such as mask,bg (default "
                    "all). all is the page as shown; bg the background alone (white without one); mask the mask "
                    "in its own colours over white, or, on pages with a foreground image, that image; mask,fg the "
                    "mask in the foreground image's colours")
        ->check(layersValidator())
        ->type_name("LAYERS");
    cmd->add_option("--format", o->format,
                    "Output format: pbm (black where the grey value is below 128; with --layers mask, the mask "
                    "itself: black wherever it is set), pgm, ppm, png or bmp; "
                    "default from OUTPUT's extension")
        ->check(CLI::IsMember({"pbm", "pgm", "ppm", "png", "bmp"}));
    cmd->callback([o] { run(*o); });
}

} // namespace Tessaline
