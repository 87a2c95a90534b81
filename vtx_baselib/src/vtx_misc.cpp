#include "vtx_misc.h"

#include "vtx_exception.h"

namespace Vantorix {
namespace {

template <int Radix>
int32_t parse(const char* chars, uint32_t count, const char* function)
{
    int64_t value = 0;
    for (uint32_t i = 0; i < count; ++i) {
        char c = chars ? chars[i] : 0;
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (Radix == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (Radix == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            VTX_THROW(errDataBroken, "errDataBroken", function);
        value = value * Radix + digit;
        if (value > INT32_MAX) VTX_THROW(errDataBroken, "errDataBroken", function);
    }
    return int32_t(value);
}

} // namespace

int32_t Decimal::fromStrToInt(const char* chars, uint32_t count)
{
    return parse<10>(chars, count, "Vantorix::Decimal::fromStrToInt");
}

int32_t Hex::fromStrToInt(const char* chars, uint32_t count)
{
    return parse<16>(chars, count, "Vantorix::Hex::fromStrToInt");
}

} // namespace Vantorix
