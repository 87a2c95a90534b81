#include "options.h"

#include <vector>

#include "djv_page.h"

namespace Tessaline {
namespace {

// Splits at every separator; empty fields stay, so that "1,,2" is refused.
std::vector<std::string_view> split(std::string_view text, char separator)
{
    std::vector<std::string_view> out;
    for (size_t start = 0;;) {
        size_t end = text.find(separator, start);
        out.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) return out;
        start = end + 1;
    }
}

template <class Parse>
CLI::Validator validator(Parse parse, const std::string& shape, const std::string& name)
{
    return CLI::Validator(
        [parse, shape](std::string& value) {
            return parse(value) ? std::string() : "'" + value + "' is not " + shape;
        },
        "", name);
}

} // namespace

std::optional<uint32_t> parseNumber(std::string_view text)
{
    if (text.empty() || text.size() > 10) return std::nullopt;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + uint64_t(c - '0');
    }
    if (v > UINT32_MAX) return std::nullopt;
    return uint32_t(v);
}

std::optional<Size> parseSize(std::string_view text)
{
    std::vector<std::string_view> f = split(text, 'x');
    if (f.size() != 2) return std::nullopt;
    auto w = parseNumber(f[0]), h = parseNumber(f[1]);
    if (!w || !h || *w == 0 || *h == 0) return std::nullopt;
    return Size{*w, *h};
}

std::optional<Vantorix::DjVu::Rect> parseRect(std::string_view text)
{
    std::vector<std::string_view> f = split(text, ',');
    if (f.size() != 4) return std::nullopt;
    uint32_t v[4];
    for (int i = 0; i < 4; ++i) {
        auto n = parseNumber(f[i]);
        if (!n) return std::nullopt;
        v[i] = *n;
    }
    if (v[2] == 0 || v[3] == 0) return std::nullopt;
    return Vantorix::DjVu::Rect{v[0], v[1], v[2], v[3]};
}

std::optional<uint32_t> parseLayers(std::string_view text)
{
    using Vantorix::DjVu::Page;
    uint32_t layers = 0;
    for (std::string_view name : split(text, ',')) {
        if (name == "mask") layers |= Page::layerMask;
        else if (name == "fg") layers |= Page::layerForeground;
        else if (name == "bg") layers |= Page::layerBackground;
        else if (name == "all") layers |= Page::layerAll;
        else return std::nullopt;
    }
    return layers;
}

CLI::Validator sizeValidator() { return validator(parseSize, "WIDTHxHEIGHT (both at least 1)", "WxH"); }

CLI::Validator rectValidator() { return validator(parseRect, "X,Y,WIDTH,HEIGHT (sizes at least 1)", "X,Y,W,H"); }

CLI::Validator layersValidator()
{
    return validator(parseLayers, "mask, fg, bg, all or a comma list of them", "LAYERS");
}

} // namespace Tessaline
