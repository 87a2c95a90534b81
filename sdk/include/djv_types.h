// Small value types shared by the codecs and the renderer.
#pragma once

#include <cstdint>

namespace Vantorix::DjVu {

// Pixel formats. Codes 4 to 7 are bare pixel widths of 1 to 4 bytes that only the scaling
// and rotation routines accept. A code above 7 is "Unknown photometric!".
enum class Photometric : int32_t {
    RGB = 0,
    BGR = 1,
    Gray = 2,
    YCbCr = 3,
    Bytes1 = 4,
    Bytes2 = 5,
    Bytes3 = 6,
    Bytes4 = 7,
};

// Pixel rectangle: origin top-left, y downwards.
struct Rect {
    uint32_t x = 0, y = 0, w = 0, h = 0;
    bool operator==(const Rect&) const = default;
};

// A shape colour: blue, green, red and a zero byte, in memory order.
struct Color {
    uint8_t blue = 0, green = 0, red = 0, zero = 0;
    bool operator==(const Color&) const = default;
};

} // namespace Vantorix::DjVu
