// Strict readers of option values (digits only, no signs or blanks) and the command-line
// validators built on them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <CLI/CLI.hpp>

#include "djv_types.h"

namespace Tessaline {

struct Size {
    uint32_t width = 0, height = 0;
};

std::optional<uint32_t> parseNumber(std::string_view text);
// "WxH", both at least 1.
std::optional<Size> parseSize(std::string_view text);
// "X,Y,W,H", W and H at least 1.
std::optional<Vantorix::DjVu::Rect> parseRect(std::string_view text);
// "mask", "fg", "bg", "all" or a comma list of them, as the page's layer bits.
std::optional<uint32_t> parseLayers(std::string_view text);

// Validators for add_option(...)->check(...).
CLI::Validator sizeValidator();
CLI::Validator rectValidator();
CLI::Validator layersValidator();

} // namespace Tessaline
