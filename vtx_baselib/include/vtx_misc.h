// Small number parsers: digits only, no sign, no blanks, no prefix. A count of 0 gives 0; any
// other character or a value outside the signed 32-bit range throws 20 "errDataBroken".
#pragma once

#include <cstdint>

namespace Vantorix {

struct Decimal {
    static int32_t fromStrToInt(const char* chars, uint32_t count);
};

struct Hex {
    static int32_t fromStrToInt(const char* chars, uint32_t count);
};

} // namespace Vantorix
